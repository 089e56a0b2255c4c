#include "list/rows/PathListItem.h"

#include <cerrno>
#include <chrono>

#include "files/FileSystem.h"
#include "files/TypeDescriber.h"
#include "list/rows/PathNames.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"

namespace ml::list {

std::shared_ptr<PathListItem> PathListItem::make(const files::Path& path, std::shared_ptr<shell::UsageEvents> usage) {
  std::shared_ptr<PathListItem> row(new PathListItem(path));
  const files::FileSystem& fs = path.fileSystem();
  row->name_ = lastPathComponent(path.url());

  // One attribute read gives the dates and, for anything but a folder, the size (a folder's
  // total would walk its whole tree, which a row never does).
  auto basic = fs.basicAttributes(path);
  if (basic) {
    row->creationDate_ = basic->creationDate();
    row->lastModifiedDate_ = basic->lastModifiedDate();
  } else {
    // Gone, rather than unreadable: the item's own lookup finds nothing there (a file system
    // that does not say why leaves errno at 0, and the row is merely unreadable).
    errno = 0;
    row->isGone_ = !fs.identity(path) && (errno == ENOENT || errno == ENOTDIR);
    LOG_ERROR("failed to read date information for " << path.description());
    if (usage) usage->trackEvent("Failed to read dates", {});
  }
  row->usage_ = std::move(usage);

  row->isExpandable_ = fs.isDirectory(path);
  if (!row->isExpandable_ && basic) row->byteCount_ = basic->totalSize().actual;

  row->fullPath_ = path.volume() + parentPathText(path.url());
  row->icon_ = files::TypeDescriber::current()->icon(path.url());

  if (row->isExpandable_) {
    if (auto entries = fs.contentsOf(path)) {
      row->entryNames_.reserve(entries->size());
      for (const auto& entry : *entries) row->entryNames_.push_back(entry.url().filename().string());
    }
  }
  row->children_.resize(row->entryNames_.size());
  return row;
}

std::shared_ptr<PathListItem> PathListItem::builtChild(int64_t index) const {
  if (index < 0 || index >= childCount()) return nullptr;
  return children_[static_cast<std::size_t>(index)];
}

std::shared_ptr<PathListItem> PathListItem::child(int64_t index) {
  if (index < 0 || index >= childCount()) return nullptr;
  auto& slot = children_[static_cast<std::size_t>(index)];
  if (slot) return slot;

  const files::Path entry(source_.sharedFileSystem(), source_.url() / entryNames_[static_cast<std::size_t>(index)]);
  const auto start = std::chrono::steady_clock::now();
  slot = make(entry, usage_);
  const auto elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
  slot->setParent(this, static_cast<int>(index));
  LOG_DEBUG("Converting path to list item completed. path=[" << entry.description() << "] time=["
                                                             << elapsed.count() << "ms]");
  return slot;
}

std::vector<files::Path> PathListItem::entryPaths() const {
  std::vector<files::Path> paths;
  paths.reserve(entryNames_.size());
  for (const auto& name : entryNames_) paths.emplace_back(source_.sharedFileSystem(), source_.url() / name);
  return paths;
}

void PathListItem::adoptChildren(std::vector<std::shared_ptr<PathListItem>> rows) {
  ML_ASSERT_MAIN_THREAD();
  for (auto& row : rows) {
    if (shownChildren_ >= childCount()) return;
    auto& slot = children_[static_cast<std::size_t>(shownChildren_)];
    if (!slot && row) {
      slot = std::move(row);
      slot->setParent(this, static_cast<int>(shownChildren_));
    }
    ++shownChildren_;
  }
}

}  // namespace ml::list
