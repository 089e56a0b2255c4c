#pragma once
// How the shell makes the windows of the other parts of the application (the Info, list, find,
// rename and preferences windows). Each factory makes a new controller and is called on the main
// thread. A window family replaces its empty factory when it lands; a command whose factory is
// empty tells the user that the window is not available.
#include <functional>
#include <memory>
#include <vector>

#include "files/Path.h"
#include "shell/RenameWindows.h"
#include "shell/core/WindowController.h"

namespace ml::shell {

struct WindowFactories {
  std::function<std::shared_ptr<InfoWindowController>()> info;
  std::function<std::shared_ptr<ListWindowController>()> list;
  std::function<std::shared_ptr<ShowableWindow>()> find;
  std::function<std::shared_ptr<ShowableWindow>()> preferences;
  std::function<std::shared_ptr<RenameDialogController>(const std::vector<files::Path>& items)> renameDialog;
  std::function<std::shared_ptr<RenameConfirmationController>(const std::vector<files::Path>& items,
                                                               std::shared_ptr<const RenameRule> rule)>
      renameConfirmation;
};

}  // namespace ml::shell
