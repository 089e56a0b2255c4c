#include "shell/GlobalState.h"

#include <gtest/gtest.h>

#include <sstream>

#include "ShellFakes.h"
#include "shell/core/ApplicationEvents.h"

namespace ml::shell {
namespace {

using testing::InfoWindow;
using testing::PreferencesController;
using testing::RecordingUsageEvents;

TEST(GlobalStateReducer, OpeningAndClosingAWindowSendsOneUsageEventAndLeavesTheSetAsItWas) {
  auto usage = std::make_shared<RecordingUsageEvents>();
  GlobalState state(usage);
  auto window = std::make_shared<InfoWindow>();

  state.react(ApplicationEvents::WindowOpened(window));
  EXPECT_EQ(state.activeWindows.count(window), 1u);
  state.react(ApplicationEvents::WindowClosed(window));

  EXPECT_TRUE(state.activeWindows.empty());
  ASSERT_EQ(usage->events().size(), 1u);
  EXPECT_EQ(usage->events()[0].first, "Window Opened");
  EXPECT_EQ(usage->events()[0].second, (std::map<std::string, std::string>{{"controller", "InfoWindow"}}));
}

TEST(GlobalStateReducer, ClosingAWindowThatNeverOpenedChangesNothing) {
  auto usage = std::make_shared<RecordingUsageEvents>();
  GlobalState state(usage);
  state.react(ApplicationEvents::WindowClosed(std::make_shared<InfoWindow>()));
  EXPECT_TRUE(state.activeWindows.empty());
  EXPECT_TRUE(usage->events().empty());
}

TEST(GlobalStateReducer, WindowAnnouncedTwiceIsInTheSetOnceAndClosesWithOneAnnouncement) {
  auto usage = std::make_shared<RecordingUsageEvents>();
  GlobalState state(usage);
  auto preferences = std::make_shared<PreferencesController>();

  state.react(ApplicationEvents::WindowOpened(preferences));
  state.react(ApplicationEvents::WindowOpened(preferences));
  EXPECT_EQ(state.activeWindows.size(), 1u);
  ASSERT_EQ(usage->events().size(), 2u);
  EXPECT_EQ(usage->events()[1].second.at("controller"), "PreferencesController");

  state.react(ApplicationEvents::WindowClosed(preferences));
  EXPECT_TRUE(state.activeWindows.empty());
}

TEST(GlobalStateReducer, RenamesAndOtherEventsLeaveTheStateAlone) {
  GlobalState state;
  auto window = std::make_shared<InfoWindow>();
  state.react(ApplicationEvents::WindowOpened(window));
  state.react(ApplicationEvents::ItemsRenamed({{files::Path("/a"), files::Path("/b")}}));
  state.react(ItemsMoved({}));
  state.react(WindowEvents::Loaded());
  EXPECT_EQ(state.activeWindows.size(), 1u);
  EXPECT_FALSE(state.registered);
}

TEST(GlobalStateReducer, PrintedStateNamesItsWindows) {
  GlobalState state;
  state.react(ApplicationEvents::WindowOpened(std::make_shared<InfoWindow>()));
  std::ostringstream printed;
  printed << state;
  EXPECT_EQ(printed.str(), "GlobalState(registered: false, activeWindows: [InfoWindow])");
}

}  // namespace
}  // namespace ml::shell
