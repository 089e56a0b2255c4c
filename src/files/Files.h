#pragma once
// Whole-item questions asked through a path's own file system. Stateless; any thread; blocking.
#include <optional>
#include <stop_token>
#include <string>
#include <tuple>

#include "files/Date.h"
#include "files/FileType.h"
#include "files/Path.h"
#include "platform/foundation/Result.h"

namespace ml::files {

struct ItemDates {
  std::optional<Date> creation;
  Date modification;
  Date access;
};

struct ContentCounts {
  int files = 0;
  int folders = 0;
  friend bool operator==(const ContentCounts&, const ContentCounts&) = default;
};

class Files {
 public:
  Files() = delete;

  static std::optional<ItemDates> dates(const Path& path);
  // The Finder comment, read as the Finder view reads it.
  static std::optional<std::string> comment(const Path& path);
  // Stores (or with nullopt removes) the comment; removing a missing one fails with ENODATA.
  static foundation::Status setComment(const Path& path, const std::optional<std::string>& comment);
  // alias, package, symlink, directory, normal: the first that holds. A vanished item is normal.
  static FileType type(const Path& path);
  // Files and folders below a folder; nullopt for a missing item or a non-folder, and when `stop`
  // is requested before the count is done (checked at every entry). A symbolic link to a folder
  // counts as a folder and is followed; a link to anything else, a broken one included, counts
  // as a file. Each folder (by device and inode) is listed at most once: one met again, through
  // a link or a mount, is counted as a folder but not entered, so a link to an enclosing folder
  // or to "/" ends. With recursing false, sub-folders are counted neither as files nor as
  // folders.
  static std::optional<ContentCounts> countContents(const Path& path, bool recursing, std::stop_token stop = {});
};

}  // namespace ml::files
