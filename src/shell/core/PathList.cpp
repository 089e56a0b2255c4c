#include "shell/core/PathList.h"

#include "files/FileSystem.h"

namespace ml::shell {

std::ostream& operator<<(std::ostream& out, const PathList& list) {
  out << '[';
  for (std::size_t i = 0; i < list.paths.size(); ++i) out << (i ? ", " : "") << list.paths[i].description();
  return out << ']';
}

std::ostream& operator<<(std::ostream& out, const PathMappingList& list) {
  out << '[';
  for (std::size_t i = 0; i < list.mapping.size(); ++i) {
    out << (i ? ", " : "") << list.mapping[i].first.description() << " -> " << list.mapping[i].second.description();
  }
  return out << ']';
}

std::vector<files::Path> pathsOnDefaultFileSystem(const std::vector<std::filesystem::path>& names) {
  std::vector<files::Path> paths;
  paths.reserve(names.size());
  for (const auto& name : names) paths.emplace_back(files::FileSystems::defaultFileSystem(), name);
  return paths;
}

std::vector<std::filesystem::path> fileSystemPaths(const std::vector<files::Path>& paths) {
  std::vector<std::filesystem::path> urls;
  urls.reserve(paths.size());
  for (const auto& path : paths) urls.push_back(path.url());
  return urls;
}

}  // namespace ml::shell
