#include "find/ResultDelivery.h"

#include <memory>

#include "find/FreedMemory.h"
#include "find/SearchQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"
#include "shell/GlobalCommands.h"
#include "shell/GlobalState.h"

namespace ml::find {
namespace {

using Commands = shell::GlobalCommands<shell::GlobalState>;

// The frontmost open list window (of any list window type), or null. Main thread only: the
// window order and the controllers' windows belong to it.
std::shared_ptr<shell::ListWindowController> frontListWindow(const shell::WindowContext& context) {
  ML_ASSERT_MAIN_THREAD();
  static const std::function<std::vector<const void*>()> none;
  const auto& order = context.services ? context.services->windowsFrontToBack : none;
  shell::GlobalState state = context.global->state();
  std::shared_ptr<shell::ListWindowController> fallback;
  for (const auto& controller : state.activeWindows) {
    if (auto list = std::dynamic_pointer_cast<shell::ListWindowController>(controller)) {
      if (!fallback) fallback = list;
      if (!order) break;
    }
  }
  if (!order) return fallback;
  for (const void* window : order()) {
    if (!window) continue;
    for (const auto& controller : state.activeWindows) {
      if (controller->windowIdentity() != window) continue;
      if (auto list = std::dynamic_pointer_cast<shell::ListWindowController>(controller)) return list;
    }
  }
  return fallback;  // open but not in the window order (not shown yet)
}

// A new list window from the shell's factory, or null when there is none to make one.
std::shared_ptr<shell::ListWindowController> newListWindow(const shell::WindowContext& context) {
  ML_ASSERT_MAIN_THREAD();
  if (!context.services || !context.services->windows.list) return nullptr;
  LOG_VERBOSE("creating list window for search results");
  return context.services->windows.list();
}

// Hands `results` to `list` piece by piece from the search queue (see the header).
void handOverInPieces(const std::shared_ptr<shell::ListWindowController>& list, FoundPaths results) {
  searchQueue().add([list = std::weak_ptr<shell::ListWindowController>(list),
                     results = std::move(results)](const dispatch::Operation& operation) mutable {
    for (std::size_t from = 0; from < results.size(); from += kResultsPerPiece) {
      if (operation.isCancelled()) break;
      auto shown = list.lock();
      if (!shown) break;  // closed
      shown->addItems(results.slice(from, from + kResultsPerPiece));
    }
    // Handed over (or no longer wanted): the search's own copy goes, unless the state still has it.
    results = FoundPaths();
    releaseFreedMemorySoon();
  });
}

}  // namespace

void deliverResults(const shell::WindowContext& context, ResultAction action, FoundPaths results) {
  auto* global = context.global;
  if (!global) {
    LOG_ERROR("search results delivered without an application delegate; dropped. count=" << results.size());
    return;
  }
  dispatch::Queue* main =
      context.services && context.services->main ? context.services->main : &dispatch::MainQueue::shared();
  const bool many = results.size() > kResultsPerPiece;
  switch (action) {
    case ResultAction::newList:
      if (many) {
        main->async([context, results]() {
          auto list = newListWindow(context);
          if (!list) {
            context.global->fire(Commands::list(results.all()));
            return;
          }
          list->show();
          handOverInPieces(list, results);
        });
        return;
      }
      global->fire(Commands::list(results.all()));
      return;
    case ResultAction::infoWindow:
      global->fire(Commands::fileInfo(results.all()));
      return;
    case ResultAction::addToFrontList: {
      // Which list is in front is the main thread's to say (this runs on a store's queue), so the
      // whole choice is made there, against the windows as they are at that moment.
      main->async([context, results, many]() {
        auto list = frontListWindow(context);
        if (!list) {
          LOG_INFO("no list window is open to add search results to; opening a new list");
          if (many && (list = newListWindow(context))) {
            list->show();
          } else {
            context.global->fire(Commands::list(results.all()));
            return;
          }
        }
        if (many) {
          handOverInPieces(list, results);
        } else {
          list->addItems(results.all());
        }
      });
      return;
    }
  }
}

}  // namespace ml::find
