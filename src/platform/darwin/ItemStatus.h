#pragma once
// The cheap facts about one item (one stat call): its identity and mode. For the checks that
// need no more than that (does it exist, is it a folder, which inode is it); the full record of
// an item is ItemAttributes. Stateless; any thread.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>

#include "platform/foundation/Result.h"

namespace ml::darwin {

struct ItemStatus {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  mode_t mode = 0;  // the whole st_mode: type, special and permission bits

  bool isDirectory() const;
  bool isSymbolicLink() const;
};

// The item a symbolic link at the path points to (the path itself when it is no link).
foundation::Result<ItemStatus> statusOfTarget(const std::filesystem::path& item);
// The item at the path itself: a symbolic link is described, not followed.
foundation::Result<ItemStatus> statusOfItem(const std::filesystem::path& item);

}  // namespace ml::darwin
