#pragma once
// The events of a list window's store. Any part of the application lists paths in a window by
// firing ItemsAddedEvent on that window's store.
#include <memory>
#include <vector>

#include "files/Path.h"
#include "list/rows/PathPack.h"
#include "platform/store/Event.h"
#include "shell/core/PathList.h"

namespace ml::list {

class OutlineView;

// The window has loaded: from now on the state reads its selection from `outlineView`.
struct ListWindowLoadedEvent : store::Event {
  explicit ListWindowLoadedEvent(std::shared_ptr<OutlineView> view) : outlineView(std::move(view)) {}
  std::shared_ptr<OutlineView> outlineView;
};

// Rows for these paths go after the existing ones, in this order (a path already listed gets a
// second row). The paths travel packed: a list of many is copied and held at a fraction of the
// cost. `handedOver` marks paths counted by ListStoreReference::handOver(), which the store
// gives back as it takes them up.
struct ItemsAddedEvent : store::Event {
  explicit ItemsAddedEvent(const std::vector<files::Path>& i) : items(i) {}
  explicit ItemsAddedEvent(PathPack i, bool counted = false) : items(std::move(i)), handedOver(counted) {}
  PathPack items;
  bool handedOver = false;
};

// The top-level rows showing these paths leave the list; the items themselves stay where they are.
struct ItemsRemovedEvent : store::Event {
  ItemsRemovedEvent(std::vector<files::Path> i, bool trash) : items(std::move(i)), moveToTrash(trash) {}
  std::vector<files::Path> items;
  bool moveToTrash = false;  // informational: the rows go either way
};

// Items of this list got new names (old path to new path); `wasSuccessful` is false when some
// of the items asked for could not be renamed.
struct ItemsRenamed : store::Event {
  ItemsRenamed(shell::PathMapping c, bool successful) : changes(std::move(c)), wasSuccessful(successful) {}
  shell::PathMapping changes;
  bool wasSuccessful = true;
};

// The outline's selection changed to these paths.
struct ListWindowSelectionChangedEvent : store::Event {
  explicit ListWindowSelectionChangedEvent(std::vector<files::Path> i) : items(std::move(i)) {}
  std::vector<files::Path> items;
};

// Attributes of listed items changed on disk; the window redraws.
struct LoadedDataInvalidated : store::Event {};

}  // namespace ml::list
