#include "list/rows/PathListItem.h"

#include <cerrno>
#include <chrono>

#include "files/FileSystem.h"
#include "files/TypeDescriber.h"
#include "list/rows/PathNames.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"

namespace ml::list {

PathListItem::PathListItem(Made, const files::Path& source)
    : fileSystem_(source.sharedFileSystem()), url_(source.url().string()) {
  // The name as the user sees it ("b" for "/a/b" and "/a/b/", "/" for the root), kept as a
  // stretch of the location.
  std::string_view text(url_);
  while (text.size() > 1 && text.back() == '/') text.remove_suffix(1);
  std::size_t start = 0;
  if (text != "/") {
    const auto slash = text.rfind('/');
    if (slash != std::string_view::npos) start = slash + 1;
  }
  nameStart_ = static_cast<uint32_t>(start);
  nameLength_ = static_cast<uint32_t>(text.size() - start);
}

std::shared_ptr<PathListItem> PathListItem::make(const files::Path& path, std::shared_ptr<shell::UsageEvents> usage,
                                                 SharedTexts* texts) {
  auto row = std::make_shared<PathListItem>(Made{}, path);
  const files::FileSystem& fs = path.fileSystem();

  // The item itself (a link not followed): where it lies, and whether it is there at all.
  errno = 0;
  const auto identity = fs.identity(path);
  const int lookupError = errno;

  // One attribute read gives the dates and, for anything but a folder, the size (a folder's
  // total would walk its whole tree, which a row never does).
  auto basic = fs.basicAttributes(path);
  if (basic) {
    row->creationDate_ = dateValue(basic->creationDate());
    row->lastModifiedDate_ = dateValue(basic->lastModifiedDate());
  } else {
    // Gone, rather than unreadable: the item's own lookup finds nothing there (a file system
    // that does not say why leaves errno at 0, and the row is merely unreadable).
    row->isGone_ = !identity && (lookupError == ENOENT || lookupError == ENOTDIR);
    LOG_ERROR("failed to read date information for " << path.description());
    if (usage) usage->trackEvent("Failed to read dates", {});
  }

  row->isExpandable_ = fs.isDirectory(path);
  if (!row->isExpandable_ && basic) row->byteCount_ = basic->totalSize().actual;

  // The volume's name, then the folder as seen from the volume's mount point. Both depend on the
  // folder and the volume alone, and finding the volume reads the mount table, so the rows of
  // one folder on one device share one text, found for the first of them. (An item mounted onto
  // its folder from the same device, a bind mount, is taken for its folder's neighbours.)
  auto location = [&path] { return path.volume() + parentPathText(path.pathOnVolume()); };
  if (texts && identity) {
    row->location_ = texts->forFolder(path.sharedFileSystem().get(), identity->device, parentPathText(std::string_view(row->url_)), location);
  } else {
    row->location_ = shared(texts, location());
  }

  if (row->isExpandable_) {
    row->folder_ = std::make_unique<Folder>();
    if (auto entries = fs.contentsOf(path)) {
      row->folder_->entryNames.reserve(entries->size());
      for (const auto& entry : *entries) row->folder_->entryNames.push_back(entry.url().filename().string());
    }
    row->folder_->children.resize(row->folder_->entryNames.size());
    row->folder_->usage = std::move(usage);
  }
  return row;
}

files::FileIcon PathListItem::icon() const {
  std::call_once(iconFound_, [this] {
    iconName_ = std::make_shared<const std::string>(files::TypeDescriber::current()->icon(url_).themeName);
  });
  return files::FileIcon{*iconName_, url_};
}

std::string PathListItem::fullPath() const { return *location_; }

files::Path PathListItem::source() const { return files::Path(fileSystem_, url_); }

std::shared_ptr<PathListItem> PathListItem::builtChild(int64_t index) const {
  if (index < 0 || index >= childCount()) return nullptr;
  return folder_->children[static_cast<std::size_t>(index)];
}

std::shared_ptr<PathListItem> PathListItem::child(int64_t index) {
  if (index < 0 || index >= childCount()) return nullptr;
  auto& slot = folder_->children[static_cast<std::size_t>(index)];
  if (slot) return slot;

  const files::Path entry(fileSystem_, std::filesystem::path(url_) / folder_->entryNames[static_cast<std::size_t>(index)]);
  const auto start = std::chrono::steady_clock::now();
  slot = make(entry, folder_->usage, &folder_->texts);
  const auto elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
  slot->setParent(this, static_cast<int>(index));
  LOG_DEBUG("Converting path to list item completed. path=[" << entry.description() << "] time=["
                                                             << elapsed.count() << "ms]");
  return slot;
}

std::vector<files::Path> PathListItem::entryPaths() const {
  std::vector<files::Path> paths;
  if (!folder_) return paths;
  paths.reserve(folder_->entryNames.size());
  const std::filesystem::path folder(url_);
  for (const auto& name : folder_->entryNames) paths.emplace_back(fileSystem_, folder / name);
  return paths;
}

void PathListItem::adoptChildren(std::vector<std::shared_ptr<PathListItem>> rows) {
  ML_ASSERT_MAIN_THREAD();
  for (auto& row : rows) {
    if (shownChildCount() >= childCount()) return;
    auto& slot = folder_->children[static_cast<std::size_t>(folder_->shownChildren)];
    if (!slot && row) {
      slot = std::move(row);
      slot->setParent(this, static_cast<int>(folder_->shownChildren));
    }
    ++folder_->shownChildren;
  }
}

}  // namespace ml::list
