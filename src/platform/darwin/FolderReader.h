#pragma once
// One open folder and the listing of its entries: the stand-in for the original platform's
// catalogue walk, for the walkers that list whole trees (the volume search, folder sizes). The
// listing reads the kernel's directory records in large blocks (getdents64) and takes each
// entry's kind from them; only file systems that leave the kind out cost a stat per entry.
// Owns its descriptor (closed on destruction); movable, not copyable. One thread at a time.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/foundation/Result.h"

namespace ml::darwin {

enum class EntryKind : std::uint8_t { regular, directory, symbolicLink, other };

struct FolderEntry {
  const char* name;  // zero-terminated, valid during the visit only
  EntryKind kind;
};

class FolderReader {
 public:
  enum class Links { follow, refuse };

  // Opens the folder at `path`. With Links::refuse a symbolic link at the path fails (ELOOP or
  // ENOTDIR) instead of being followed, so a walk never leaves the tree it was given.
  static foundation::Result<FolderReader> open(const std::string& path, Links links);

  FolderReader(FolderReader&& other) noexcept;
  FolderReader& operator=(FolderReader&& other) noexcept;
  FolderReader(const FolderReader&) = delete;
  FolderReader& operator=(const FolderReader&) = delete;
  ~FolderReader();

  // The folder's device and inode, read when it was opened.
  dev_t device() const { return device_; }
  ino_t inode() const { return inode_; }

  // Calls `visit` for every entry but "." and "..", in the file system's order. An entry that
  // vanishes before its kind could be read is skipped. The error that cut the listing short, if
  // any: the entries visited before it stand.
  foundation::Status forEachEntry(const std::function<void(const FolderEntry&)>& visit) const;

  // Bytes of the blocks the folder itself takes (st_blocks * 512), read when it was opened.
  std::int64_t allocatedSize() const { return allocatedSize_; }

  struct EntrySizes {
    std::int64_t size = 0;       // bytes
    std::int64_t allocated = 0;  // bytes of allocated blocks (st_blocks * 512)
    ino_t inode = 0;
    nlink_t links = 0;           // hard links to the entry's inode
  };
  // The sizes of one entry of the folder (a link is not followed); nullopt when the entry
  // cannot be described (gone, or not searchable).
  std::optional<EntrySizes> sizesOf(const char* name) const;

 private:
  FolderReader(int fd, dev_t device, ino_t inode, std::int64_t allocated)
      : fd_(fd), device_(device), inode_(inode), allocatedSize_(allocated) {}

  int fd_ = -1;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  std::int64_t allocatedSize_ = 0;
};

}  // namespace ml::darwin
