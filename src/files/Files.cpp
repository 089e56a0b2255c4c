#include "files/Files.h"

#include <climits>
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

int counted(int64_t n) { return n > INT_MAX ? INT_MAX : static_cast<int>(n); }

ContentCounts countsOf(const FolderTotals& totals) {
  return {counted(totals.files + totals.others), counted(totals.folders)};
}

bool isFolder(const Path& path) {
  const auto& fs = path.fileSystem();
  return fs.exists(path) && fs.isDirectory(path);
}

}  // namespace

std::optional<ContentCounts> Files::countContents(const Path& path, bool recursing, std::stop_token stop) {
  if (!isFolder(path)) return std::nullopt;
  const auto& fs = path.fileSystem();
  if (recursing) {
    const auto totals = fs.totalsBelow(path, FolderWalk::countsOnly, std::move(stop));
    if (totals.stopped) return std::nullopt;
    return countsOf(totals);
  }
  ContentCounts counts;
  for (const auto& entry : fs.contentsOf(path).value_or(std::vector<Path>{})) {
    if (stop.stop_requested()) return std::nullopt;
    const auto identity = entry.fileSystem().identity(entry);
    if (!identity || !identity->isDirectory) ++counts.files;
  }
  return counts;
}

std::optional<FolderSummary> Files::summarize(const Path& path, std::stop_token stop) {
  if (!isFolder(path)) return std::nullopt;
  const auto totals = path.fileSystem().totalsBelow(path, FolderWalk::sizesAndCounts, std::move(stop));
  if (totals.stopped) return std::nullopt;
  return FolderSummary{{totals.bytes, totals.allocated}, countsOf(totals)};
}

}  // namespace ml::files
