#pragma once
// The total size of everything below a folder: the sum of both forks of every regular file,
// hidden items and package contents included; and the bytes allocated to the folder and
// everything in it as du counts them (st_blocks * 512 of every item, the folders included, an
// inode with several hard links once). Sub-folders are listed in parallel by up to
// eight threads of the call's own. Links are never followed, a folder met again
// below itself (a bind mount of an ancestor) is not walked twice, unreadable parts are
// skipped. Blocking; any thread; callers run it in the background.
#include <cstdint>
#include <filesystem>

namespace ml::files {

struct FolderTotals {
  int64_t bytes = 0;        // data and resource forks of every regular file
  int64_t allocated = 0;    // bytes of allocated blocks, the folder's own included
  int64_t files = 0;        // regular files counted
  int64_t unreadable = 0;   // folders that could not be listed
};

FolderTotals folderTotals(const std::filesystem::path& folder);

}  // namespace ml::files
