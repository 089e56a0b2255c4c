#include "appkit/LinuxScriptRunner.h"

#include "appkit/FinderScripts.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::appkit {

namespace {

ScriptError failure(const foundation::Error& error) { return ScriptError{kScriptExecutionFailed, error.message}; }

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

}  // namespace

LinuxScriptRunner::LinuxScriptRunner(std::shared_ptr<const FreedesktopTrash> trash,
                                     std::shared_ptr<FileManager> fileManager, std::shared_ptr<AlertPresenter> alerts)
    : trash_(std::move(trash)), fileManager_(std::move(fileManager)), alerts_(std::move(alerts)) {}

Alert LinuxScriptRunner::emptyTrashConfirmation() {
  Alert alert;
  alert.style = Alert::Style::critical;
  alert.messageText = "Are you sure you want to remove the items in the Trash permanently?";
  alert.informativeText = "You cannot undo this action.";
  // The default button first; Escape answers the last one.
  alert.buttons = {"Empty Trash", "Abort"};
  return alert;
}

ScriptOutcome LinuxScriptRunner::run(const std::string& source) {
  if (source == finder_scripts::countTrashItems()) return countTrash();
  if (source == finder_scripts::emptyTrash()) return emptyTrash();
  if (source == finder_scripts::quitFinder()) return relaunch(false);
  if (source == finder_scripts::quitFinder() + "\n" + finder_scripts::launchFinder()) return relaunch(true);
  if (auto request = finder_scripts::parseInformationWindow(source)) return informationWindow(request->path);
  return ScriptOutcome::failed(
      ScriptError{kScriptNotUnderstood, "this desktop cannot carry out the script: " + firstLine(source)});
}

ScriptOutcome LinuxScriptRunner::countTrash() {
  auto count = trash_->count();
  if (!count) return ScriptOutcome::failed(failure(count.error()));
  return ScriptOutcome::answered(*count);
}

ScriptOutcome LinuxScriptRunner::emptyTrash() {
  ML_ASSERT_MAIN_THREAD();
  if (alerts_->runModal(emptyTrashConfirmation()) != kFirstButtonReturn) return ScriptOutcome::answered(std::monostate{});
  auto emptied = trash_->empty();
  if (!emptied) return ScriptOutcome::failed(failure(emptied.error()));
  return ScriptOutcome::answered(std::monostate{});
}

ScriptOutcome LinuxScriptRunner::relaunch(bool launchAgain) {
  if (auto quit = fileManager_->quit(); !quit) return ScriptOutcome::failed(failure(quit.error()));
  if (launchAgain) {
    if (auto launched = fileManager_->launch(); !launched) return ScriptOutcome::failed(failure(launched.error()));
  }
  return ScriptOutcome::answered(std::monostate{});
}

ScriptOutcome LinuxScriptRunner::informationWindow(const std::string& path) {
  auto shown = fileManager_->showItemProperties({path});
  if (!shown) return ScriptOutcome::failed(failure(shown.error()));
  return ScriptOutcome::answered(std::monostate{});
}

}  // namespace ml::appkit
