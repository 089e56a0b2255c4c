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
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/Date.h"
#include "files/FileIcon.h"
#include "files/Path.h"
#include "list/rows/SharedTexts.h"
#include "shell/core/Telemetry.h"

namespace ml::list {

// A list may hold hundreds of thousands of rows, so a row keeps its item's location once, as
// plain text, and derives the rest from it (its name, its folder, the path the outline hands out);
// texts many rows share (the volume's name and folder) are shared, and only a folder pays
// for a folder's parts. A file's row costs about 300 bytes with its location.
class PathListItem : public std::enable_shared_from_this<PathListItem> {
  struct Made {};

 public:
  // Reads the item's attributes, icon and, for a folder, its entries. Blocking; any thread.
  // Unreadable dates are logged and reported to `usage` (when given) as the usage event "Failed
  // to read dates"; the row's children report to the same sink. Rows built together pass the
  // same `texts`, so that they share the texts they have in common.
  static std::shared_ptr<PathListItem> make(const files::Path& path,
                                            std::shared_ptr<shell::UsageEvents> usage = nullptr,
                                            SharedTexts* texts = nullptr);
  static std::shared_ptr<PathListItem> make(const std::optional<files::Path>& path) {
    return path ? make(*path) : nullptr;
  }

  // Only through make().
  PathListItem(Made, const files::Path& source);
  PathListItem(const PathListItem&) = delete;
  PathListItem& operator=(const PathListItem&) = delete;

  // A directory (packages included).
  bool isExpandable() const { return isExpandable_; }
  // The icon is looked up when first asked for (any thread), not when the row is built: finding
  // an item's type goes through the toolkit's type database, which serves one caller at a time
  // and may read the item's first bytes, so rows built by several threads would queue there,
  // while the outline asks only for the rows it draws.
  files::FileIcon icon() const;
  // The last component of the item's location.
  std::string_view name() const { return std::string_view(url_).substr(nameStart_, nameLength_); }
  std::optional<files::Date> creationDate() const { return dateOrNone(creationDate_); }
  std::optional<files::Date> lastModifiedDate() const { return dateOrNone(lastModifiedDate_); }
  // Bytes of both forks; -1 for a directory or when the size cannot be read.
  int64_t byteCount() const { return byteCount_; }
  // The volume's name directly followed by the parent folder's path ("Disk/Library/Fonts").
  std::string fullPath() const;
  // The number of entries of a directory when the row was built; 0 otherwise.
  int64_t childCount() const { return folder_ ? static_cast<int64_t>(folder_->entryNames.size()) : 0; }
  // The item itself, on the file system it was listed from.
  files::Path source() const;
  // The item's location as text (the source's description).
  const std::string& location() const { return url_; }
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
  // Where this row's children report unreadable items; may be null.
  std::shared_ptr<shell::UsageEvents> usageEvents() const { return folder_ ? folder_->usage : nullptr; }

  // The locations of the folder's entries, in listing order (one per child slot).
  std::vector<files::Path> entryPaths() const;
  // Children handed to the outline so far: the first shownChildCount() slots. Main thread.
  int64_t shownChildCount() const { return folder_ ? folder_->shownChildren : 0; }
  // Fills the next slots with rows built elsewhere, in order; a slot that was built meanwhile
  // keeps its row. Main thread.
  void adoptChildren(std::vector<std::shared_ptr<PathListItem>> rows);

 private:
  // What only a folder's row has.
  struct Folder {
    std::vector<std::string> entryNames;
    std::vector<std::shared_ptr<PathListItem>> children;  // one slot per entry, empty until built
    int64_t shownChildren = 0;
    std::shared_ptr<shell::UsageEvents> usage;
    SharedTexts texts;  // shared by the children
  };
  // An absent date, kept in the date's own width.
  static constexpr files::Date::rep kNoDate = std::numeric_limits<files::Date::rep>::min();
  static files::Date::rep dateValue(const std::optional<files::Date>& date) {
    return date ? date->time_since_epoch().count() : kNoDate;
  }
  static std::optional<files::Date> dateOrNone(files::Date::rep value) {
    if (value == kNoDate) return std::nullopt;
    return files::Date(files::Date::duration(value));
  }

  // How the row becomes a child: its parent and its position there.
  void setParent(PathListItem* parent, int index) {
    parent_ = parent;
    indexInParent_ = index;
  }

  std::shared_ptr<const files::FileSystem> fileSystem_;
  std::string url_;
  SharedTexts::Text location_;  // the location column: volume name and folder on the volume
  mutable SharedTexts::Text iconName_;  // set once, under iconFound_
  mutable std::once_flag iconFound_;
  files::Date::rep creationDate_ = kNoDate;
  files::Date::rep lastModifiedDate_ = kNoDate;
  int64_t byteCount_ = -1;
  std::unique_ptr<Folder> folder_;
  PathListItem* parent_ = nullptr;
  int indexInParent_ = 0;
  uint32_t nameStart_ = 0;
  uint32_t nameLength_ = 0;
  bool isExpandable_ = false;
  bool isGone_ = false;
};

}  // namespace ml::list
