#pragma once
// The items of a tree view's selected rows, as an outline view gives them: one index (column 0)
// per selected row, in the order the rows are shown, top to bottom. Rows hidden inside a
// collapsed folder are not shown and so not counted, even if the selection model still holds
// them. Main thread (it reads the view).
#include <QModelIndex>
#include <vector>

class QTreeView;

namespace ml::list {

std::vector<QModelIndex> selectedItems(const QTreeView& view);

// Whether `a` is shown above `b` in a tree (depth-first order of the model), for valid indexes
// of one model.
bool isShownBefore(const QModelIndex& a, const QModelIndex& b);

}  // namespace ml::list
