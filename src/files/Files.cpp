#include "files/Files.h"

#include <functional>
#include <unordered_set>
#include <vector>

#include "files/FileSystem.h"
#include "files/FinderMetadata.h"

namespace ml::files {

std::optional<ItemDates> Files::dates(const Path& path) {
  auto basic = path.fileSystem().basicAttributes(path);
  if (!basic) return std::nullopt;
  return ItemDates{basic->creationDate(), basic->lastModifiedDate(), basic->lastAccessedDate()};
}

std::optional<std::string> Files::comment(const Path& path) { return readFinderComment(path.url()); }

foundation::Status Files::setComment(const Path& path, const std::optional<std::string>& comment) {
  return writeFinderComment(path.url(), comment);
}

FileType Files::type(const Path& path) {
  auto all = path.fileSystem().allAttributes(path);
  if (!all) return FileType::normal;
  if (all->isAlias()) return FileType::alias;
  if (all->isPackage()) return FileType::package;
  if (all->isSymbolicLink()) return FileType::symlink;
  if (all->isDirectory()) return FileType::directory;
  return FileType::normal;
}

namespace {

struct FolderIdentity {
  uint64_t device;
  uint64_t inode;
  friend bool operator==(const FolderIdentity&, const FolderIdentity&) = default;
};

struct FolderIdentityHash {
  size_t operator()(const FolderIdentity& id) const noexcept {
    return std::hash<uint64_t>()(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
  }
};

}  // namespace

// Depth first over an explicit stack: a tree reached through links can be deeper than a thread's
// stack would allow for recursion.
std::optional<ContentCounts> Files::countContents(const Path& path, bool recursing, std::stop_token stop) {
  const auto& fs = path.fileSystem();
  if (!fs.exists(path) || !fs.isDirectory(path)) return std::nullopt;
  ContentCounts counts;
  std::unordered_set<FolderIdentity, FolderIdentityHash> listed;
  if (auto self = fs.targetIdentity(path)) listed.insert({self->device, self->inode});
  std::vector<Path> pending{path};
  while (!pending.empty()) {
    const Path folder = std::move(pending.back());
    pending.pop_back();
    if (stop.stop_requested()) return std::nullopt;
    // A folder that cannot be listed (gone, unreadable) adds nothing beyond its own count.
    auto entries = folder.fileSystem().contentsOf(folder);
    if (!entries) continue;
    for (auto& entry : *entries) {
      if (stop.stop_requested()) return std::nullopt;
      const auto identity = entry.fileSystem().targetIdentity(entry);
      if (!identity || !identity->isDirectory) {
        ++counts.files;
        continue;
      }
      if (!recursing) continue;
      ++counts.folders;
      if (listed.insert({identity->device, identity->inode}).second) pending.push_back(std::move(entry));
    }
  }
  return counts;
}

}  // namespace ml::files
