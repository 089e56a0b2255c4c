#include "platform/darwin/FolderReader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

namespace ml::darwin {

using foundation::Error;
using foundation::Result;
using foundation::Status;

namespace {

// The record layout getdents64 fills (the kernel's linux_dirent64): inode (8 bytes), offset (8),
// record length (2), type (1), then the name with its terminating zero, padded to 8 bytes.
constexpr std::size_t kRecordLengthOffset = 16;
constexpr std::size_t kTypeOffset = 18;
constexpr std::size_t kNameOffset = 19;
// Large enough that a folder of a few thousand entries is one system call.
constexpr std::size_t kBlockSize = 64 * 1024;

EntryKind kindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::regular;
  if (S_ISDIR(mode)) return EntryKind::directory;
  if (S_ISLNK(mode)) return EntryKind::symbolicLink;
  return EntryKind::other;
}

std::optional<EntryKind> kindOfType(unsigned char type) {
  switch (type) {
    case DT_REG: return EntryKind::regular;
    case DT_DIR: return EntryKind::directory;
    case DT_LNK: return EntryKind::symbolicLink;
    case DT_UNKNOWN: return std::nullopt;
    default: return EntryKind::other;
  }
}

}  // namespace

Result<FolderReader> FolderReader::open(const std::string& path, Links links) {
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (links == Links::refuse ? O_NOFOLLOW : 0);
  const int fd = ::open(path.c_str(), flags);
  if (fd < 0) return Error::posix(errno, "open " + path);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    return Error::posix(err, "stat " + path);
  }
  return FolderReader(fd, st.st_dev, st.st_ino, static_cast<std::int64_t>(st.st_blocks) * 512);
}

FolderReader::FolderReader(FolderReader&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      device_(other.device_),
      inode_(other.inode_),
      allocatedSize_(other.allocatedSize_) {}

FolderReader& FolderReader::operator=(FolderReader&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    device_ = other.device_;
    inode_ = other.inode_;
    allocatedSize_ = other.allocatedSize_;
  }
  return *this;
}

FolderReader::~FolderReader() {
  if (fd_ >= 0) ::close(fd_);
}

Status FolderReader::forEachEntry(const std::function<void(const FolderEntry&)>& visit) const {
  alignas(8) std::array<char, kBlockSize> block;
  for (;;) {
    const long count = ::syscall(SYS_getdents64, fd_, block.data(), block.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return Error::posix(errno, "list");
    }
    if (count == 0) return {};
    for (long offset = 0; offset < count;) {
      const char* record = block.data() + offset;
      std::uint16_t recordLength = 0;
      std::memcpy(&recordLength, record + kRecordLengthOffset, sizeof recordLength);
      if (recordLength == 0) break;  // never from a sane kernel; guards the loop
      offset += recordLength;
      const char* name = record + kNameOffset;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      auto kind = kindOfType(static_cast<unsigned char>(record[kTypeOffset]));
      if (!kind) {  // some file systems leave the kind to a stat
        struct stat st {};
        if (::fstatat(fd_, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        kind = kindOfMode(st.st_mode);
      }
      visit(FolderEntry{name, *kind});
    }
  }
}

std::optional<FolderReader::EntrySizes> FolderReader::sizesOf(const char* name) const {
  struct stat st {};
  if (::fstatat(fd_, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  return EntrySizes{static_cast<std::int64_t>(st.st_size), static_cast<std::int64_t>(st.st_blocks) * 512, st.st_ino,
                    st.st_nlink};
}

}  // namespace ml::darwin
