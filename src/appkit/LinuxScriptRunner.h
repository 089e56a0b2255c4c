#pragma once
// Carries out the file-manager scripts the application sends, on a freedesktop desktop:
//   count the Trash        -> the number of items in every freedesktop Trash;
//   empty the Trash        -> the same confirmation (critical alert, "Empty Trash" / "Abort"), then
//                             the Trash emptied; "Abort" answers nothing, like the script's try;
//   quit / quit and launch -> the file manager quit (and started again) over D-Bus;
//   information window    -> the file manager's properties window of the item.
// Any other text answers kScriptNotUnderstood with a message naming what cannot be done.
//
// Thread affinity: the emptying script shows an alert and must run on the main thread; the
// others run on any thread.
#include <memory>

#include "appkit/FileManager.h"
#include "appkit/FreedesktopTrash.h"
#include "appkit/ScriptRunner.h"
#include "appkit/values/Alert.h"

namespace ml::appkit {

class LinuxScriptRunner final : public ScriptRunner {
 public:
  LinuxScriptRunner(std::shared_ptr<const FreedesktopTrash> trash, std::shared_ptr<FileManager> fileManager,
                    std::shared_ptr<AlertPresenter> alerts);

  ScriptOutcome run(const std::string& source) override;

  // The confirmation the emptying script asks for.
  static Alert emptyTrashConfirmation();

 private:
  ScriptOutcome countTrash();
  ScriptOutcome emptyTrash();
  ScriptOutcome relaunch(bool launchAgain);
  ScriptOutcome informationWindow(const std::string& path);

  std::shared_ptr<const FreedesktopTrash> trash_;
  std::shared_ptr<FileManager> fileManager_;
  std::shared_ptr<AlertPresenter> alerts_;
};

}  // namespace ml::appkit
