#pragma once
// Which dates the file system holding an item can store. A file system does not refuse a date
// outside its range: the kernel silently clamps it to the nearest end (ext4 with large inodes
// keeps 1901-12-13 to 2446-05-10, with small ones up to 2038; xfs up to 2038, or 2486 with big
// timestamps; tmpfs and btrfs any 64-bit count of seconds). So the range is learnt by a probe: an unnamed
// temporary file (O_TMPFILE) made in the item's folder, on the item's own file system, is given
// the highest and the lowest date there are, and what it reads back are the two ends. The probe
// leaves nothing behind and touches nothing the user owns; the type of the file system alone
// cannot tell the range (ext4's depends on how each file system was made).
// Stateless; any thread; blocking.
#include <cstdint>
#include <filesystem>
#include <span>

#include "platform/darwin/FileDate.h"
#include "platform/foundation/Result.h"

namespace ml::darwin {

struct StorableDates {
  int64_t lowestSecond = 0;   // seconds since 1970, both ends included
  int64_t highestSecond = 0;

  bool contains(Date date) const;
  // ERANGE naming the first date of `dates` outside the range and the range itself; success
  // when all are inside.
  foundation::Status check(std::span<const Date> dates) const;
};

// The range of the file system holding `item` (a folder is probed inside, anything else in its
// folder). Fails when no probe can be made there: no write permission on that folder, a
// read-only file system, one without unnamed temporary files, or a folder on another device.
foundation::Result<StorableDates> storableDates(const std::filesystem::path& item);

}  // namespace ml::darwin
