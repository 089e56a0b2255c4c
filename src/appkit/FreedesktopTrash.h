#pragma once
// The desktop's Trash, after the freedesktop.org Trash specification (1.0): an item goes to the
// home trash ($XDG_DATA_HOME/Trash) when it lives on the same file system, else to its volume's
// top-directory trash ($topdir/.Trash/$uid when the administrator made a sticky $topdir/.Trash,
// else $topdir/.Trash-$uid). Each trashed item gets "info/<name>.trashinfo" with its original
// path (absolute for the home trash, relative to the top directory otherwise) and deletion date.
//
// Items are moved by rename(2): nothing is ever copied across file systems, so an item either
// lands in a Trash whole or stays where it was. Names in the Trash are made unique by reserving
// the .trashinfo file with O_EXCL, which keeps two trashing processes apart; the move never
// replaces what is already in the Trash under that name. The record is written before the move
// and removed whenever the move fails or is not made, so no record is left without its item by
// the call (only a process killed between the two steps can leave one; empty() removes such).
//
// Thread safety: the object holds no mutable state; calls may run on any thread.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/foundation/Result.h"

namespace ml::appkit {

class FreedesktopTrash {
 public:
  struct Options {
    // The home trash folder; empty: $XDG_DATA_HOME/Trash (read at each call).
    std::filesystem::path homeTrash;
    // Mount points whose top-directory trashes count and empty; unset: /proc/self/mountinfo.
    std::function<std::vector<std::filesystem::path>()> mountPoints;
    uid_t uid = static_cast<uid_t>(-1);  // -1: the process's user
  };

  FreedesktopTrash();
  explicit FreedesktopTrash(Options options);

  // Moves `item` (not following a final symlink) into the Trash of its file system and returns
  // where it now is. Fails with the POSIX error when it cannot be moved; EXDEV when its volume
  // offers no usable Trash.
  foundation::Result<std::filesystem::path> trash(const std::filesystem::path& item) const;

  // The number of items in every Trash the user has (home and mounted volumes).
  foundation::Result<std::int64_t> count() const;

  // Deletes every item in every Trash with its information file. Goes on after a failure and
  // reports the first one.
  foundation::Status empty() const;

  // The trash folders that exist, home trash first, each once.
  std::vector<std::filesystem::path> existingTrashFolders() const;

  std::filesystem::path homeTrash() const;

  // The original-path line of a .trashinfo file (see TrashInfo): percent-encoding of every byte
  // except unreserved URL characters and "/".
  static std::string encodePath(std::string_view path);

 private:
  foundation::Result<std::filesystem::path> trashFolderFor(const std::filesystem::path& item, dev_t device,
                                                           std::filesystem::path& topDirectory) const;
  std::vector<std::filesystem::path> mountPoints() const;
  uid_t uid() const;

  Options options_;
};

}  // namespace ml::appkit
