#pragma once
// What the file system keeps about one item, read in one go: the stand-in for the original
// platform's attribute lists and resource values. The item itself is described; a symbolic
// link at the path is not followed.
//
//   creation date   the birth time (statx), unless a date the user set is stored in the
//                   attribute "org.marrowlane.creationDate" (decimal nanoseconds since
//                   1970-01-01 UTC); the stored date wins
//   resource fork   the attribute "com.apple.ResourceFork" of a regular file; its allocated
//                   size is its length rounded up to the file system's block size
//   invisible       the Finder-info flag, or a name that starts with "."
//   locked          the immutable inode flag
//   package         a folder with the Finder's has-bundle flag, or named "*.app"
// Stateless; any thread.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "platform/darwin/FinderInfo.h"
#include "platform/foundation/Result.h"

namespace ml::darwin {

using Date = std::chrono::system_clock::time_point;

enum class ItemKind { regular, directory, symbolicLink, other };

struct ItemAttributes {
  ItemKind kind = ItemKind::other;
  uint64_t device = 0;
  uint64_t inode = 0;
  mode_t mode = 0;  // the whole st_mode: type, special and permission bits
  uid_t owner = 0;
  gid_t group = 0;
  int64_t size = 0;               // data fork, bytes
  int64_t allocatedSize = 0;      // data fork, bytes of allocated blocks
  int64_t resourceForkSize = 0;   // 0 when there is none
  int64_t resourceForkAllocatedSize = 0;
  std::optional<Date> creationDate;
  Date modificationDate;
  Date accessDate;
  Date attributeModificationDate;  // ctime
  FinderInfo finderInfo;           // all zeros when the item has none
  bool isImmutable = false;
  bool nameStartsWithDot = false;
  bool hasPackageExtension = false;  // a name ending in ".app"

  bool isInvisible() const { return nameStartsWithDot || finderInfo.hasFlag(FinderInfo::kIsInvisible); }
  bool isExtensionHidden() const { return finderInfo.hasFlag(FinderInfo::kIsExtensionHidden); }
  bool isAlias() const { return kind != ItemKind::directory && finderInfo.hasFlag(FinderInfo::kIsAlias); }
  bool isPackage() const;
  int64_t totalSize() const { return size + resourceForkSize; }
  int64_t totalAllocatedSize() const { return allocatedSize + resourceForkAllocatedSize; }
};

// The attribute's name, without the user namespace prefix.
inline constexpr const char* kCreationDateAttribute = "org.marrowlane.creationDate";

// Fails with the POSIX error of the first call that failed (ENOENT for a missing item).
foundation::Result<ItemAttributes> readItemAttributes(const std::filesystem::path& item);

// Modification and access dates of the item itself (a link is not followed).
foundation::Status setItemTimes(const std::filesystem::path& item, Date modification, Date access);

// Stores the creation date the user chose; nullopt removes a stored one (a missing one is fine).
foundation::Status setStoredCreationDate(const std::filesystem::path& item, std::optional<Date> date);
// The stored creation date: nullopt when none is stored or it is not a valid number.
foundation::Result<std::optional<Date>> readStoredCreationDate(const std::filesystem::path& item);

// Text of a stored creation date, and back; exposed for tests and the fuzzer.
std::string encodeCreationDate(Date date);
std::optional<Date> decodeCreationDate(std::span<const uint8_t> bytes);

}  // namespace ml::darwin
