#include "crashreporter/capture/ReportFolderObstacles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "crashreporter/capture/ReporterLog.h"

namespace ml::crash {
namespace {

// Names tried before giving up; far more obstacles than anyone leaves behind.
constexpr int kMoveAsideAttempts = 100;

bool exists(const std::string& path) {
  struct stat info{};
  return ::lstat(path.c_str(), &info) == 0;
}

// Renames `path` to the first free "<path>.moved-aside[-n]" and says so. 0 or errno.
int moveAside(const std::string& path, const char* what) {
  for (int attempt = 1; attempt <= kMoveAsideAttempts; ++attempt) {
    std::string aside = path + ".moved-aside";
    if (attempt > 1) aside += "-" + std::to_string(attempt);
    if (exists(aside)) continue;
    if (::rename(path.c_str(), aside.c_str()) != 0) {
      const int error = errno;
      tlcrash_nasync_log("[TLCrashReporter] Warning -- %s is not %s and could not be moved aside: %s", path.c_str(),
                         what, std::strerror(error));
      return error;
    }
    tlcrash_nasync_log("[TLCrashReporter] Warning -- %s was not %s; moved it aside to %s", path.c_str(), what,
                       aside.c_str());
    return 0;
  }
  tlcrash_nasync_log("[TLCrashReporter] Warning -- %s is not %s and every name to move it aside to is taken",
                     path.c_str(), what);
  return EEXIST;
}

// Makes one folder, moving an obstacle aside when `clear` allows it. 0 or errno.
int makeFolder(const std::string& path, bool clear) {
  struct stat info{};
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return 0;
  if (exists(path)) {  // a file, or a link that leads to no folder
    if (!clear) return ENOTDIR;
    if (int error = moveAside(path, "a folder"); error != 0) return error;
  }
  if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return errno;
  return 0;
}

}  // namespace

int tlcrash_nasync_make_report_folders(const std::string& root, const std::string& path) {
  if (path.empty()) return ENOENT;
  size_t at = 0;
  while (at != std::string::npos) {
    const size_t next = path.find('/', at + 1);
    const std::string partial = path.substr(0, next);
    at = next;
    if (partial.empty() || partial == "/") continue;
    // Only what lies below the root is ours to move.
    const bool ours = partial.size() > root.size() && partial.compare(0, root.size(), root) == 0 &&
                      partial[root.size()] == '/';
    if (int error = makeFolder(partial, ours); error != 0) return error;
  }
  return 0;
}

int tlcrash_nasync_clear_report_file_path(const std::string& path) {
  struct stat info{};
  if (::lstat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return 0;
  return moveAside(path, "a crash report file");
}

}  // namespace ml::crash
