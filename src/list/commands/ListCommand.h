#pragma once
// The list window's own commands, fired on its store. Each runs on the store's queue with the
// current state, reads the selection live (state.selectedItems()) and fires its results on the
// same store, so a rename made here shows in this list only. Move to Trash is the exception: it
// runs the application's trash command, which every window follows.
#include <memory>

#include "list/state/ListWindowState.h"
#include "platform/store/Command.h"
#include "platform/store/Core.h"

namespace ml::list {

using ListCommand = store::Command<ListWindowState>;

// Fires `event` on the state's store if it still exists (for work that ends after waiting).
template <class E>
void fireLater(const std::weak_ptr<ListStore>& store, E event) {
  if (auto core = store.lock()) core->fire(std::move(event));
}

}  // namespace ml::list
