#include "shell/AppDelegate.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "appkit/BusyCursor.h"
#include "appkit/ItemPath.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/ApplicationLogging.h"
#include "platform/foundation/LocalizedStrings.h"
#include "platform/logging/Log.h"
#include "shell/DropActions.h"
#include "shell/GlobalCommands.h"
#include "shell/MenuCommand.h"
#include "shell/core/PathList.h"

namespace ml::shell {

namespace {
std::atomic<AppDelegate*> sharedDelegate{nullptr};
}  // namespace

AppDelegate::AppDelegate(ShellServices services)
    : services_(std::move(services)),
      cleaning_(services_.scriptRunner, services_.alerts),
      reactor_(std::make_shared<store::Core<GlobalState>>(GlobalState(services_.usageEvents))) {
  sharedDelegate.store(this);
  if (auto* main = services_.main) {
    // The busy cursor follows the work on the main thread; each change posts one look at it.
    fileWork_->setOnChange([main, work = std::weak_ptr<FileWorkInProgress>(fileWork_)] {
      main->async([work] {
        if (auto now = work.lock()) appkit::showBusyCursor(now->progress().commands > 0);
      });
    });
  }
}

namespace {

// Runs on the store's queue after everything fired on it before, then lets the waiter go.
class Barrier final : public store::Command<GlobalState> {
 public:
  void execute(const GlobalState&, store::Core<GlobalState>&) override {
    {
      std::lock_guard lock(mutex);
      passed = true;
    }
    passedChanged.notify_all();
  }
  std::mutex mutex;
  std::condition_variable passedChanged;
  bool passed = false;
};

}  // namespace

AppDelegate::~AppDelegate() {
  AppDelegate* self = this;
  sharedDelegate.compare_exchange_strong(self, nullptr);
  // Work holding the global store may keep it past this delegate; a command that found the
  // delegate through shared() before it was cleared must end before the services it reads go.
  auto barrier = std::make_shared<Barrier>();
  reactor_->fire(std::shared_ptr<store::Command<GlobalState>>(barrier));
  std::unique_lock lock(barrier->mutex);
  dispatch::MainQueue::blockingWait(lock, barrier->passedChanged, [&] { return barrier->passed; });
}

AppDelegate* AppDelegate::shared() { return sharedDelegate.load(); }

void AppDelegate::initializeLogging() {
  if (!loggingInitialized_.compare(false, true)) return;
  bool debugLogs = services_.preferences && services_.preferences->boolean("debugLogs").value_or(false);
  foundation::setUpApplicationLogging(debugLogs);
}

std::optional<std::string> AppDelegate::keyboardState() {
  if (!services_.heldKeys) return std::nullopt;
  return keyboardState(services_.heldKeys());
}

std::optional<std::string> AppDelegate::keyboardState(const appkit::HeldKeys& held) {
  std::string result;
  if (held.fromKeymap) {
    for (unsigned code = appkit::HeldKeys::kFirstKeycode; code <= appkit::HeldKeys::kLastKeycode; ++code) {
      LOG_VERBOSE("checking char code " << code << "...");
      const appkit::HeldKey* key = held.key(code);
      LOG_VERBOSE("charCode keyState: " << code << " => " << (key ? "true" : "false"));
      if (!key || key->characters.empty()) continue;
      LOG_DEBUG("detected character pressed: " << key->characters);
      result += key->characters;
    }
  }
  LOG_DEBUG("current keyboard state: " << result);
  if (result.empty()) return std::nullopt;
  return result;
}

DropLaunch AppDelegate::interpret(const DropKeys& held, const std::vector<std::filesystem::path>& names) {
  LOG_DEBUG("keyboard state: " << held);
  DropAction action = DropAction::info;
  if (services_.preferences) {
    action = chooseDropAction(held, *services_.preferences);
  } else {
    action = defaultAction(held).value_or(DropAction::info);
  }
  std::vector<std::filesystem::path> canonical;
  for (const auto& name : names) {
    if (!name.empty()) canonical.push_back(appkit::canonicalItemPath(name));
  }
  DropLaunch drop{action, pathsOnDefaultFileSystem(canonical)};
  LOG_INFO("final action [" << drop.action << "] with paths [" << PathList{drop.paths} << "]");
  return drop;
}

void AppDelegate::openFiles(const std::vector<std::filesystem::path>& names) {
  openFiles(names, services_.heldKeys ? services_.heldKeys() : appkit::HeldKeys{});
}

void AppDelegate::openFiles(const std::vector<std::filesystem::path>& names, const appkit::HeldKeys& held) {
  initializeLogging();
  DropKeys keys{keyboardState(held), ModifierKeys::fromPlatform(held.modifiers)};
  dropLaunch_ = interpret(keys, names);
  if (launched_) {
    LOG_INFO("drop on running application. action=" << dropLaunch_->action << " paths=" << PathList{dropLaunch_->paths});
    executeDropAction(*reactor_, dropLaunch_->action, dropLaunch_->paths);
  }
}

void AppDelegate::receiveHandOff(const HandOff& handOff) {
  initializeLogging();
  if (handOff.paths.empty()) {
    LOG_DEBUG("launched again without items; coming to the front");
    if (services_.activate) services_.activate();
    return;
  }
  std::vector<std::filesystem::path> names(handOff.paths.begin(), handOff.paths.end());
  dropLaunch_ = interpret(handOff.keys, names);
  if (!launched_) return;  // the launch steps run it
  LOG_INFO("drop on running application. action=" << dropLaunch_->action << " paths=" << PathList{dropLaunch_->paths});
  executeDropAction(*reactor_, dropLaunch_->action, dropLaunch_->paths);
}

void AppDelegate::didFinishLaunching() {
  // Logging first: what the telemetry client and its crash reporter warn of while they start
  // belongs in the application's log.
  initializeLogging();
  if (services_.telemetry) {
    services_.telemetry->setTransmissionInterval(kAnalyticsTransmissionInterval);
    services_.telemetry->start(kTelemetryAppSecret, {TelemetryService::crashes, TelemetryService::analytics});
  }
  LOG_INFO("Application startup complete");
  if (!mainMenu_) {
    LOG_ERROR("the main menu is not connected; File > Close keeps its action");
  } else if (services_.closeFrontWindow) {
    mainMenu_->setAction("File", "Close", [close = services_.closeFrontWindow](const std::string&) { close(); });
  }
  launched_ = true;
  if (dropLaunch_) {
    LOG_INFO("drop launch detected. action=" << dropLaunch_->action << " paths=" << PathList{dropLaunch_->paths});
    executeDropAction(*reactor_, dropLaunch_->action, dropLaunch_->paths);
    return;
  }
  if (!services_.preferences) return;
  if (auto stored = services_.preferences->string("startupAction")) {
    if (auto action = startupActionFromRawValue(*stored)) executeStartupAction(*reactor_, *action);
  }
}

void AppDelegate::willTerminate() {
  LOG_TRACE();
  auto running = fileWork_->progress();
  if (running.commands == 0) return;
  // Cutting a copy off would leave the destination half made and the user unaware: the quit
  // waits, says what for, and offers to stop after the items in progress instead.
  LOG_INFO("quitting waits for copies, moves and trashes to finish. commands=" << running.commands << " items="
                                                                      << running.items << " done=" << running.done);
  appkit::Alert notice;
  notice.style = appkit::Alert::Style::informational;
  notice.applicationIcon = true;
  notice.messageText = foundation::localizedString("Finishing work on items before quitting\u2026");
  notice.buttons = {foundation::localizedString("Stop")};
  auto progress = [work = fileWork_]() -> std::optional<std::string> {
    auto now = work->progress();
    if (now.commands == 0) return std::nullopt;
    std::string text = foundation::localizedString(work->stopRequested() == FileWorkInProgress::Stop::none
                                                       ? "%1 of %2 items done."
                                                       : "Stopping after the items in progress\u2026 %1 of %2 items done.");
    if (auto at = text.find("%1"); at != std::string::npos) text.replace(at, 2, commands::countText(now.done));
    if (auto at = text.find("%2"); at != std::string::npos) text.replace(at, 2, commands::countText(now.items));
    return text;
  };
  auto stop = [work = fileWork_] {
    LOG_INFO("asked to stop the work on items after the items in progress");
    work->stop(FileWorkInProgress::Stop::afterItem);
  };
  if (services_.alerts) {
    services_.alerts->showUntilDone(notice, progress, stop);
  } else {
    appkit::AlertPresenter::waitUntilDone(progress);
  }
  LOG_INFO("work on items ended; quitting");
}

void AppDelegate::stopFileWorkNow() {
  if (fileWork_->progress().commands == 0) return;
  LOG_WARNING("stopping the work on items at once; the items in progress are given up");
  fileWork_->stop(FileWorkInProgress::Stop::now);
}

void AppDelegate::openOrFocusOnFindWindow() { reactor_->fire(GlobalCommands<GlobalState>::showSearch()); }
void AppDelegate::showMLInfo() { reactor_->fire(MenuCommand::fileInfo()); }
void AppDelegate::showFinderInfo() { reactor_->fire(MenuCommand::finderInfo()); }
void AppDelegate::showPreferences() { reactor_->fire(MenuCommand::preferences()); }
void AppDelegate::emptyTrash() { cleaning_.emptyTrash(); }
void AppDelegate::killFinder(const std::optional<std::string>& menuItemIdentifier) {
  cleaning_.killFinder(menuItemIdentifier);
}

}  // namespace ml::shell
