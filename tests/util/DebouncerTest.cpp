#include "util/Debouncer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/ManualClock.h"
#include "support/ManualMainLoop.h"

namespace ml::util {
namespace {

using namespace std::chrono_literals;

class DebouncerTest : public ::testing::Test {
 protected:
  // Moves virtual time and runs what the main queue received.
  void advance(dispatch::Duration by) {
    clock.advance(by);
    loop.drain();
  }

  test::ManualMainLoop loop;
  dispatch::ManualClock clock;
};

TEST_F(DebouncerTest, OnlyTheLastHandlerRunsOnceAnIntervalAfterTheLastRestart) {
  Debouncer debouncer(1s, clock, dispatch::MainQueue::shared());
  std::vector<int> ran;
  std::optional<dispatch::TimePoint> ranAt;
  dispatch::TimePoint lastRestart;
  for (int handler = 1; handler <= 3; ++handler) {
    if (handler > 1) advance(300ms);
    debouncer.setHandler([&, handler] {
      ran.push_back(handler);
      ranAt = clock.now();
    });
    debouncer.renewInterval();
    lastRestart = clock.now();
  }
  advance(999ms);
  EXPECT_TRUE(ran.empty());
  advance(1ms);
  EXPECT_EQ(ran, (std::vector<int>{3}));
  EXPECT_EQ(ranAt, lastRestart + 1s);
  EXPECT_FALSE(debouncer.isPending());

  advance(10s);
  EXPECT_EQ(ran, (std::vector<int>{3}));
}

TEST_F(DebouncerTest, DestroyedDebouncerRunsNothing) {
  int ran = 0;
  {
    Debouncer debouncer(1s, clock, dispatch::MainQueue::shared());
    debouncer.renewInterval([&] { ++ran; });
  }
  advance(5s);
  EXPECT_EQ(ran, 0);
}

TEST_F(DebouncerTest, DestroyedAfterItsFiringWasPostedRunsNothing) {
  int ran = 0;
  {
    Debouncer debouncer(1s, clock, dispatch::MainQueue::shared());
    debouncer.renewInterval([&] { ++ran; });
    clock.advance(1s);  // the firing now waits in the main queue
    ASSERT_EQ(loop.pending(), 1u);
  }
  loop.drain();
  EXPECT_EQ(ran, 0);
}

TEST_F(DebouncerTest, HandlerIsClearedAfterItRuns) {
  Debouncer debouncer(50ms, clock, dispatch::MainQueue::shared());
  int ran = 0;
  debouncer.renewInterval([&] { ++ran; });
  advance(50ms);
  EXPECT_EQ(ran, 1);
  debouncer.renewInterval();  // no new handler set
  advance(50ms);
  EXPECT_EQ(ran, 1);
}

TEST_F(DebouncerTest, HandlerMayRestartItsOwnDebouncer) {
  Debouncer debouncer(1s, clock, dispatch::MainQueue::shared());
  int ran = 0;
  std::function<void()> again = [&] {
    if (++ran < 3) debouncer.renewInterval(again);
  };
  debouncer.renewInterval(again);
  for (int i = 0; i < 5; ++i) advance(1s);
  EXPECT_EQ(ran, 3);
}

}  // namespace
}  // namespace ml::util
