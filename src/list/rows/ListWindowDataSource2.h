#pragma once
// The rows of one list window: its top-level rows in display order, and the answers the outline
// asks for (children, expandability, column values, sorting). Every copy of the window's state
// refers to the same data source, so commands that wait see the current rows.
//
// Thread affinity: main thread for everything, so the outline's reads never race the list's
// changes. The window's reducer builds rows on its own queue and hands them over here through
// the main queue.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "files/Path.h"
#include "list/rows/ColumnValue.h"
#include "list/rows/DataSourceObserver.h"
#include "list/rows/PathListItem.h"
#include "list/rows/SortDescriptor.h"

namespace ml::list {

class ListWindowDataSource2 {
 public:
  ListWindowDataSource2() = default;
  // A list of many rows hands the memory they held back to the system as it goes.
  ~ListWindowDataSource2();
  ListWindowDataSource2(const ListWindowDataSource2&) = delete;
  ListWindowDataSource2& operator=(const ListWindowDataSource2&) = delete;

  using Row = std::shared_ptr<PathListItem>;
  // For each old location (as text, PathListItem::location()), the new rows to stand in for its
  // rows, in row order.
  using Replacements = std::unordered_map<std::string, std::deque<Row>>;

  const std::vector<Row>& items() const { return items_; }
  // The locations of the top-level rows, in order.
  std::vector<files::Path> sources() const;
  // The position of a top-level row, or -1 when `row` is not one.
  int rowOf(const PathListItem* row) const;

  // Told about every change from now on; null stops it. Not owned: clear it before it goes.
  void setObserver(DataSourceObserver* observer) { observer_ = observer; }

  // Appends the rows after the existing ones, unsorted.
  void append(std::vector<Row> rows);
  // Drops the top-level rows showing any of `paths` (by location), keeping the order of the
  // rest; rows inside folders are not looked at. Returns how many went. Many rows gone hand
  // their memory back to the system. Linear in the rows and paths: the observer hears of each
  // contiguous run removed, or, when the rows went in many scattered runs (a sorted list losing a
  // selection of thousands), of one reordering in which the rows that went map to null, since a
  // view pays for every run it is told of.
  std::size_t remove(const std::vector<files::Path>& paths);
  // Drops every row (a closed list lets go of them at once; many are freed on the global pool).
  // Returns how many went.
  std::size_t clear();
  // Replaces, in place, each top-level row whose location has rows waiting in `replacements`
  // (the first waiting row for the first such row, and so on). Returns how many were replaced.
  // Linear in the rows.
  std::size_t replace(Replacements replacements);

  // The outline's questions; `item` null is the outline's root.
  int64_t numberOfChildren(const PathListItem* item) const;
  bool isExpandable(const PathListItem* item) const;
  // Builds a folder's child row on first request; null for an index out of range.
  Row child(int64_t index, PathListItem* item);
  ColumnValue objectValue(std::string_view column, const PathListItem* item) const;

  // Sorts the top-level rows by `descriptors` (stable: rows they find equal keep their order).
  // Children keep their listing's order. Rows added later are appended unsorted.
  void sortDescriptorsDidChange(const std::vector<SortDescriptor>& descriptors);
  const std::vector<SortDescriptor>& sortDescriptors() const { return sortDescriptors_; }

 private:
  // Forgets the positions (rebuilt on the next rowOf), and the rows they name.
  void positionsChanged() {
    positionsValid_ = false;
    positions_.clear();
  }

  std::vector<Row> items_;
  std::vector<SortDescriptor> sortDescriptors_;
  DataSourceObserver* observer_ = nullptr;
  mutable std::unordered_map<const PathListItem*, int> positions_;
  mutable bool positionsValid_ = false;
};

}  // namespace ml::list
