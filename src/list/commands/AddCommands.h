#pragma once
// Adding rows through the application's several-items open panel. The panel is modeless; when
// the user confirms, the chosen items (SelectItemsToAdd) or the entries of the chosen folders
// (SelectContainersToAdd) are added as one ItemsAddedEvent, from the panel's background thread.
// A cancelled panel adds nothing; a window closed meanwhile gets nothing.
#include "list/commands/ListCommand.h"

namespace ml::list {

// Files and folders, added as they were chosen.
class SelectItemsToAdd final : public ListCommand {
 public:
  void execute(const ListWindowState& state, ListStore& core) override;
};

// Folders only; each chosen folder's entries are added (hidden ones too, one level deep), the
// folders themselves are not. A folder that cannot be listed adds nothing.
class SelectContainersToAdd final : public ListCommand {
 public:
  void execute(const ListWindowState& state, ListStore& core) override;
};

}  // namespace ml::list
