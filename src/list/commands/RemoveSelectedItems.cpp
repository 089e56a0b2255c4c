#include "list/commands/RemoveSelectedItems.h"

#include "list/state/ListEvents.h"
#include "shell/GlobalCommands.h"

namespace ml::list {

void RemoveSelectedItems::execute(const ListWindowState& state, ListStore& core) {
  if (trash_) {
    // Run here rather than fired: the selection is read now, as for a removal, not after
    // whatever the store has queued meanwhile.
    shell::GlobalCommands<ListWindowState>::trash()->execute(state, core);
    return;
  }
  core.fire(ItemsRemovedEvent(state.selectedItems(), false));
}

}  // namespace ml::list
