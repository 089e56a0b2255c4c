#pragma once
// The Cleaning menu: empty the Trash (after the file manager's confirmation) and quit or relaunch
// the file manager, both by scripts sent to the script runner. Failures are logged; a quit or
// relaunch that fails also tells the user why (no session bus, no file manager), since nothing
// else shows that the command did nothing.
//
// Thread affinity: main thread (the emptying script and the "already empty" alert are modal).
#include <memory>
#include <optional>
#include <string>

#include "appkit/ScriptRunner.h"
#include "appkit/values/Alert.h"

namespace ml::shell {

class CleaningCommands {
 public:
  CleaningCommands(std::shared_ptr<appkit::ScriptRunner> runner, std::shared_ptr<appkit::AlertPresenter> alerts);

  // Counts the Trash; an empty one gets the "already empty" alert, otherwise the emptying script
  // runs. A count that fails or is not a number is logged as a failure and nothing else happens.
  void emptyTrash();
  // Quits the file manager, and launches it again unless the menu item's identifier contains
  // "quit".
  void killFinder(const std::optional<std::string>& menuItemIdentifier);

  static appkit::Alert alreadyEmptyAlert();
  // The warning shown when quitting or relaunching the file manager failed, with the reason.
  static appkit::Alert fileManagerFailedAlert(bool quitOnly, const std::string& reason);

 private:
  std::shared_ptr<appkit::ScriptRunner> runner_;
  std::shared_ptr<appkit::AlertPresenter> alerts_;
};

}  // namespace ml::shell
