#pragma once
// What a list window's state and commands need of the outline view that shows the rows: the
// rows of its selection, clearing the selection, and an alert shown on its window. The Qt tree
// view implements it; tests use a fake. Main thread for every call.
#include <memory>
#include <vector>

#include "appkit/values/Alert.h"

namespace ml::list {

class PathListItem;

class OutlineView {
 public:
  virtual ~OutlineView() = default;

  // The rows of the selected rows, in the order they are shown (rows inside expanded folders
  // included); empty when nothing is selected or the view is gone.
  virtual std::vector<std::shared_ptr<PathListItem>> selectedItems() const = 0;
  virtual void deselectAll() = 0;
  // Shows `alert` as a sheet on the view's window and returns without waiting for the answer.
  virtual void beginSheet(const appkit::Alert& alert) = 0;
};

}  // namespace ml::list
