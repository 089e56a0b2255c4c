#pragma once
// The total size of everything below a folder: the sum of both forks of every regular file,
// hidden items and package contents included. Sub-folders are listed in parallel by up to
// eight threads of the call's own. Links are never followed, a folder met again
// below itself (a bind mount of an ancestor) is not walked twice, unreadable parts are
// skipped. Blocking; any thread; callers run it in the background.
#include <cstdint>
#include <filesystem>

namespace ml::files {

struct FolderTotals {
  int64_t bytes = 0;        // data and resource forks of every regular file
  int64_t files = 0;        // regular files counted
  int64_t unreadable = 0;   // folders that could not be listed
};

FolderTotals folderTotals(const std::filesystem::path& folder);

}  // namespace ml::files
