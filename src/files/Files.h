#pragma once
// Whole-item questions asked through a path's own file system. Stateless; any thread; blocking.
#include <optional>
#include <stop_token>
#include <string>
#include <tuple>

#include "files/Date.h"
#include "files/FileSize.h"
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

// A folder's total size and what it holds, from one walk, so the two describe the same items.
struct FolderSummary {
  FileSize size;  // both forks of every regular file below it; allocated as du counts it
  ContentCounts counts;
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
  // is requested before the count is done. Everything that is no folder counts as a file. Links
  // below the folder are items of their own and are not followed (a link to "/" is one file);
  // a link at the path itself is. Each folder (by device and inode) is listed at most once: one
  // met again through a mount is counted as a folder but not entered. A folder that cannot be
  // listed adds nothing beyond its own count; the walk names such folders in one log line at its
  // end. With recursing false, sub-folders are counted neither as files nor as folders.
  static std::optional<ContentCounts> countContents(const Path& path, bool recursing, std::stop_token stop = {});
  // The total size and the counts of countContents() from one walk by the same rules; nullopt as
  // there.
  static std::optional<FolderSummary> summarize(const Path& path, std::stop_token stop = {});
};

}  // namespace ml::files
