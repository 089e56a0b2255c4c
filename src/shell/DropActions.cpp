#include "shell/DropActions.h"

#include "appkit/HeldKeys.h"
#include "platform/logging/Log.h"
#include "shell/DropKeyBindings.h"
#include "shell/GlobalCommands.h"

namespace ml::shell {

namespace {

// Keys held at a launch or a drop (those that chose the action among them) are likely still down
// as the action's window opens, and would repeat into its fields: they choose, never type.
void keepHeldKeysFromTyping() {
  if (auto held = appkit::readKeymap()) appkit::swallowUntilReleased(*held);
}

}  // namespace

DropAction chooseDropAction(const DropKeys& held, const foundation::Preferences& preferences) {
  if (auto data = preferences.data("dropkeys")) {
    auto bindings = decodeDropKeyBindings(*data);
    if (!bindings) {
      LOG_WARNING("ignoring unreadable drop-key bindings. error=" << bindings.error());
    } else if (auto action = boundAction(*bindings, held)) {
      LOG_DEBUG("drop action modifier keys: " << held);
      return *action;
    }
  }
  if (auto action = defaultAction(held)) {
    LOG_DEBUG("found default drop key setting: " << *action);
    return *action;
  }
  LOG_INFO("no alternate action associated with keyboard state: " << held);
  DropAction action = DropAction::info;
  if (auto stored = preferences.string("dropAction")) action = dropActionFromRawValue(*stored).value_or(DropAction::info);
  LOG_DEBUG("no alternate drop launch detected. using default action: " << action);
  return action;
}

void executeDropAction(store::Core<GlobalState>& reactor, DropAction action, const std::vector<files::Path>& paths) {
  using Global = GlobalCommands<GlobalState>;
  keepHeldKeysFromTyping();
  switch (action) {
    case DropAction::info: reactor.fire(Global::fileInfo(paths)); break;
    case DropAction::list: reactor.fire(Global::list(paths)); break;
    case DropAction::rename: reactor.fire(Global::rename(paths, nullptr)); break;
    case DropAction::move: reactor.fire(Global::move(paths)); break;
    case DropAction::copy: reactor.fire(Global::copy(paths)); break;
    case DropAction::group:
    case DropAction::alias:
    case DropAction::similar:
    case DropAction::ask:
      LOG_WARNING("unsupported drop action: " << action);
      break;
  }
}

void executeStartupAction(store::Core<GlobalState>& reactor, StartupAction action) {
  using Global = GlobalCommands<GlobalState>;
  if (action != StartupAction::none) keepHeldKeysFromTyping();
  switch (action) {
    case StartupAction::newList: reactor.fire(Global::list()); break;
    case StartupAction::find: reactor.fire(Global::showSearch()); break;
    case StartupAction::none: break;
  }
}

}  // namespace ml::shell
