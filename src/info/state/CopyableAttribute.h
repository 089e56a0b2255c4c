#pragma once
// The attributes the toolbar's copy-attribute menu offers; the raw value (0 to 14, the case's
// position) is the tag of the menu item that offers it.
#include <optional>

namespace ml::info {

enum class CopyableAttribute : int {
  kindDescription = 0,
  shortVersion = 1,
  longVersion = 2,
  sizeInfo = 3,
  forkSizes = 4,
  createdDate = 5,
  modifiedDate = 6,
  accessedDate = 7,
  backupDate = 8,
  fileType = 9,
  creator = 10,
  path = 11,
  hfsPath = 12,
  parent = 13,
  hfsParent = 14,
};

inline std::optional<CopyableAttribute> copyableAttribute(int tag) {
  if (tag < 0 || tag > 14) return std::nullopt;
  return static_cast<CopyableAttribute>(tag);
}

}  // namespace ml::info
