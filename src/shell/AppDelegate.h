#pragma once
// The application's spine: owns the global store, interprets dropped items (which keys were held,
// which drop action they pick), runs the launch steps and answers the main menu's actions.
//
// Exactly one exists while the application runs. Windows reach its store and services through
// the WindowContext their factories were given (windowContext()); AppDelegate::shared() remains
// for the global commands (fired on any store) and the drop actions. Entry points run on the main
// thread; the store may be fired from any thread.
//
// Items handed over while the application already runs (a second launch, a drop on the launcher
// window) are interpreted the same way and their drop action is run at once.
#include <QPointer>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <typeinfo>
#include <vector>

#include "appkit/MainMenu.h"
#include "files/Path.h"
#include "platform/store/Core.h"
#include "shell/CleaningCommands.h"
#include "shell/CommandContext.h"
#include "shell/DropAction.h"
#include "shell/GlobalState.h"
#include "shell/coding/HandOff.h"
#include "shell/ShellServices.h"
#include "shell/WindowContext.h"
#include "util/Atomic.h"

namespace ml::shell {

struct DropLaunch {
  DropAction action;
  std::vector<files::Path> paths;
};

class AppDelegate {
 public:
  // Makes the global store and becomes AppDelegate::shared().
  explicit AppDelegate(ShellServices services);
  // Stops being shared() (the application's delegate lives until the process ends; tests make one
  // per test).
  ~AppDelegate();
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  static AppDelegate* shared();

  store::Core<GlobalState>& reactor() { return *reactor_; }
  const ShellServices& services() const { return services_; }
  // What the windows reach of the application: this delegate's store and services.
  WindowContext windowContext() { return {reactor_.get(), &services_}; }
  std::optional<DropLaunch> dropLaunch() const { return dropLaunch_; }

  // The main menu whose File > Close the launch points at the close action. Not owned.
  void setMainMenu(appkit::MainMenu* menu) { mainMenu_ = menu; }

  // Items given to the application (at launch, or later): sets up logging, reads the held keys,
  // chooses and keeps the drop action; after launch it also runs it. Every path is taken in the
  // canonical item form (appkit/ItemPath.h); empty names are skipped.
  void openFiles(const std::vector<std::filesystem::path>& names);
  // The same with the keys that were held when these items were given (the launch's own items,
  // read when the process started), instead of those held now.
  void openFiles(const std::vector<std::filesystem::path>& names, const appkit::HeldKeys& held);
  // Items handed over by a later launch, with the keys held there. No items: brings the
  // application to the front.
  void receiveHandOff(const HandOff& handOff);
  // The launch steps: telemetry, logging, menu fix-up, then the kept drop action or the startup
  // action.
  void didFinishLaunching();
  // The event loop is ending (on the main thread, windows still open). Copies, moves and trashes
  // under way are let finish, not cut off: a notice over the windows says so until they are done,
  // then the alerts they posted are shown. The notice offers to stop instead (so does closing
  // it): copies and moves then end after the item in progress, each item whole or not made.
  void willTerminate();
  // The process is asked to end without delay (a second termination signal, the session ending):
  // copies and moves under way give up the item in progress too, removing its partial copy; a
  // move keeps its source. Any thread.
  void stopFileWorkNow();
  // The copies, moves and trashes under way.
  const std::shared_ptr<FileWorkInProgress>& fileWork() const { return fileWork_; }
  // Sets up logging once per process (later calls do nothing).
  void initializeLogging();
  // The characters of the keys held right now, in keycode order; nothing when none.
  std::optional<std::string> keyboardState();

  // The frontmost window whose controller is exactly a T (not a subclass), or null.
  template <class T>
  std::shared_ptr<T> frontController() {
    const auto& order = services_.windowsFrontToBack;
    if (!order) return nullptr;
    GlobalState state = reactor_->state();
    for (const void* window : order()) {
      for (const auto& controller : state.activeWindows) {
        if (!window || controller->windowIdentity() != window) continue;
        if (const auto& shown = *controller; typeid(shown) == typeid(T)) return std::static_pointer_cast<T>(controller);
        break;  // this window's controller is of another type
      }
    }
    return nullptr;
  }

  // Menu actions.
  void openOrFocusOnFindWindow();
  void showMLInfo();
  void showFinderInfo();
  void showPreferences();
  void emptyTrash();
  void killFinder(const std::optional<std::string>& menuItemIdentifier);

 private:
  std::optional<std::string> keyboardState(const appkit::HeldKeys& held);
  DropLaunch interpret(const DropKeys& held, const std::vector<std::filesystem::path>& names);

  // Declared before the store, so that they outlive the commands it drains at destruction.
  ShellServices services_;
  CleaningCommands cleaning_;
  std::optional<DropLaunch> dropLaunch_;
  util::Atomic<bool> loggingInitialized_{false};
  QPointer<appkit::MainMenu> mainMenu_;
  bool launched_ = false;
  std::shared_ptr<FileWorkInProgress> fileWork_ = std::make_shared<FileWorkInProgress>();
  // Shared, so that work a command started can hold it to fire its results (see GlobalCommands).
  std::shared_ptr<store::Core<GlobalState>> reactor_;
};

}  // namespace ml::shell
