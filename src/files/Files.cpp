#include "files/Files.h"

#include <set>

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

using Ancestors = std::set<std::pair<uint64_t, uint64_t>>;

void countBelow(const Path& folder, bool recursing, ContentCounts& counts, Ancestors& ancestors) {
  const auto& fs = folder.fileSystem();
  auto entries = fs.contentsOf(folder);
  if (!entries) return;
  // A link to a folder counts as a folder and is followed; one that leads back to a folder
  // being walked (itself or an enclosing one) is counted but not entered, so the count ends.
  for (const auto& entry : *entries) {
    const auto identity = fs.targetIdentity(entry);
    if (identity && identity->isDirectory) {
      if (!recursing) continue;
      ++counts.folders;
      if (ancestors.insert({identity->device, identity->inode}).second) {
        countBelow(entry, true, counts, ancestors);
        ancestors.erase({identity->device, identity->inode});
      }
    } else {
      ++counts.files;
    }
  }
}

}  // namespace

std::optional<ContentCounts> Files::countContents(const Path& path, bool recursing) {
  const auto& fs = path.fileSystem();
  if (!fs.exists(path) || !fs.isDirectory(path)) return std::nullopt;
  ContentCounts counts;
  Ancestors ancestors;
  if (auto self = fs.targetIdentity(path)) ancestors.insert({self->device, self->inode});
  countBelow(path, recursing, counts, ancestors);
  return counts;
}

}  // namespace ml::files
