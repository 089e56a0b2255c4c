#pragma once
// How the top-level rows of a list are ordered: a list of descriptors, the first deciding unless
// it finds two rows equal, then the next. Each names a row property (the keys the window's columns
// sort by) and a direction.
//
// Texts (names, locations) compare as the user's locale sorts them, letter case second and digit
// runs as numbers ("a-fifo" before "README.md", "file 2" before "file 10"); a process locale that
// names no language (C, POSIX) sorts by the root collation, never by code point; absent dates come before every date; `isExpandable` puts
// files before folders ascending.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ml::list {

class PathListItem;

enum class SortKey { isExpandable, name, creationDate, lastModifiedDate, byteCount, fullPath, childCount };

struct SortDescriptor {
  SortKey key = SortKey::name;
  bool ascending = true;
  friend bool operator==(const SortDescriptor&, const SortDescriptor&) = default;
};

// The key a column sorts by ("name", "creationDate", "byteCount", ...), or nothing for a key
// that is not sortable (the icon) or unknown.
std::optional<SortKey> sortKeyNamed(std::string_view key);

// The descriptors after the user asked to sort by `primary`: it comes first, and the earlier
// descriptors follow in their order, without the one for the same key.
std::vector<SortDescriptor> withPrimary(const std::vector<SortDescriptor>& current, SortDescriptor primary);

// Orders rows by a list of descriptors. Holds a collator for the user's locale at construction;
// one comparator serves one sort, on one thread.
class RowOrdering {
 public:
  explicit RowOrdering(std::vector<SortDescriptor> descriptors);
  ~RowOrdering();
  RowOrdering(const RowOrdering&) = delete;
  RowOrdering& operator=(const RowOrdering&) = delete;

  // Whether `a` comes before `b`: false when every descriptor finds them equal (or there is none).
  bool before(const PathListItem& a, const PathListItem& b) const;

 private:
  // <0, 0, >0 as `a` sorts before, with or after `b` under one key, ascending.
  int compare(SortKey key, const PathListItem& a, const PathListItem& b) const;
  int compareTexts(std::string_view a, std::string_view b) const;
  // A row's location text, made once per row for the whole sort.
  const std::string& locationOf(const PathListItem& row) const;

  std::vector<SortDescriptor> descriptors_;
  struct Collation;
  std::unique_ptr<Collation> collation_;
  mutable std::unordered_map<const PathListItem*, std::string> locations_;
};

}  // namespace ml::list
