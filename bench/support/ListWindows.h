#pragma once
// The list windows a window benchmark opened through the global store: the one open, and closing
// them all as a user would, waiting for each to go.
#include <chrono>
#include <memory>

#include "list/window/ListMainWindow.h"
#include "list/window/ListWindow.h"
#include "platform/store/Core.h"
#include "shell/GlobalState.h"
#include "support/MainLoop.h"

namespace ml::bench {

inline std::shared_ptr<list::ListWindow> openList(const store::Core<shell::GlobalState>& global) {
  for (const auto& controller : global.state().activeWindows) {
    if (auto list = std::dynamic_pointer_cast<list::ListWindow>(controller)) return list;
  }
  return nullptr;
}

// Closes every open list, then serves the loop for `settleTime` so that their freeing is done.
inline void closeLists(const store::Core<shell::GlobalState>& global,
                       std::chrono::milliseconds settleTime = std::chrono::milliseconds(500)) {
  while (auto list = openList(global)) {
    list->window()->close();
    list.reset();
    pumpUntil([&] { return !openList(global); });
  }
  settle(settleTime);
}

}  // namespace ml::bench
