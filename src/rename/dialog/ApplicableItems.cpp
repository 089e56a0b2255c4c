#include "rename/dialog/ApplicableItems.h"

#include "files/FileSystem.h"
#include "platform/foundation/LocalizedStrings.h"

namespace ml::rename {

std::int64_t applicableCount(const std::vector<files::Path>& items, bool includeFiles, bool includeFolders) {
  if (includeFiles && includeFolders) return static_cast<std::int64_t>(items.size());
  std::int64_t folders = 0;
  for (const auto& item : items) {
    if (item.fileSystem().isDirectory(item)) ++folders;
  }
  if (!includeFiles) return folders;
  return static_cast<std::int64_t>(items.size()) - folders;
}

std::string applicableCountText(std::int64_t count) {
  return foundation::localizedString("Items to rename: ") + std::to_string(count);
}

}  // namespace ml::rename
