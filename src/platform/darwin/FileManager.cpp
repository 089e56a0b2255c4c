#include "platform/darwin/FileManager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <set>
#include <utility>

#include "platform/darwin/ExtendedAttributes.h"
#include "platform/darwin/ItemAttributes.h"
#include "platform/darwin/SizedRead.h"
#include "platform/logging/Log.h"

namespace ml::darwin {

using foundation::Error;
using foundation::Result;
using foundation::Status;

namespace {

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_;
};


// Whether writing an attribute of `size` bytes to `fd` failed because the target's file system
// cannot keep it (none at all, or not one of this size), rather than because the write went wrong.
// ext4 made without large attributes keeps an item's attributes in one block and answers ENOSPC,
// not E2BIG, for one that does not fit there, however much room the volume has. The item's data
// is written by then, so a volume that still has room for the value and a few blocks more
// refused the attribute, not the space; one without that room is full, and the copy fails.
bool cannotKeepAttribute(int error, int fd, std::size_t size) {
  if (error == ENOTSUP || error == E2BIG || error == ENOSYS) return true;
  if (error != ENOSPC) return false;
  struct statvfs volume {};
  if (::fstatvfs(fd, &volume) != 0) return false;
  const unsigned long long room = static_cast<unsigned long long>(volume.f_bavail) * volume.f_frsize;
  return room >= size + 4ull * volume.f_bsize;
}

Error abandoned() { return Error::make(Error::kPosixDomain, ECANCELED, "stopped before it was complete"); }
bool isSet(const Abandon* abandon) { return abandon && abandon->load(std::memory_order_relaxed); }

// Copies every extended attribute from one open file to another. Attributes outside the user
// namespace (security labels, ACLs, trusted.*) may be refused by the target; those are skipped.
// User attributes the target cannot keep are appended to `unkept`; other failures fail the copy.
Status copyAttributes(int from, int to, std::vector<std::string>& unkept) {
  auto list = sizedRead([&](uint8_t* buffer, size_t size) {
    return ::flistxattr(from, reinterpret_cast<char*>(buffer), size);
  });
  if (!list) return list.error().isPosix(ENOTSUP) ? Status() : Status(list.error());
  const auto& raw = list.value();
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = start;
    while (end < raw.size() && raw[end] != 0) ++end;
    const std::string name(reinterpret_cast<const char*>(raw.data()) + start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    const bool required = name.starts_with("user.");
    auto value = sizedRead([&](uint8_t* buffer, size_t size) {
      return ::fgetxattr(from, name.c_str(), buffer, size);
    });
    if (!value) {
      if (value.error().isPosix(ENODATA)) continue;  // removed meanwhile
      if (required) return value.error();
      continue;
    }
    if (::fsetxattr(to, name.c_str(), value->data(), value->size(), 0) == 0 || !required) continue;
    if (const int error = errno; !cannotKeepAttribute(error, to, value->size())) return Error::posix(error);
    unkept.push_back(name);
  }
  return {};
}

// The original's Created date kept on its copy `to` (a new item, born now), unless the original
// stores one of its own, which came with the other attributes. A target that cannot keep it goes
// without: the copy's Created is then its own birth, as before.
void keepCreationDate(int from, int to) {
  const std::string name = linuxAttributeName(kCreationDateAttribute);
  if (::fgetxattr(from, name.c_str(), nullptr, 0) >= 0) return;
  struct statx sx {};
  if (::statx(from, "", AT_EMPTY_PATH, STATX_BTIME, &sx) != 0 || !(sx.stx_mask & STATX_BTIME)) return;
  const std::string text = encodeCreationDate(dateOf(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec));
  if (::fsetxattr(to, name.c_str(), text.data(), text.size(), 0) == 0) return;
  if (const int error = errno; !cannotKeepAttribute(error, to, text.size())) {
    LOG_WARNING("the copy keeps its own creation date. error=" << Error::posix(error));
  }
}

// In chunks, so that an abandoned copy ends within one of them.
constexpr std::size_t kCopyChunk = std::size_t{8} << 20;

Status copyContents(int from, int to, const Abandon* abandon) {
  for (;;) {
    if (isSet(abandon)) return abandoned();
    const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, kCopyChunk, 0);
    if (n == 0) return {};
    if (n > 0) continue;
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) return Error::posix(errno);
    break;  // no in-kernel copy between these two: plain reads and writes
  }
  char buffer[1 << 16];
  for (;;) {
    if (isSet(abandon)) return abandoned();
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n == 0) return {};
    if (n < 0) {
      if (errno == EINTR) continue;
      return Error::posix(errno);
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(to, buffer + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return Error::posix(errno);
      }
      done += w;
    }
  }
}

// True when a metadata call failed because the target's file system cannot keep that metadata
// (a FAT volume has no owners and only a read-only bit for a mode; a FUSE one may not implement
// the call), rather than because the copy went wrong: the copy's contents stand without it. The
// copy was created by this process, so EPERM here is the file system's refusal, not a lack of
// rights.
bool keptNoMetadata(int error) { return error == EPERM || error == ENOSYS || error == EOPNOTSUPP; }

// Owner, group, mode and dates of the copy, applied last (a mode without write permission or
// the dates would otherwise be disturbed by the copying itself).
Status finishMetadata(int fd, const struct stat& st) {
  if (::fchown(fd, st.st_uid, st.st_gid) != 0 && !keptNoMetadata(errno)) return Error::posix(errno);
  if (::fchmod(fd, st.st_mode & 07777) != 0 && !keptNoMetadata(errno)) return Error::posix(errno);
  const timespec times[2] = {st.st_atim, st.st_mtim};
  if (::futimens(fd, times) != 0 && !keptNoMetadata(errno)) return Error::posix(errno);
  return {};
}

class TreeCopier {
 public:
  TreeCopier(UnkeptAttributes& unkept, const Abandon* abandon) : unkept_(unkept), abandon_(abandon) {}

  // Removes what was created when the copy did not complete. When that removal fails too, the
  // error keeps the copy's code and says the partial copy was left, and the removal is logged.
  Status copy(const std::filesystem::path& from, const std::filesystem::path& to) {
    auto status = copyItemAt(from, to);
    if (status || !created_) return status;
    std::error_code ec;
    std::filesystem::remove_all(to, ec);
    if (!ec) return status;
    LOG_ERROR("failed to remove a partial copy. path=" << to.string() << " error=" << ec.message());
    Error error = status.error();
    error.message += "; the partial copy was left at " + to.string() + " (" + ec.message() + ")";
    return error;
  }

 private:
  Status copyItemAt(const std::filesystem::path& from, const std::filesystem::path& to) {
    struct stat st;
    if (::lstat(from.c_str(), &st) != 0) return Error::posix(errno);
    if (S_ISREG(st.st_mode)) return copyFile(from, to, st);
    if (S_ISDIR(st.st_mode)) return copyFolder(from, to, st);
    if (S_ISLNK(st.st_mode)) return copyLink(from, to, st);
    if (::mknod(to.c_str(), st.st_mode, st.st_rdev) != 0) return Error::posix(errno);
    markCreated();
    if (::lchown(to.c_str(), st.st_uid, st.st_gid) != 0 && !keptNoMetadata(errno)) return Error::posix(errno);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (::utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0 && !keptNoMetadata(errno)) {
      return Error::posix(errno);
    }
    return {};
  }

  Status copyFile(const std::filesystem::path& from, const std::filesystem::path& to, const struct stat& st) {
    Fd in(::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!in) return Error::posix(errno);
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out) return Error::posix(errno);
    markCreated();
    if (auto s = copyContents(in.get(), out.get(), abandon_); !s) return s;
    if (auto s = copyAttributesOf(to, in.get(), out.get()); !s) return s;
    keepCreationDate(in.get(), out.get());
    return finishMetadata(out.get(), st);
  }

  Status copyFolder(const std::filesystem::path& from, const std::filesystem::path& to, const struct stat& st) {
    // A folder met again below itself (a bind mount of an ancestor) would be copied forever.
    if (!ancestors_.insert({st.st_dev, st.st_ino}).second) return Error::posix(ELOOP);
    if (::mkdir(to.c_str(), 0700) != 0) return Error::posix(errno);
    markCreated();
    auto names = listDirectory(from);
    if (!names) return names.error();
    for (const auto& name : names.value()) {
      if (isSet(abandon_)) return abandoned();
      if (auto s = copyItemAt(from / name, to / name); !s) return s;
    }
    ancestors_.erase({st.st_dev, st.st_ino});
    Fd in(::open(from.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    Fd out(::open(to.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!in || !out) return Error::posix(errno);
    if (auto s = copyAttributesOf(to, in.get(), out.get()); !s) return s;
    keepCreationDate(in.get(), out.get());
    return finishMetadata(out.get(), st);
  }

  Status copyLink(const std::filesystem::path& from, const std::filesystem::path& to, const struct stat& st) {
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    for (;;) {
      const ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
      if (n < 0) return Error::posix(errno);
      if (static_cast<size_t>(n) < target.size()) {
        target.resize(static_cast<size_t>(n));
        break;
      }
      target.resize(target.size() * 2);  // the link changed since lstat
    }
    if (::symlink(target.c_str(), to.c_str()) != 0) return Error::posix(errno);
    markCreated();
    if (::lchown(to.c_str(), st.st_uid, st.st_gid) != 0 && !keptNoMetadata(errno)) return Error::posix(errno);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (::utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0 && !keptNoMetadata(errno)) {
      return Error::posix(errno);
    }
    return {};
  }

  Status copyAttributesOf(const std::filesystem::path& to, int in, int out) {
    std::vector<std::string> names;
    auto status = copyAttributes(in, out, names);
    for (auto& name : names) unkept_.push_back({to, std::move(name)});
    return status;
  }

  void markCreated() { created_ = true; }

  UnkeptAttributes& unkept_;
  const Abandon* abandon_;
  std::set<std::pair<dev_t, ino_t>> ancestors_;
  bool created_ = false;
};

// Whether the folder `outer` is `inner` or lies above it, links above either resolved (`inner`
// need not exist yet).
bool isInside(const std::filesystem::path& inner, const std::filesystem::path& outer) {
  std::error_code ec;
  const auto a = std::filesystem::weakly_canonical(inner, ec);
  const auto b = std::filesystem::weakly_canonical(outer, ec);
  auto [mismatch, _] = std::mismatch(b.begin(), b.end(), a.begin(), a.end());
  return mismatch == b.end();
}

// EINVAL, in words: the system's own text says only "Invalid argument".
Error intoItself(std::string_view done) {
  return Error::make(Error::kPosixDomain, EINVAL, "a folder cannot be " + std::string(done) + " into itself");
}

void logUnkept(const UnkeptAttributes& unkept, const std::filesystem::path& to) {
  if (unkept.empty()) return;
  LOG_WARNING("the target cannot keep some extended attributes; copied without them. destination="
              << to.string() << " attributes=" << unkept.size() << " first=" << unkept.front().item.string() << " "
              << unkept.front().name);
}

}  // namespace

Status copyItem(const std::filesystem::path& from, const std::filesystem::path& to, UnkeptAttributes& unkept,
                const Abandon* abandon) {
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0) return Error::posix(errno);
  struct stat taken;
  if (::lstat(to.c_str(), &taken) == 0) return Error::posix(EEXIST);
  // A folder into itself would copy for ever. A link is copied as itself, wherever it points.
  if (S_ISDIR(st.st_mode) && isInside(to, from)) return intoItself("copied");
  TreeCopier copier(unkept, abandon);
  return copier.copy(from, to);
}

Status copyItem(const std::filesystem::path& from, const std::filesystem::path& to) {
  UnkeptAttributes unkept;
  auto status = copyItem(from, to, unkept);
  logUnkept(unkept, to);
  return status;
}

Status moveItem(const std::filesystem::path& from, const std::filesystem::path& to, UnkeptAttributes& unkept,
                const Abandon* abandon) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
  if (errno == EINVAL) {
    // A folder into itself, or a file system without RENAME_NOREPLACE: test, then rename (a
    // narrow race remains there).
    struct stat st;
    if (::lstat(from.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && isInside(to, from)) return intoItself("moved");
    if (::lstat(to.c_str(), &st) == 0) return Error::posix(EEXIST);
    if (::rename(from.c_str(), to.c_str()) == 0) return {};
  }
  if (errno != EXDEV) return Error::posix(errno);
  if (auto status = copyItem(from, to, unkept, abandon); !status) return status;
  std::error_code ec;
  std::filesystem::remove_all(from, ec);
  if (ec) return Error::posix(ec.value());
  return {};
}

Status moveItem(const std::filesystem::path& from, const std::filesystem::path& to) {
  UnkeptAttributes unkept;
  auto status = moveItem(from, to, unkept);
  logUnkept(unkept, to);
  return status;
}

Status createDirectory(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return Error::posix(ec.value());
  return {};
}

Status createEmptyFile(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return Error::posix(errno);
  ::close(fd);
  return {};
}

Result<std::vector<std::string>> listDirectory(const std::filesystem::path& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return Error::posix(errno);
  std::vector<std::string> names;
  errno = 0;
  while (dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
    errno = 0;
  }
  const int error = errno;
  ::closedir(dir);
  if (error != 0) return Error::posix(error);
  return names;
}

Status setMode(const std::filesystem::path& item, unsigned mode) {
  if (::chmod(item.c_str(), mode & 07777) != 0) return Error::posix(errno);
  return {};
}

}  // namespace ml::darwin
