#include "list/window/OutlineSelection.h"

#include <QItemSelectionModel>
#include <QTreeView>
#include <algorithm>

#include "platform/dispatch/QueueAssert.h"

namespace ml::list {

namespace {

// Row numbers from the top level down to `index`.
std::vector<int> rowPath(QModelIndex index) {
  std::vector<int> rows;
  for (; index.isValid(); index = index.parent()) rows.push_back(index.row());
  std::reverse(rows.begin(), rows.end());
  return rows;
}

bool isVisible(const QTreeView& view, const QModelIndex& index) {
  for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) {
    if (!view.isExpanded(parent)) return false;
  }
  return true;
}

}  // namespace

bool isShownBefore(const QModelIndex& a, const QModelIndex& b) { return rowPath(a) < rowPath(b); }

std::vector<QModelIndex> selectedItems(const QTreeView& view) {
  ML_ASSERT_MAIN_THREAD();
  std::vector<QModelIndex> rows;
  const QItemSelectionModel* selection = view.selectionModel();
  if (!selection || !selection->model()) return rows;
  // From the selection's ranges rather than selectedRows(), which tests every row against every
  // range: a selection of thousands of separate rows must stay cheap. Rows are whole (the view
  // selects rows), and a row in two ranges counts once.
  std::vector<std::pair<std::vector<int>, QModelIndex>> keyed;
  for (const QItemSelectionRange& range : selection->selection()) {
    if (!range.isValid()) continue;
    for (int row = range.top(); row <= range.bottom(); ++row) {
      QModelIndex index = selection->model()->index(row, 0, range.parent());
      if (index.isValid() && isVisible(view, index)) keyed.emplace_back(rowPath(index), index);
    }
  }
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  keyed.erase(std::unique(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
              keyed.end());
  rows.reserve(keyed.size());
  for (auto& [path, index] : keyed) rows.push_back(index);
  return rows;
}

}  // namespace ml::list
