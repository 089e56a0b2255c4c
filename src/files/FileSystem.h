#pragma once
// The interface through which every window reads and writes the file system. Operations are
// synchronous, keep no state between calls and may run on any thread. Callers take the file
// system from the path they hold (path.fileSystem()).
//
// Reads answer nullopt/null for a missing or unreadable item and never throw; writes answer a
// Status carrying the POSIX error and its text.
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "files/AttributeViews.h"
#include "files/FolderSize.h"
#include "files/Path.h"
#include "platform/foundation/Result.h"

namespace ml::files {

// What an item is, without following a link at its path: enough to walk a tree without
// following links and to notice a folder met again below itself.
struct ItemIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool isDirectory = false;
  bool isSymbolicLink = false;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual std::string separator() const = 0;
  virtual Path rootPath() const = 0;
  virtual bool exists(const Path& path) const = 0;
  // An empty file; fails (EEXIST) when the name is taken, and with the error of the creation.
  virtual foundation::Status createFile(const Path& path) const = 0;
  virtual foundation::Status createDirectory(const Path& path) const = 0;
  virtual bool isDirectory(const Path& path) const = 0;
  virtual std::shared_ptr<const BasicAttributeView> basicAttributes(const Path& path) const = 0;
  virtual std::shared_ptr<const PosixFileAttributeView> posixAttributes(const Path& path) const = 0;
  virtual std::shared_ptr<const AppleAttributeView> finderAttributes(const Path& path) const = 0;
  virtual std::shared_ptr<const FullAttributeView> allAttributes(const Path& path) const = 0;
  virtual std::optional<std::string> volumeName(const Path& path) const = 0;
  // Where the volume holding the item itself is mounted ("/" for the root volume), and the
  // item's location with the links above it resolved, so the two can be compared; nullopt when
  // the file system does not know (paths then read as lying on a volume mounted at "/").
  virtual std::optional<std::filesystem::path> volumeMountPoint(const Path& path) const {
    (void)path;
    return std::nullopt;
  }
  virtual std::filesystem::path resolvedLocation(const Path& path) const { return path.url(); }
  // Neither ever replaces an existing item at `to`.
  virtual foundation::Status copy(const Path& from, const Path& to) const = 0;
  virtual foundation::Status move(const Path& from, const Path& to) const = 0;
  virtual foundation::Status updateBasicAttributes(const Path& path, const BasicAttributeView& values) const = 0;
  virtual foundation::Status updatePosixAttributes(const Path& path, const PosixFileAttributeView& values) const = 0;
  virtual foundation::Status updateFinderAttributes(const Path& path, const AppleAttributeView& values) const = 0;
  virtual std::optional<std::vector<Path>> contentsOf(const Path& directory) const = 0;
  virtual std::optional<ItemIdentity> identity(const Path& path) const = 0;
  // The identity of what a symbolic link at the path points to (of the item itself when it is
  // no link); nullopt when nothing is there. A file system that cannot follow links answers
  // identity().
  virtual std::optional<ItemIdentity> targetIdentity(const Path& path) const { return identity(path); }
  // Everything below a folder from one walk, by the rules of folderTotals() (FolderSize.h): links
  // below it are items, not followed; each folder is listed once; unreadable folders are skipped
  // and logged once at the end. This form walks through contentsOf(), identity() and
  // basicAttributes(), one folder at a time; a file system that can walk faster overrides it.
  virtual FolderTotals totalsBelow(const Path& folder, FolderWalk what, std::stop_token stop) const;
};

// The process-wide default file system, created once on first use (thread-safe).
class FileSystems {
 public:
  FileSystems() = delete;
  static const std::shared_ptr<const FileSystem>& defaultFileSystem();
};

}  // namespace ml::files
