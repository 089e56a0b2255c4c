#pragma once
// The outline view of a list window's state, over the window's Qt tree view. Holds the widgets
// weakly: once the window is gone it reports no selection and shows nothing. Every call on the
// main thread; the object itself may be released on any thread.
//
// The context-menu key and Shift+F10 on the view ask for its context menu at the current row
// (customContextMenuRequested, in viewport coordinates, as a right click there would).
#include <QPointer>
#include <QTreeView>

#include "list/state/OutlineView.h"
#include "list/window/ListOutlineModel.h"

namespace ml::list {

class TreeOutlineView final : public OutlineView {
 public:
  TreeOutlineView(QTreeView* view, ListOutlineModel* model);

  std::vector<std::shared_ptr<PathListItem>> selectedItems() const override;
  void deselectAll() override;
  // A window-modal message box on the view's window; its answer is not waited for.
  void beginSheet(const appkit::Alert& alert) override;

 private:
  QPointer<QTreeView> view_;
  QPointer<ListOutlineModel> model_;
};

}  // namespace ml::list
