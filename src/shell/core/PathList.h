#pragma once
// Lists of paths as the application logs them: "[/a, /b]", each path by its description. A long
// list names its first kLoggedPaths entries and counts the rest ("[/a, /b, ... 19998 more]"), so a
// command over 20,000 items writes one line of a few kilobytes, not megabytes.
#include <ostream>
#include <utility>
#include <vector>

#include "files/Path.h"

namespace ml::shell {

// Old path to new path, one entry per old path, in the order the work was done.
using PathMapping = std::vector<std::pair<files::Path, files::Path>>;

inline constexpr std::size_t kLoggedPaths = 10;

struct PathList {
  const std::vector<files::Path>& paths;
  friend std::ostream& operator<<(std::ostream& out, const PathList& list);
};

struct PathMappingList {
  const PathMapping& mapping;
  // "[/a -> /b, ...]"
  friend std::ostream& operator<<(std::ostream& out, const PathMappingList& list);
};

// Paths on the default file system for the given file names, in order.
std::vector<files::Path> pathsOnDefaultFileSystem(const std::vector<std::filesystem::path>& names);
std::vector<std::filesystem::path> fileSystemPaths(const std::vector<files::Path>& paths);

}  // namespace ml::shell
