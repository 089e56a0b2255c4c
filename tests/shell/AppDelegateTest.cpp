#include "shell/AppDelegate.h"

#include <gtest/gtest.h>

#include <QAction>
#include <fstream>
#include <sstream>

#include "ShellFixture.h"
#include "appkit/MainMenu.h"
#include "platform/foundation/AppFolders.h"
#include "platform/logging/Log.h"
#include "shell/DropKeyBindings.h"

namespace ml::shell {
namespace {

namespace fs = std::filesystem;

using testing::keysHeld;
using testing::ShellTest;

class AppDelegateTest : public ShellTest {
 protected:
  ~AppDelegateTest() override { logging::Log::resetForTesting(); }

  std::vector<files::Path> twoItems() { return {path("/tmp/one.txt"), path("/tmp/two.txt")}; }
  std::vector<fs::path> twoNames() { return {"/tmp/one.txt", "/tmp/two.txt"}; }

  static std::string readFolder(const fs::path& folder) {
    std::string text;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      std::ifstream in(entry.path());
      std::stringstream content;
      content << in.rdbuf();
      text += content.str();
    }
    return text;
  }
};

TEST_F(AppDelegateTest, DropWithLHeldIsKeptAsListAndRunsWhenLaunchingCompletes) {
  held = keysHeld({{46, "l"}});
  delegate().openFiles(twoNames());

  ASSERT_TRUE(delegate().dropLaunch());
  EXPECT_EQ(delegate().dropLaunch()->action, DropAction::list);
  EXPECT_EQ(delegate().dropLaunch()->paths, twoItems());
  settle();
  EXPECT_EQ(count(listWindows), 0u);  // nothing runs before launching completes

  delegate().didFinishLaunching();
  ASSERT_TRUE(waitFor([&] { return count(listWindows) == 1; }));
  EXPECT_EQ(listWindows[0]->items, twoItems());
  EXPECT_TRUE(listWindows[0]->shown);
}

TEST_F(AppDelegateTest, DropWithoutKeysUsesTheDropActionPreference) {
  delegate().openFiles(twoNames());
  EXPECT_EQ(delegate().dropLaunch()->action, DropAction::info);
  preferences.set("dropAction", "list");
  delegate().openFiles(twoNames());
  EXPECT_EQ(delegate().dropLaunch()->action, DropAction::list);

  // The launch's own items go with the keys read at launch; a later drop with those held now.
  delegate().openFiles(twoNames(), keysHeld({{32, "i"}}));
  EXPECT_EQ(delegate().dropLaunch()->action, DropAction::info);
  delegate().openFiles(twoNames());
  EXPECT_EQ(delegate().dropLaunch()->action, DropAction::list);
}

TEST_F(AppDelegateTest, StoredBindingBeatsTheBuiltInOneAtADrop) {
  preferences.set("dropkeys",
                  foundation::PlistValue(encodeDropKeyBindings({{DropAction::info, DropKeys{"L", ModifierKeys()}}})));
  held = keysHeld({{46, "l"}});
  delegate().openFiles(twoNames());
  EXPECT_EQ(delegate().dropLaunch()->action, DropAction::info);
}

TEST_F(AppDelegateTest, HeldModifiersMapOntoTheApplicationsOwn) {
  appkit::PlatformModifiers altAndShift;
  altAndShift.alt = true;
  altAndShift.shift = true;
  preferences.set("dropkeys", foundation::PlistValue(encodeDropKeyBindings(
                                  {{DropAction::copy, DropKeys{"L", ModifierKeys({ModifierKeys::option, ModifierKeys::shift})}}})));
  held = keysHeld({{46, "l"}, {50, ""}, {64, ""}}, altAndShift);
  delegate().openFiles(twoNames());
  EXPECT_EQ(delegate().dropLaunch()->action, DropAction::copy);
}

TEST_F(AppDelegateTest, KeyboardStateJoinsHeldCharactersInKeycodeOrder) {
  held = keysHeld({{38, "a"}, {46, "l"}, {50, ""}});
  EXPECT_EQ(delegate().keyboardState(), "al");
  held = keysHeld({{50, ""}});
  EXPECT_EQ(delegate().keyboardState(), std::nullopt);
  held = appkit::HeldKeys{};  // no keymap: modifiers only
  EXPECT_EQ(delegate().keyboardState(), std::nullopt);
}

TEST_F(AppDelegateTest, LaunchStartsTelemetryWithBothServicesAfterSettingTheInterval) {
  delegate().didFinishLaunching();
  EXPECT_EQ(telemetry->calls, (std::vector<std::string>{"interval 30",
                                                        "start 5c2e9a417d3b4f08b6e12a9d04c7f3e5 crashes analytics"}));
}

TEST_F(AppDelegateTest, LaunchWithoutDropOrStartupActionOpensNothing) {
  delegate().didFinishLaunching();
  settle();
  EXPECT_EQ(count(listWindows) + count(findWindows) + count(infoWindows), 0u);
  EXPECT_TRUE(alerts->shown().empty());
}

TEST_F(AppDelegateTest, LaunchWithoutDropRunsTheStartupAction) {
  preferences.set("startupAction", "find");
  delegate().didFinishLaunching();
  ASSERT_TRUE(waitFor([&] { return count(findWindows) == 1; }));
  EXPECT_TRUE(findWindows[0]->shown);
}

TEST_F(AppDelegateTest, InvalidStartupActionOpensNothing) {
  preferences.set("startupAction", "everything");
  delegate().didFinishLaunching();
  settle();
  EXPECT_EQ(count(listWindows) + count(findWindows), 0u);
}

TEST_F(AppDelegateTest, ItemsHandedOverWhileRunningRunTheirDropAction) {
  delegate().didFinishLaunching();
  HandOff handOff{{"/tmp/one.txt", "/tmp/two.txt"}, DropKeys{"l", ModifierKeys()}};
  delegate().receiveHandOff(handOff);
  ASSERT_TRUE(waitFor([&] { return count(listWindows) == 1; }));
  EXPECT_EQ(listWindows[0]->items, twoItems());
}

TEST_F(AppDelegateTest, ItemsDroppedOnTheRunningApplicationRunTheirDropAction) {
  delegate().didFinishLaunching();
  delegate().openFiles(twoNames());
  ASSERT_TRUE(waitFor([&] { return count(infoWindows) == 1; }));
  EXPECT_EQ(infoWindows[0]->items, twoItems());
}

TEST_F(AppDelegateTest, HandOffWithoutItemsBringsTheApplicationToTheFront) {
  int activations = 0;
  services.activate = [&] { ++activations; };
  delegate().didFinishLaunching();
  delegate().receiveHandOff(HandOff{});
  EXPECT_EQ(activations, 1);
  EXPECT_FALSE(delegate().dropLaunch());
}

TEST_F(AppDelegateTest, LaunchPointsFileCloseAtClosingTheFrontWindow) {
  int closes = 0;
  services.closeFrontWindow = [&] { ++closes; };
  appkit::MainMenu menu({appkit::Menu{"File", {appkit::MenuItem{"Close", "close", "Ctrl+W", {}, false}}}});
  delegate().setMainMenu(&menu);
  delegate().didFinishLaunching();
  ASSERT_TRUE(menu.find("File", "Close")->action);
  menu.find("File", "Close")->action("close");
  EXPECT_EQ(closes, 1);
}

TEST_F(AppDelegateTest, DebugLogsPutStartupInTheFullLogAndOnlyErrorsInTheErrorLog) {
  preferences.set("debugLogs", true);
  delegate().didFinishLaunching();
  LOG_ERROR("an error for the error log");
  logging::Log::flush();

  std::string full = readFolder(foundation::AppFolders::logs() / "full");
  std::string errors = readFolder(foundation::AppFolders::logs() / "error");
  EXPECT_NE(full.find("Application startup complete"), std::string::npos);
  EXPECT_NE(errors.find("an error for the error log"), std::string::npos);
  EXPECT_EQ(errors.find("Application startup complete"), std::string::npos);
  std::istringstream lines(errors);
  for (std::string line; std::getline(lines, line);) EXPECT_NE(line.find("ERROR"), std::string::npos) << line;
}

TEST_F(AppDelegateTest, LoggingIsSetUpOnceFromTheFirstCall) {
  delegate().initializeLogging();  // debugLogs unset: error log only
  preferences.set("debugLogs", true);
  delegate().openFiles(twoNames());
  delegate().didFinishLaunching();
  EXPECT_FALSE(fs::exists(foundation::AppFolders::logs() / "full"));
  EXPECT_TRUE(fs::exists(foundation::AppFolders::logs() / "error"));
}

TEST_F(AppDelegateTest, FrontControllerIsTheFrontmostWindowOfExactlyThatType) {
  int listSurface = 0, findSurface = 0, stray = 0;
  auto list = std::make_shared<testing::ListWindow>();
  list->identity = &listSurface;
  auto find = std::make_shared<testing::FindWindow>();
  find->identity = &findSurface;
  services.windowsFrontToBack = [&] { return std::vector<const void*>{&stray, &findSurface, &listSurface}; };
  delegate().reactor().fire(ApplicationEvents::WindowOpened(list));
  delegate().reactor().fire(ApplicationEvents::WindowOpened(find));
  ASSERT_TRUE(waitFor([&] { return delegate().reactor().state().activeWindows.size() == 2; }));

  EXPECT_EQ(delegate().frontController<testing::ListWindow>(), list);
  EXPECT_EQ(delegate().frontController<testing::FindWindow>(), find);
  EXPECT_EQ(delegate().frontController<testing::InfoWindow>(), nullptr);
}

TEST_F(AppDelegateTest, SharedIsTheDelegateWhileItLives) {
  EXPECT_EQ(AppDelegate::shared(), nullptr);
  AppDelegate& made = delegate();
  EXPECT_EQ(AppDelegate::shared(), &made);
}

}  // namespace
}  // namespace ml::shell
