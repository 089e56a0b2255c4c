// The preferences window as the application shows it: through the global command, announced on
// the global store, and read back by the next launch.
#include <QApplication>
#include <QCheckBox>
#include <QMainWindow>
#include <QTabWidget>

#include "platform/foundation/AppFolders.h"
#include "platform/logging/Log.h"
#include "shell/ShellFixture.h"  // tests/shell: a delegate wired to fakes
#include "shell/preferences/AdvancedPreferenceController.h"
#include "shell/preferences/PreferencesController.h"
#include "shell/preferences/PreferencesWindowFactory.h"

namespace ml::shell {
namespace {

using testing::ShellTest;

class PreferencesOnTheGlobalStoreTest : public ShellTest {
 protected:
  PreferencesOnTheGlobalStoreTest() {
    services.windows.preferences = preferencesWindowFactory(preferences, alerts, usage, windowContext);
  }
  void SetUp() override { windowContext = delegate().windowContext(); }
  ~PreferencesOnTheGlobalStoreTest() override {
    logging::Log::resetForTesting();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  std::size_t registeredWindows() { return delegate().reactor().state().activeWindows.size(); }

  // Shows the preferences as the menu item does and returns the registered controller.
  std::shared_ptr<PreferencesController> showPreferences() {
    delegate().showPreferences();
    if (!waitFor([&] { return registeredWindows() == 1; })) return nullptr;
    return std::dynamic_pointer_cast<PreferencesController>(*delegate().reactor().state().activeWindows.begin());
  }

  WindowContext windowContext;
};

TEST_F(PreferencesOnTheGlobalStoreTest, ClosingTheWindowWithoutSavingLeavesNoControllerRegistered) {
  auto controller = showPreferences();
  ASSERT_TRUE(controller);
  EXPECT_TRUE(controller->window()->isVisible());
  ASSERT_FALSE(usage->events().empty());
  EXPECT_EQ(usage->events()[0].first, "Window Opened");
  EXPECT_EQ(usage->events()[0].second.at("controller"), "PreferencesController");

  controller->window()->close();
  std::weak_ptr<PreferencesController> weak = controller;
  controller.reset();
  ASSERT_TRUE(waitFor([&] { return registeredWindows() == 0; }));
  EXPECT_TRUE(waitFor([&] { return weak.expired(); }));
}

TEST_F(PreferencesOnTheGlobalStoreTest, SavingUnregistersTheWindowOnce) {
  auto controller = showPreferences();
  ASSERT_TRUE(controller);
  controller->saveChanges();
  ASSERT_TRUE(waitFor([&] { return registeredWindows() == 0; }));
  EXPECT_EQ(preferences.string("startupAction"), "none");
}

TEST_F(PreferencesOnTheGlobalStoreTest, TurningDebugLogsOnWritesTheFullLogFromTheNextStart) {
  delegate().initializeLogging();
  auto controller = showPreferences();
  ASSERT_TRUE(controller);
  controller->tabContainer()->setCurrentIndex(2);
  controller->advanced()->debugLogsCheckbox()->setChecked(true);
  controller->saveChanges();
  ASSERT_TRUE(waitFor([&] { return registeredWindows() == 0; }));
  LOG_DEBUG("still this start");
  logging::Log::flush();
  EXPECT_FALSE(std::filesystem::exists(foundation::AppFolders::logs() / "full"));

  // The next start reads the file afresh.
  logging::Log::resetForTesting();
  foundation::Preferences nextPreferences(preferences.file());
  ShellServices next = services;
  next.preferences = &nextPreferences;
  AppDelegate nextStart(next);
  nextStart.didFinishLaunching();
  logging::Log::flush();
  EXPECT_TRUE(std::filesystem::exists(foundation::AppFolders::logs() / "full"));
}

}  // namespace
}  // namespace ml::shell
