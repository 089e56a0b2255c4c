#pragma once
// Renames one item by a rule: computes its new name, checks that the name can stand in the item's
// folder, and moves the item to it through the item's file system. A move never replaces an
// existing item, so a name already taken fails with EEXIST and nothing is lost.
//
// Synchronous; any thread (the confirmation runs it on the main thread).
#include <optional>
#include <string_view>

#include "files/Path.h"
#include "platform/foundation/Result.h"
#include "shell/RenameWindows.h"

namespace ml::rename {

// Why `name` cannot name an item inside a folder (empty, "." or "..", a "/" or a NUL byte),
// or nothing when it can.
std::optional<foundation::Error> fileNameProblem(std::string_view name);

// The item's new path after the move, or the error of the step that failed: the rule, the name
// check, an item without a folder (the root), or the move.
foundation::Result<files::Path> renameItem(const files::Path& item, const shell::RenameRule& rule);

}  // namespace ml::rename
