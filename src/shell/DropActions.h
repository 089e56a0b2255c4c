#pragma once
// Choosing and carrying out the action for dropped items, and the startup action.
#include <vector>

#include "files/Path.h"
#include "platform/foundation/Preferences.h"
#include "platform/store/Core.h"
#include "shell/DropAction.h"
#include "shell/StartupAction.h"

namespace ml::shell {

struct GlobalState;

// The action for items dropped while `held` keys were down: the user's binding in "dropkeys"
// (the first in declaration order that equals the held keys), else the built-in binding, else the
// "dropAction" preference, else info. Any thread.
DropAction chooseDropAction(const DropKeys& held, const foundation::Preferences& preferences);

// Fires the global command for `action` with the paths on `global`; the unsupported actions log
// a warning and do nothing. Keys held now type nothing until they are let go. Main thread.
void executeDropAction(store::Core<GlobalState>& global, DropAction action, const std::vector<files::Path>& paths);

// newList fires an empty new list, find the find window, none nothing. As for a drop, keys held
// now type nothing until they are let go. Main thread.
void executeStartupAction(store::Core<GlobalState>& global, StartupAction action);

}  // namespace ml::shell
