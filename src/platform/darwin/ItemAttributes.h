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
// What statx gives is always there. The item's own attributes (Finder info, stored creation
// date, resource fork) are extra: one the caller may not read (a file without read permission
// refuses every attribute read with EACCES) is absent, so an unreadable item still shows its
// kind, sizes, dates and permissions. `finderInfoRead` says whether the Finder info was read;
// a writer must not store Finder info built on one it could not read, or it would wipe codes
// and flags it never saw.
// Stateless; any thread.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "platform/darwin/FileDate.h"
#include "platform/darwin/FinderInfo.h"
#include "platform/foundation/Result.h"

namespace ml::darwin {

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
  FinderInfo finderInfo;           // all zeros when the item has none or it cannot be read
  bool finderInfoRead = true;      // false when the attribute exists but could not be read
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

// Fails only when the item itself cannot be described (statx fails: ENOENT for a missing item,
// EACCES for one in a folder the caller may not search).
foundation::Result<ItemAttributes> readItemAttributes(const std::filesystem::path& item);

// Modification and access dates of the item itself (a link is not followed); a date not given
// is left exactly as it is. A date the item's file system cannot store is refused with ERANGE
// before anything is written (StorableDates). Where no probe of the range can be made, the dates
// are written, read back, and put back as they were when the file system did not keep them.
foundation::Status setItemTimes(const std::filesystem::path& item, std::optional<Date> modification,
                                std::optional<Date> access);

// Stores the creation date the user chose; nullopt removes a stored one (a missing one is fine).
foundation::Status setStoredCreationDate(const std::filesystem::path& item, std::optional<Date> date);
// The stored creation date: nullopt when none is stored or it is not a valid number.
foundation::Result<std::optional<Date>> readStoredCreationDate(const std::filesystem::path& item);

// Text of a stored creation date, and back; exposed for tests and the fuzzer.
std::string encodeCreationDate(Date date);
std::optional<Date> decodeCreationDate(std::span<const uint8_t> bytes);

}  // namespace ml::darwin
