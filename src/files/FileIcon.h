#pragma once
// An item's icon as this Qt-free layer knows it: the name of a theme icon and the item's path,
// from which the GUI layer builds the image it shows.
#include <filesystem>
#include <string>

namespace ml::files {

struct FileIcon {
  std::string themeName;
  std::filesystem::path path;
  friend bool operator==(const FileIcon&, const FileIcon&) = default;
};

}  // namespace ml::files
