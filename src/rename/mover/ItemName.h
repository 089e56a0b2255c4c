#pragma once
// An item's name as a rename sees it: the last component of its path, also when the path was
// given with a trailing separator ("/a/b/" names "b").
#include <string>

#include "files/Path.h"

namespace ml::rename {

inline std::string itemName(const files::Path& item) {
  std::string path = item.url().string();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return std::filesystem::path(path).filename().string();
}

}  // namespace ml::rename
