#pragma once
// The per-item decisions of a search: whether a found entry is reported, and whether the walk
// goes into a folder. Immutable once built; the walker threads share one.
//
// An item is hidden when its name begins with "." or its Finder flags say invisible. A package
// is a folder whose name ends in ".app" or whose Finder flags say it has a bundle. Finder flags
// are read only when a criterion needs them (needsFinderInfo); otherwise callers pass 0.
#include <cstdint>
#include <string_view>

#include "find/search/SearchDescriptor.h"

namespace ml::find {

struct FoundEntry {
  std::string_view name;
  bool isDirectory = false;
  bool isSymlink = false;
  uint16_t finderFlags = 0;
};

class ItemFilter {
 public:
  explicit ItemFilter(SearchDescriptor criteria) : criteria_(std::move(criteria)) {}

  const SearchDescriptor& criteria() const { return criteria_; }
  bool needsFinderInfo() const { return criteria_.needsFinderInfo(); }
  // Folders need their flags read to decide descending when package contents are skipped.
  bool needsFolderFinderInfo() const { return needsFinderInfo() || !criteria_.includePackageContents; }

  bool accepts(const FoundEntry& entry) const;
  bool descendsInto(const FoundEntry& entry) const;

  static bool isHidden(const FoundEntry& entry);
  static bool isPackage(const FoundEntry& entry);
  // The text after the name's last full stop; empty when there is none or the only one leads.
  static std::string_view pathExtension(std::string_view name);

 private:
  SearchDescriptor criteria_;
};

}  // namespace ml::find
