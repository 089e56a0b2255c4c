#include "platform/darwin/ItemAttributes.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/darwin/ExtendedAttributes.h"
#include "platform/darwin/SizedRead.h"
#include "platform/darwin/StorableDates.h"

namespace ml::darwin {

using foundation::Error;
using foundation::Result;
using foundation::Status;

namespace {

const std::string kResourceForkName = linuxAttributeName("com.apple.ResourceFork");
const std::string kCreationDateName = linuxAttributeName(kCreationDateAttribute);

Date toDate(const struct statx_timestamp& t) { return dateOf(t.tv_sec, t.tv_nsec); }

// The immutable flag through the inode-flags ioctl, for file systems whose statx does not
// report it. Only regular files and folders are opened: opening a device or a FIFO could
// block or have side effects.
bool immutableByIoctl(const std::filesystem::path& item) {
  const int fd = ::open(item.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  int flags = 0;
  const bool immutable = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL);
  ::close(fd);
  return immutable;
}

int64_t roundUp(int64_t value, int64_t block) {
  if (value <= 0 || block <= 0) return value < 0 ? 0 : value;
  return (value + block - 1) / block * block;
}

}  // namespace

bool ItemAttributes::isPackage() const {
  if (kind != ItemKind::directory) return false;
  return hasPackageExtension || finderInfo.hasFlag(FinderInfo::kHasBundle);
}

std::string encodeCreationDate(Date date) { return decimalNanoseconds(date); }

std::optional<Date> decodeCreationDate(std::span<const uint8_t> bytes) {
  return dateFromDecimalNanoseconds(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

Result<std::optional<Date>> readStoredCreationDate(const std::filesystem::path& item) {
  auto bytes = sizedRead([&](uint8_t* buffer, size_t size) {
    return ::lgetxattr(item.c_str(), kCreationDateName.c_str(), buffer, size);
  });
  if (!bytes) {
    const int code = bytes.error().code;
    if (code == ENODATA || code == ENOTSUP || code == EPERM) return std::optional<Date>();
    return bytes.error();
  }
  return decodeCreationDate(bytes.value());
}

Status setStoredCreationDate(const std::filesystem::path& item, std::optional<Date> date) {
  if (!date) {
    if (::lremovexattr(item.c_str(), kCreationDateName.c_str()) != 0 && errno != ENODATA)
      return Error::posix(errno);
    return {};
  }
  const std::string text = encodeCreationDate(*date);
  if (::lsetxattr(item.c_str(), kCreationDateName.c_str(), text.data(), text.size(), 0) != 0)
    return Error::posix(errno);
  return {};
}

Result<ItemAttributes> readItemAttributes(const std::filesystem::path& item) {
  struct statx sx;
  if (::statx(AT_FDCWD, item.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
              STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
    return Error::posix(errno);

  ItemAttributes a;
  if (S_ISREG(sx.stx_mode))
    a.kind = ItemKind::regular;
  else if (S_ISDIR(sx.stx_mode))
    a.kind = ItemKind::directory;
  else if (S_ISLNK(sx.stx_mode))
    a.kind = ItemKind::symbolicLink;
  a.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
  a.inode = sx.stx_ino;
  a.mode = sx.stx_mode;
  a.owner = sx.stx_uid;
  a.group = sx.stx_gid;
  a.size = static_cast<int64_t>(sx.stx_size);
  a.allocatedSize = static_cast<int64_t>(sx.stx_blocks) * 512;
  a.modificationDate = toDate(sx.stx_mtime);
  a.accessDate = toDate(sx.stx_atime);
  a.attributeModificationDate = toDate(sx.stx_ctime);
  if (sx.stx_mask & STATX_BTIME) a.creationDate = toDate(sx.stx_btime);
  const std::string name = item.filename().string();
  a.nameStartsWithDot = !name.empty() && name[0] == '.' && name != "." && name != "..";
  a.hasPackageExtension = name.size() > 4 && name.ends_with(".app");

  if (a.kind == ItemKind::symbolicLink) return a;  // links carry no user attributes on Linux

  if (sx.stx_attributes_mask & STATX_ATTR_IMMUTABLE)
    a.isImmutable = (sx.stx_attributes & STATX_ATTR_IMMUTABLE) != 0;
  else if (a.kind != ItemKind::other)
    a.isImmutable = immutableByIoctl(item);

  // Each attribute read below may fail on its own (no read permission, a file system without
  // user attributes, the item replaced meanwhile); a failed read leaves that attribute absent.
  if (auto finderInfo = readFinderInfo(item)) {
    if (finderInfo.value()) a.finderInfo = *finderInfo.value();
  } else {
    a.finderInfoRead = false;
  }

  if (auto stored = readStoredCreationDate(item); stored && stored.value()) a.creationDate = stored.value();

  if (a.kind == ItemKind::regular) {
    const ssize_t fork = ::lgetxattr(item.c_str(), kResourceForkName.c_str(), nullptr, 0);
    if (fork > 0) {
      a.resourceForkSize = fork;
      a.resourceForkAllocatedSize = roundUp(fork, sx.stx_blksize);
    }
  }
  return a;
}

Status setItemTimes(const std::filesystem::path& item, std::optional<Date> modification, std::optional<Date> access) {
  if (!modification && !access) return {};
  std::vector<Date> asked;
  if (modification) asked.push_back(*modification);
  if (access) asked.push_back(*access);
  const auto range = storableDates(item);
  // Without a probe only what timespec can express is known to be storable; the read-back below
  // then catches what the file system clamped.
  const StorableDates known = range ? *range : StorableDates{INT64_MIN, INT64_MAX};
  if (auto s = known.check(asked); !s) return s;

  struct stat before {};
  if (::lstat(item.c_str(), &before) != 0) return Error::posix(errno);
  const timespec omit{0, UTIME_OMIT};
  const timespec times[2] = {access ? *timespecOf(*access) : omit, modification ? *timespecOf(*modification) : omit};
  if (::utimensat(AT_FDCWD, item.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return Error::posix(errno);
  if (range) return {};

  struct stat after {};
  if (::lstat(item.c_str(), &after) != 0) return Error::posix(errno);
  const bool accessKept = !access || after.st_atim.tv_sec == times[0].tv_sec;
  const bool modificationKept = !modification || after.st_mtim.tv_sec == times[1].tv_sec;
  if (accessKept && modificationKept) return {};
  const timespec previous[2] = {access ? before.st_atim : omit, modification ? before.st_mtim : omit};
  (void)::utimensat(AT_FDCWD, item.c_str(), previous, AT_SYMLINK_NOFOLLOW);
  const Date refused = modificationKept ? *access : *modification;
  return Error::posix(ERANGE, "the date " + utcText(timespecOf(refused)->tv_sec) +
                                  " is outside what this item's volume can store");
}

}  // namespace ml::darwin
