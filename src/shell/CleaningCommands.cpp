#include "shell/CleaningCommands.h"

#include <limits>

#include "appkit/FinderScripts.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/foundation/LocalizedStrings.h"
#include "platform/logging/Log.h"

namespace ml::shell {

namespace {

std::string describe(const std::optional<appkit::ScriptError>& error) { return error ? error->description() : "nil"; }

}  // namespace

CleaningCommands::CleaningCommands(std::shared_ptr<appkit::ScriptRunner> runner,
                                   std::shared_ptr<appkit::AlertPresenter> alerts)
    : runner_(std::move(runner)), alerts_(std::move(alerts)) {}

appkit::Alert CleaningCommands::alreadyEmptyAlert() {
  appkit::Alert alert;
  alert.style = appkit::Alert::Style::informational;
  alert.messageText = foundation::localizedString("Trash Can is already empty.");
  alert.buttons = {foundation::localizedString("OK")};
  return alert;
}

void CleaningCommands::emptyTrash() {
  ML_ASSERT_MAIN_THREAD();
  if (!runner_ || !alerts_) return;
  auto counted = runner_->run(appkit::finder_scripts::countTrashItems());
  if (!counted.created || !counted.result) {
    LOG_ERROR("failed to count items in trash: " << describe(counted.error));
    return;
  }
  // Only a number is a count: an answer of another kind must not pass for an empty Trash.
  const auto* number = std::get_if<std::int64_t>(&*counted.result);
  if (!number || *number < 0 || *number > std::numeric_limits<std::int32_t>::max()) {
    LOG_ERROR("failed to count items in trash: the answer is not a count");
    return;
  }
  auto count = static_cast<std::int32_t>(*number);
  LOG_DEBUG("number of items in trash: " << count);
  if (count == 0) {
    alerts_->runModal(alreadyEmptyAlert());
    return;
  }
  auto emptied = runner_->run(appkit::finder_scripts::emptyTrash());
  if (emptied.error) LOG_ERROR("failed to empty trash with warning: " << emptied.error->description());
}

void CleaningCommands::killFinder(const std::optional<std::string>& menuItemIdentifier) {
  ML_ASSERT_MAIN_THREAD();
  if (!runner_) return;
  std::string script = appkit::finder_scripts::quitFinder();
  bool quitOnly = menuItemIdentifier && menuItemIdentifier->find("quit") != std::string::npos;
  if (!quitOnly) script += "\n" + appkit::finder_scripts::launchFinder();
  auto outcome = runner_->run(script);
  if (!outcome.created) return;
  if (!outcome.error) return;
  LOG_ERROR("failed to restart finder. " << outcome.error->description());
  // The user chose it from the menu: say why nothing happened (no session bus, no file manager).
  if (alerts_) alerts_->runModal(fileManagerFailedAlert(quitOnly, outcome.error->message));
}

appkit::Alert CleaningCommands::fileManagerFailedAlert(bool quitOnly, const std::string& reason) {
  appkit::Alert alert;
  alert.style = appkit::Alert::Style::warning;
  alert.messageText = foundation::localizedString(quitOnly ? "The file manager could not be quit."
                                                           : "The file manager could not be relaunched.");
  alert.informativeText = reason;
  alert.buttons = {foundation::localizedString("OK")};
  return alert;
}

}  // namespace ml::shell
