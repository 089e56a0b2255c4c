#pragma once
// The total size of everything below a folder: the sum of both forks of every regular file,
// hidden items and package contents included; and the bytes allocated to the folder and
// everything in it as du counts them (st_blocks * 512 of every item, the folders included, an
// inode with several hard links once). Sub-folders are listed in parallel by up to
// eight threads of the call's own. Links below the folder are never followed; each folder (by
// device and inode) is listed once, so one met again through a bind mount (of an ancestor or of
// anything else) is neither walked again nor counted twice; unreadable parts are skipped.
// Blocking; any thread; callers run it in the background and may stop it through `stop`.
#include <cstdint>
#include <filesystem>
#include <stop_token>

namespace ml::files {

struct FolderTotals {
  int64_t bytes = 0;        // data and resource forks of every regular file
  int64_t allocated = 0;    // bytes of allocated blocks, the folder's own included
  int64_t files = 0;        // regular files counted
  int64_t unreadable = 0;   // folders that could not be listed
  bool stopped = false;     // `stop` came before the walk ended: the sums are partial
};

// The walk gives up soon after `stop` is requested (each walker checks it between entries), and
// the call returns once every walker has.
FolderTotals folderTotals(const std::filesystem::path& folder, std::stop_token stop = {});

}  // namespace ml::files
