#pragma once
// The count of items the rename applies to, and its label text.
#include <cstdint>
#include <string>
#include <vector>

#include "files/Path.h"

namespace ml::rename {

// Folders only when files are not included; every item when both are; otherwise the items that
// are not folders (asked of each item's file system; a missing item counts as a file).
std::int64_t applicableCount(const std::vector<files::Path>& items, bool includeFiles, bool includeFolders);

// "Items to rename: 3", the text looked up in the table "Localizable".
std::string applicableCountText(std::int64_t count);

}  // namespace ml::rename
