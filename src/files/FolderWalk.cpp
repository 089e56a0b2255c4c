// The walk below a folder through the FileSystem interface alone, for file systems that have no
// faster one of their own. Same rules as the parallel walk of the machine's folders.
#include <functional>
#include <unordered_set>
#include <vector>

#include "files/FileSystem.h"

namespace ml::files {

namespace {

struct FolderKey {
  uint64_t device;
  uint64_t inode;
  friend bool operator==(const FolderKey&, const FolderKey&) = default;
};

struct FolderKeyHash {
  size_t operator()(const FolderKey& key) const noexcept {
    return std::hash<uint64_t>()(key.inode * 0x9E3779B97F4A7C15ull ^ key.device);
  }
};

}  // namespace

// Depth first over an explicit stack: a deep tree would not fit a thread's stack as recursion.
FolderTotals FileSystem::totalsBelow(const Path& folder, FolderWalk what, std::stop_token stop) const {
  FolderTotals totals;
  std::unordered_set<FolderKey, FolderKeyHash> listed;
  std::vector<Path> pending{folder};
  bool isRoot = true;  // a link at the folder's own path is followed
  while (!pending.empty() && !totals.stopped) {
    if (stop.stop_requested()) break;
    const Path current = std::move(pending.back());
    pending.pop_back();
    const auto& fs = current.fileSystem();
    const auto self = isRoot ? fs.targetIdentity(current) : fs.identity(current);
    isRoot = false;
    if (self && !listed.insert({self->device, self->inode}).second) continue;
    auto entries = fs.contentsOf(current);
    if (!entries) {
      totals.noteUnreadable(current.description(), "cannot be listed");
      continue;
    }
    for (auto& entry : *entries) {
      if (stop.stop_requested()) {
        totals.stopped = true;
        break;
      }
      const auto& entryFs = entry.fileSystem();
      const auto identity = entryFs.identity(entry);
      if (identity && identity->isDirectory) {
        ++totals.folders;
        pending.push_back(std::move(entry));
        continue;
      }
      const auto basic = identity && !identity->isSymbolicLink ? entryFs.basicAttributes(entry) : nullptr;
      if (!basic || !basic->isRegularFile()) {
        ++totals.others;
        continue;
      }
      ++totals.files;
      if (what == FolderWalk::countsOnly) continue;
      const FileSize size = basic->totalSize();
      totals.bytes += size.actual;
      totals.allocated += size.allocated;
    }
  }
  if (stop.stop_requested()) totals.stopped = true;
  logUnreadableFolders(folder.description(), totals);
  return totals;
}

}  // namespace ml::files
