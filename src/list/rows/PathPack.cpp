#include "list/rows/PathPack.h"

namespace ml::list {

PathPack::PathPack(const std::vector<files::Path>& paths) {
  std::size_t bytes = 0;
  for (const auto& path : paths) bytes += path.url().native().size();
  texts_.reserve(bytes);
  ends_.reserve(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const auto& fileSystem = paths[i].sharedFileSystem();
    if (fileSystems_.empty()) fileSystems_.push_back(fileSystem);
    if (fileSystem != fileSystems_.back() || !fileSystemOf_.empty()) {
      // More than one file system: each path names its own from now on.
      if (fileSystemOf_.empty()) fileSystemOf_.assign(i, 0);
      std::uint32_t which = 0;
      while (which < fileSystems_.size() && fileSystems_[which] != fileSystem) ++which;
      if (which == fileSystems_.size()) fileSystems_.push_back(fileSystem);
      fileSystemOf_.push_back(which);
    }
    texts_.append(paths[i].url().native());
    ends_.push_back(texts_.size());
  }
}

std::string_view PathPack::text(std::size_t index) const {
  const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
  return std::string_view(texts_).substr(begin, ends_[index] - begin);
}

files::Path PathPack::operator[](std::size_t index) const {
  const auto& fileSystem = fileSystemOf_.empty() ? fileSystems_.front() : fileSystems_[fileSystemOf_[index]];
  return files::Path(fileSystem, std::string(text(index)));
}

std::vector<files::Path> PathPack::paths() const {
  std::vector<files::Path> result;
  result.reserve(size());
  for (std::size_t i = 0; i < size(); ++i) result.push_back((*this)[i]);
  return result;
}

}  // namespace ml::list
