#include "find/ResultDelivery.h"

#include <memory>

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

}  // namespace

void deliverResults(const shell::WindowContext& context, ResultAction action, std::vector<files::Path> results) {
  auto* global = context.global;
  if (!global) {
    LOG_ERROR("search results delivered without an application delegate; dropped. count=" << results.size());
    return;
  }
  switch (action) {
    case ResultAction::newList:
      global->fire(Commands::list(std::move(results)));
      return;
    case ResultAction::infoWindow:
      global->fire(Commands::fileInfo(std::move(results)));
      return;
    case ResultAction::addToFrontList: {
      // Which list is in front is the main thread's to say (this runs on a store's queue), so the
      // whole choice is made there, against the windows as they are at that moment.
      dispatch::Queue* main =
          context.services && context.services->main ? context.services->main : &dispatch::MainQueue::shared();
      main->async([context, results = std::move(results)]() mutable {
        if (auto list = frontListWindow(context)) {
          list->addItems(results);
          return;
        }
        LOG_INFO("no list window is open to add search results to; opening a new list");
        context.global->fire(Commands::list(std::move(results)));
      });
      return;
    }
  }
}

}  // namespace ml::find
