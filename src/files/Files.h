#pragma once
// Whole-item questions asked through a path's own file system. Stateless; any thread; blocking.
#include <optional>
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
  // Files and folders below a folder; nullopt for a missing item or a non-folder. Links are
  // counted as files and never followed; a folder met again below itself is not walked again.
  // With recursing false, sub-folders are counted neither as files nor as folders.
  static std::optional<ContentCounts> countContents(const Path& path, bool recursing);
};

}  // namespace ml::files
