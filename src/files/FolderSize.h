#pragma once
// The totals of everything below a folder, from one walk: the sum of both forks of every
// regular file, hidden items and package contents included; the bytes allocated to the folder
// and everything in it as du counts them (st_blocks * 512 of every item, the folders included,
// an inode with several hard links once); and the files, other items and folders met. Sub-folders
// are listed in parallel by up to eight threads of the call's own.
//
// Links below the folder are never followed (a link is one item of its own, whatever it points
// to); a link at the folder's own path is. Each folder (by device and inode) is listed once, so
// one met again through a bind mount (of an ancestor or of anything else) is counted as a folder
// but neither walked again nor its contents counted twice. Folders that cannot be listed are
// skipped, counted, and named (the first few) in one warning line at the end of the walk.
// Blocking; any thread; callers run it in the background and may stop it through `stop`.
#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace ml::files {

// What a walk reads of each item. Counting alone takes the kinds from the folder listings and
// reads no item's own record.
enum class FolderWalk { sizesAndCounts, countsOnly };

struct FolderTotals {
  int64_t bytes = 0;        // data and resource forks of every regular file (sizesAndCounts)
  int64_t allocated = 0;    // bytes of allocated blocks, the folder's own included (sizesAndCounts)
  int64_t files = 0;        // regular files
  int64_t others = 0;       // items that are neither regular files nor folders: links, devices, ...
  int64_t folders = 0;      // folders below the folder (the folder itself not included)
  int64_t unreadable = 0;   // folders that could not be listed, or only in part
  // The first few of them (kNamedUnreadable at most), each "path (reason)".
  std::vector<std::string> unreadableNamed;
  bool stopped = false;     // `stop` came before the walk ended: the sums are partial

  static constexpr size_t kNamedUnreadable = 5;

  // Adds the counts and sums of another part of the same walk.
  void add(const FolderTotals& part);
  // Notes a folder that could not be listed.
  void noteUnreadable(std::string path, std::string_view reason);
};

// The walk gives up soon after `stop` is requested (each walker checks it between entries), and
// the call returns once every walker has.
FolderTotals folderTotals(const std::filesystem::path& folder, std::stop_token stop = {},
                          FolderWalk what = FolderWalk::sizesAndCounts);

// The one line a walk writes when it met folders it could not list: how many, below which
// folder, and the first few. Nothing when there were none.
void logUnreadableFolders(const std::string& folder, const FolderTotals& totals);

}  // namespace ml::files
