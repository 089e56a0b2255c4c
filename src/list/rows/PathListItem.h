#pragma once
// One row of a list window: what the row shows about one item, read once when the row is built.
// A row never refreshes itself; a changed item shows new values only when the list replaces its
// row.
//
// A folder's row knows the names of the folder's entries at the moment it was built; its child
// rows are built from those names (one on request, or all of them in the background when the
// outline expands the folder) and then kept for the row's life. So a folder always shows
// exactly as many children as it announced, whatever happened on disk since (an entry that
// vanished shows as a row whose item is gone).
//
// A row built for an item that does not exist (a search result or an entry deleted before its
// row was built) says so: isGone() is true and the location column reads kGoneText rather than
// a made-up place.
//
// Ownership: a parent row owns its children; `parent()` is a plain back pointer, valid while the
// child exists. Rows are built on any thread; once a row is handed to a data source, its
// children are only touched on the main thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/Date.h"
#include "files/FileIcon.h"
#include "files/Path.h"
#include "shell/core/Telemetry.h"

namespace ml::list {

class PathListItem : public std::enable_shared_from_this<PathListItem> {
 public:
  // Reads the item's attributes, icon and, for a folder, its entries. Blocking; any thread.
  // Unreadable dates are logged and reported to `usage` (when given) as the usage event "Failed
  // to read dates"; the row's children report to the same sink.
  static std::shared_ptr<PathListItem> make(const files::Path& path,
                                            std::shared_ptr<shell::UsageEvents> usage = nullptr);
  static std::shared_ptr<PathListItem> make(const std::optional<files::Path>& path) {
    return path ? make(*path) : nullptr;
  }

  PathListItem(const PathListItem&) = delete;
  PathListItem& operator=(const PathListItem&) = delete;

  // A directory (packages included).
  bool isExpandable() const { return isExpandable_; }
  const files::FileIcon& icon() const { return icon_; }
  // The last component of the item's location.
  const std::string& name() const { return name_; }
  const std::optional<files::Date>& creationDate() const { return creationDate_; }
  const std::optional<files::Date>& lastModifiedDate() const { return lastModifiedDate_; }
  // Bytes of both forks; -1 for a directory or when the size cannot be read.
  int64_t byteCount() const { return byteCount_; }
  // The volume's name directly followed by the parent folder's path ("Disk/Library/Fonts").
  const std::string& fullPath() const { return fullPath_; }
  // The number of entries of a directory when the row was built; 0 otherwise.
  int64_t childCount() const { return static_cast<int64_t>(entryNames_.size()); }
  const files::Path& source() const { return source_; }
  // The item did not exist when the row was built.
  bool isGone() const { return isGone_; }

  // The row that holds this one as a child; null for a top-level row.
  PathListItem* parent() const { return parent_; }
  // This row's position among its parent's children (meaningless for a top-level row).
  int indexInParent() const { return indexInParent_; }

  // The child row at `index`, built on first request and kept; null when `index` is out of
  // range. Main thread once the row is shown. Logs each build and its time at debug level.
  std::shared_ptr<PathListItem> child(int64_t index);

  // The child at `index` if it was built already, else null. Never builds.
  std::shared_ptr<PathListItem> builtChild(int64_t index) const;
  // Where this row and its children report unreadable items; may be null.
  const std::shared_ptr<shell::UsageEvents>& usageEvents() const { return usage_; }

  // The locations of the folder's entries, in listing order (one per child slot).
  std::vector<files::Path> entryPaths() const;
  // Children handed to the outline so far: the first shownChildCount() slots. Main thread.
  int64_t shownChildCount() const { return shownChildren_; }
  // Fills the next slots with rows built elsewhere, in order; a slot that was built meanwhile
  // keeps its row. Main thread.
  void adoptChildren(std::vector<std::shared_ptr<PathListItem>> rows);

 private:
  explicit PathListItem(files::Path source) : source_(std::move(source)) {}
  // How the row becomes a child: its parent and its position there.
  void setParent(PathListItem* parent, int index) {
    parent_ = parent;
    indexInParent_ = index;
  }

  bool isExpandable_ = false;
  bool isGone_ = false;
  files::FileIcon icon_;
  std::string name_;
  std::optional<files::Date> creationDate_;
  std::optional<files::Date> lastModifiedDate_;
  int64_t byteCount_ = -1;
  std::string fullPath_;
  files::Path source_;
  std::vector<std::string> entryNames_;
  std::vector<std::shared_ptr<PathListItem>> children_;  // one slot per entry, empty until built
  int64_t shownChildren_ = 0;
  PathListItem* parent_ = nullptr;
  int indexInParent_ = 0;
  std::shared_ptr<shell::UsageEvents> usage_;
};

}  // namespace ml::list
