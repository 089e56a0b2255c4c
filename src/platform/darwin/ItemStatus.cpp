#include "platform/darwin/ItemStatus.h"

#include <sys/stat.h>

#include <cerrno>

namespace ml::darwin {

namespace {

ItemStatus statusOf(const struct stat& st) {
  return ItemStatus{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), st.st_mode};
}

}  // namespace

bool ItemStatus::isDirectory() const { return S_ISDIR(mode); }

bool ItemStatus::isSymbolicLink() const { return S_ISLNK(mode); }

foundation::Result<ItemStatus> statusOfTarget(const std::filesystem::path& item) {
  struct stat st {};
  if (::stat(item.c_str(), &st) != 0) return foundation::Error::posix(errno, "stat " + item.string());
  return statusOf(st);
}

foundation::Result<ItemStatus> statusOfItem(const std::filesystem::path& item) {
  struct stat st {};
  if (::lstat(item.c_str(), &st) != 0) return foundation::Error::posix(errno, "lstat " + item.string());
  return statusOf(st);
}

}  // namespace ml::darwin
