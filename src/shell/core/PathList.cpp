#include "shell/core/PathList.h"

#include <algorithm>

#include "files/FileSystem.h"

namespace ml::shell {

namespace {

// "[first, second, ... N more]": at most kLoggedPaths entries, each written by `write`.
template <typename Entries, typename Write>
std::ostream& writeBounded(std::ostream& out, const Entries& entries, Write write) {
  out << '[';
  const std::size_t shown = std::min(entries.size(), kLoggedPaths);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i) out << ", ";
    write(entries[i]);
  }
  if (entries.size() > shown) out << ", ... " << entries.size() - shown << " more";
  return out << ']';
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const PathList& list) {
  return writeBounded(out, list.paths, [&](const files::Path& path) { out << path.description(); });
}

std::ostream& operator<<(std::ostream& out, const PathMappingList& list) {
  return writeBounded(out, list.mapping, [&](const auto& entry) {
    out << entry.first.description() << " -> " << entry.second.description();
  });
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
