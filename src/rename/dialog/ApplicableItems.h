#pragma once
// The count of items the rename will rename, and its label text.
#include <cstdint>
#include <string>

#include "rename/dialog/RenameDialogState.h"

namespace ml::rename {

// The items the state's rule gives a new name (folders as well as files: the confirmation
// renames both); 0 while the settings make no rule.
std::int64_t applicableCount(const RenameDialogState& state);

// "Items to rename: 3", the text looked up in the table "Localizable".
std::string applicableCountText(std::int64_t count);

}  // namespace ml::rename
