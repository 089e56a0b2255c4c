#pragma once
// Whether an item can carry the flags this program keeps in its extended attributes (invisible,
// extension hidden, the creation date). Linux keeps such attributes only on files and folders: a
// named pipe, a socket, a device or a symbolic link refuses them, so their controls are disabled
// with this reason rather than offering an edit that Apply can only fail on.
#include <optional>
#include <string>
#include <string_view>

#include "files/Path.h"

namespace ml::info {

// Why `item` cannot carry those flags ("“pipe” is a named pipe: only files and folders can carry
// this flag."); nothing when it can, or when it cannot be examined (Apply then says what failed).
// `what` names the thing refused, as the sentence's end ("this flag", "a created date").
std::optional<std::string> whyFlagsCannotBeSet(const files::Path& item, std::string_view what = "this flag");

}  // namespace ml::info
