#pragma once
// A fixture for the Info window's commands: an application delegate over fakes (panels,
// alerts), a drivable main loop, a temporary folder, and a loaded fake Info window whose store
// the commands run on.
#include <gtest/gtest.h>

#include "FakeInfoWindow.h"
#include "infostate/FaultyFileSystem.h"
#include "shell/ShellFixture.h"

namespace ml::info::testing {

// Records the controllers whose closing the global store was told of.
class ClosedWindows final : public store::Middleware<shell::GlobalState> {
 public:
  void process(const store::Event& event, const shell::GlobalState&) override {
    if (auto* closed = event.as<shell::ApplicationEvents::WindowClosed>()) {
      std::lock_guard lock(mutex_);
      controllers_.push_back(closed->controller);
    }
  }
  std::vector<std::shared_ptr<shell::WindowController>> controllers() const {
    std::lock_guard lock(mutex_);
    return controllers_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<shell::WindowController>> controllers_;
};

class InfoCommandTest : public shell::testing::ShellTest {
 protected:
  InfoCommandTest() {
    services.windows.renameDialog = [this](const std::vector<files::Path>& items) {
      renamedItems.push_back(items);
      return std::make_shared<shell::testing::RenameDialog>();
    };
    delegate();
    removeClosedWindows = delegate().reactor().add(closedWindows);
    window->global = &delegate().reactor();
    window->panels = panels;
    window->load();
  }
  ~InfoCommandTest() override { removeClosedWindows(); }

  // Shows `paths` (the first of them) in the window.
  void show(std::vector<files::Path> paths, int displayed = 0) {
    window->probe.core->fire(Initialized(paths));
    probe().settle();
    if (displayed != 0) {
      window->probe.core->fire(SelectedPathUpdated(paths.at(static_cast<size_t>(displayed))));
      probe().settle();
    }
  }
  // Runs `command` on the window's store, then what it left for the main thread.
  void run(std::shared_ptr<store::Command<InfoWindowState>> command) {
    window->probe.core->fire(std::move(command));
    probe().settle();
    loop.drain();
    probe().settle();
  }
  InfoStoreProbe& probe() { return window->probe; }
  void settleGlobal() { settleStore(delegate().reactor()); }

  test::TempDir dir;
  std::shared_ptr<FakeInfoWindow> window = std::make_shared<FakeInfoWindow>();
  std::shared_ptr<ClosedWindows> closedWindows = std::make_shared<ClosedWindows>();
  std::function<void()> removeClosedWindows;
  std::vector<std::vector<files::Path>> renamedItems;  // what each rename dialog was made for
};

}  // namespace ml::info::testing
