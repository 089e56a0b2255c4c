#include "files/FolderSize.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <string>
#include <utility>

namespace ml::files {

namespace {

constexpr const char* kResourceFork = "user.com.apple.ResourceFork";

class Walker {
 public:
  FolderTotals totals;

  // `fd` is an open folder (owned); `path` its path, kept for the path-based attribute query.
  void walk(int fd, std::string& path) {
    struct stat self;
    if (::fstat(fd, &self) != 0 || !ancestors_.insert({self.st_dev, self.st_ino}).second) {
      ::close(fd);
      return;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
      ::close(fd);
      ++totals.unreadable;
      ancestors_.erase({self.st_dev, self.st_ino});
      return;
    }
    const size_t base = path.size();
    while (dirent* entry = ::readdir(dir)) {
      const char* name = entry->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      unsigned char type = entry->d_type;
      struct stat st;
      if (type == DT_UNKNOWN || type == DT_REG) {
        if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_LNK;
      }
      path.resize(base);
      path += '/';
      path += name;
      if (type == DT_REG) {
        totals.bytes += st.st_size;
        ++totals.files;
        const ssize_t fork = ::lgetxattr(path.c_str(), kResourceFork, nullptr, 0);
        if (fork > 0) totals.bytes += fork;
      } else if (type == DT_DIR) {
        const int child = ::openat(::dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child >= 0)
          walk(child, path);
        else
          ++totals.unreadable;
      }
    }
    path.resize(base);
    ::closedir(dir);
    ancestors_.erase({self.st_dev, self.st_ino});
  }

 private:
  std::set<std::pair<dev_t, ino_t>> ancestors_;
};

}  // namespace

FolderTotals folderTotals(const std::filesystem::path& folder) {
  Walker walker;
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    ++walker.totals.unreadable;
    return walker.totals;
  }
  std::string path = folder.string();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path == "/") path.clear();
  walker.walk(fd, path);
  return walker.totals;
}

}  // namespace ml::files
