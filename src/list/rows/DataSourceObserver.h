#pragma once
// Told about every change of a data source's top-level rows, around the change, so a view model
// can keep its indexes right: inserts and removals come as contiguous runs, reorderings (sorting,
// rows replaced in place) as one reordering. Main thread, like the changes themselves.
#include <unordered_map>

namespace ml::list {

class PathListItem;

class DataSourceObserver {
 public:
  virtual ~DataSourceObserver() = default;

  // Rows [first, last] are about to be inserted at the top level / have been.
  virtual void willInsertRows(int first, int last) = 0;
  virtual void didInsertRows() = 0;
  // Top-level rows [first, last] are about to be removed (with everything below them) / have been.
  virtual void willRemoveRows(int first, int last) = 0;
  virtual void didRemoveRows() = 0;
  // The top-level rows are about to be reordered, some possibly replaced by new rows.
  virtual void willReorderRows() = 0;
  // Done: `replaced` maps each row that left to the row now standing in its place, or to null
  // for a row that left the list without a successor (the rows below a row that left are gone).
  // The old rows are still alive during this call.
  virtual void didReorderRows(const std::unordered_map<const PathListItem*, PathListItem*>& replaced) = 0;
};

}  // namespace ml::list
