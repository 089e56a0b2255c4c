#pragma once
// A delegate wired to fakes, in an XDG sandbox, with a main loop the test drives. Windows made by
// the factories are kept so tests can look at them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

#include "ShellFakes.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Preferences.h"
#include "shell/AppDelegate.h"
#include "shell/core/ApplicationEvents.h"
#include "support/ManualMainLoop.h"
#include "support/TempDir.h"

namespace ml::shell::testing {

// The state of a window's store: a selection, and the shell's events it received.
struct WindowState {
  std::vector<files::Path> selection;
  std::vector<ItemsTrashed> trashed;
  std::vector<PathMapping> moved;
  std::vector<PathMapping> copied;
  std::vector<PathMapping> renamed;

  std::vector<files::Path> selectedItems() const { return selection; }
  void react(const store::Event& event) {
    if (auto* e = event.as<ItemsTrashed>()) trashed.push_back(*e);
    if (auto* e = event.as<ItemsMoved>()) moved.push_back(e->items);
    if (auto* e = event.as<ItemsCopied>()) copied.push_back(e->items);
    if (auto* e = event.as<ApplicationEvents::ItemsRenamed>()) renamed.push_back(e->items);
  }
};

// Marks that the global store has run everything fired on it before.
class StoreBarrier final : public store::Command<GlobalState> {
 public:
  explicit StoreBarrier(std::shared_ptr<std::atomic<bool>> passed) : passed_(std::move(passed)) {}
  void execute(const GlobalState&, store::Core<GlobalState>&) override { passed_->store(true); }

 private:
  std::shared_ptr<std::atomic<bool>> passed_;
};

class ShellTest : public ::testing::Test {
 protected:
  ShellTest() : preferences(sandbox.root() / "preferences.plist") {
    services.alerts = alerts;
    services.openPanels = panels;
    services.workspace = workspace;
    services.scriptRunner = scripts;
    services.telemetry = telemetry;
    services.usageEvents = usage;
    services.preferences = &preferences;
    services.main = &dispatch::MainQueue::shared();
    services.background = &background;
    services.heldKeys = [this] { return held; };
    services.windows.info = [this] { return remember(infoWindows, std::make_shared<InfoWindow>()); };
    services.windows.list = [this] { return remember(listWindows, std::make_shared<ListWindow>()); };
    services.windows.find = [this] { return remember(findWindows, std::make_shared<FindWindow>()); };
    services.windows.preferences = [this] {
      return remember(preferencesWindows, std::make_shared<PreferencesController>());
    };
    services.windows.renameDialog = [this](const std::vector<files::Path>&) {
      return remember(renameDialogs, std::make_shared<RenameDialog>());
    };
    services.windows.renameConfirmation = [this](const std::vector<files::Path>& items,
                                                 std::shared_ptr<const RenameRule>) {
      auto sheet = remember(confirmations, std::make_shared<RenameConfirmationDialog>());
      sheet->confirming = items;
      return sheet;
    };
  }

  // The fakes keep the callbacks they were handed, as an open panel or sheet would; a callback
  // holds the services (and a sheet's its own controller), so they go here, or the test would
  // leave them behind in a cycle. A rename dialog also holds the window it is a sheet of: that
  // window goes here too, while the delegate still lives, since its store may still fire at the
  // global store on its own thread.
  ~ShellTest() override {
    panels->forget();
    std::vector<std::shared_ptr<WindowController>> sheetParents;
    {
      std::lock_guard lock(windowsMutex);
      for (auto& dialog : renameDialogs) {
        dialog->ended = nullptr;
        sheetParents.push_back(std::move(dialog->sheetParent));
      }
      for (auto& confirmation : confirmations) confirmation->ended = nullptr;
    }
    sheetParents.clear();
  }

  AppDelegate& delegate() {
    if (!delegate_) delegate_ = std::make_unique<AppDelegate>(services);
    return *delegate_;
  }

  // Serves the main loop until `done` holds (a safety limit, not a timing).
  bool waitFor(const std::function<bool()>& done) { return loop.drainUntil(done, std::chrono::seconds(10)); }
  // Serves the main loop until the global store and the main queue have nothing left to do: work
  // that hops between the store's queue and the main thread gets three rounds, each waiting for
  // everything fired on the store before it however slow the machine, then for the main queue.
  void settle() {
    for (int round = 0; round < 3; ++round) {
      if (delegate_) {
        auto passed = std::make_shared<std::atomic<bool>>(false);
        delegate_->reactor().fire(std::shared_ptr<store::Command<GlobalState>>(std::make_shared<StoreBarrier>(passed)));
        waitFor([&] { return passed->load(); });
      }
      for (int i = 0; i < 7; ++i) loop.drainUntil([] { return false; }, std::chrono::milliseconds(5));
    }
  }

  template <class T>
  std::size_t count(const std::vector<std::shared_ptr<T>>& windows) {
    std::lock_guard lock(windowsMutex);
    return windows.size();
  }

  static files::Path path(const fs::path& p) { return files::Path(p); }

  test::XdgSandbox sandbox;
  // Before the loop: tasks the loop drops at its end may hold a command's store, whose last hold
  // is let go on this queue.
  InlineQueue background;
  test::ManualMainLoop loop;
  foundation::Preferences preferences;
  appkit::HeldKeys held;
  std::shared_ptr<FakeAlerts> alerts = std::make_shared<FakeAlerts>();
  std::shared_ptr<FakeOpenPanels> panels = std::make_shared<FakeOpenPanels>();
  std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
  std::shared_ptr<RecordingScriptRunner> scripts = std::make_shared<RecordingScriptRunner>();
  std::shared_ptr<RecordingTelemetry> telemetry = std::make_shared<RecordingTelemetry>();
  std::shared_ptr<RecordingUsageEvents> usage = std::make_shared<RecordingUsageEvents>();
  std::mutex windowsMutex;
  std::vector<std::shared_ptr<InfoWindow>> infoWindows;
  std::vector<std::shared_ptr<ListWindow>> listWindows;
  std::vector<std::shared_ptr<FindWindow>> findWindows;
  std::vector<std::shared_ptr<PreferencesController>> preferencesWindows;
  std::vector<std::shared_ptr<RenameDialog>> renameDialogs;
  std::vector<std::shared_ptr<RenameConfirmationDialog>> confirmations;
  ShellServices services;

 private:
  template <class T>
  std::shared_ptr<T> remember(std::vector<std::shared_ptr<T>>& list, std::shared_ptr<T> window) {
    std::lock_guard lock(windowsMutex);
    list.push_back(window);
    return window;
  }

  std::unique_ptr<AppDelegate> delegate_;  // last: goes first
};

// Keys as the keymap reports them: (keycode, characters) pairs and modifiers.
inline appkit::HeldKeys keysHeld(std::vector<appkit::HeldKey> keys, appkit::PlatformModifiers modifiers = {}) {
  appkit::HeldKeys held;
  held.keys = std::move(keys);
  held.modifiers = modifiers;
  held.fromKeymap = true;
  return held;
}

}  // namespace ml::shell::testing
