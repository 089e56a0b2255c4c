#pragma once
// Read-only views of what the file system keeps about one item. A FileSystem builds them per
// request; the default ones hold what was read at construction, except the members documented
// as read on each access (folder sizes, comment, stationery flag, icon, tags, kind, extended
// attributes). Views hold no locks and may be read on any thread.
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "files/Date.h"
#include "files/FileIcon.h"
#include "files/FilePermissions.h"
#include "files/FileSize.h"
#include "files/FinderTag.h"

namespace ml::files {

using Bytes = std::vector<uint8_t>;
using FinderTags = std::unordered_set<FinderTag>;

class BasicAttributeView {
 public:
  virtual ~BasicAttributeView() = default;
  virtual std::optional<Date> creationDate() const = 0;
  virtual Date lastModifiedDate() const = 0;
  virtual Date lastAccessedDate() const = 0;
  virtual bool isDirectory() const = 0;
  virtual bool isSymbolicLink() const = 0;
  virtual bool isRegularFile() const = 0;
  // None of directory, link, regular file.
  virtual bool isOther() const = 0;
  virtual bool isInvisible() const = 0;
  virtual bool isExtensionHidden() const = 0;
  // Both forks of a file; the sum below a folder or package; (-1, -1) for anything else.
  virtual FileSize totalSize() const = 0;
  // totalSize(), given up when `stop` is requested before a folder's sum is done: that answers
  // (-1, -1), which is no size of the folder's and must not be kept as one. Views that hold
  // their size already answer it.
  virtual FileSize cancellableTotalSize(std::stop_token stop) const {
    (void)stop;
    return totalSize();
  }
};

class PosixFileAttributeView {
 public:
  virtual ~PosixFileAttributeView() = default;
  virtual std::string owner() const = 0;  // "????" when the account has no name
  virtual std::string group() const = 0;
  virtual FilePermissions permissions() const = 0;  // the six read and write bits only
};

class AppleAttributeView {
 public:
  virtual ~AppleAttributeView() = default;
  virtual std::optional<std::string> comments() const = 0;
  virtual bool isStationary() const = 0;
  virtual FileIcon icon() const = 0;
  virtual std::optional<std::string> creatorCode() const = 0;
  virtual std::optional<std::string> typeCode() const = 0;
  virtual FinderTags tags() const = 0;
  virtual std::optional<std::string> kind() const = 0;
  virtual bool isLocked() const = 0;
  virtual bool isNameLocked() const = 0;
  virtual bool isAlias() const = 0;
  virtual bool isPackage() const = 0;
  virtual std::optional<Date> lastBackupDate() const = 0;
  virtual FileSize dataSize() const = 0;
  virtual std::optional<FileSize> resourceSize() const = 0;  // nullopt: no resource fork
  virtual bool hasExtendedAttribute(std::string_view name) const = 0;
  virtual std::optional<Bytes> extendedAttribute(std::string_view name) const = 0;
};

class FullAttributeView : public AppleAttributeView, public BasicAttributeView, public PosixFileAttributeView {};

}  // namespace ml::files
