#include "platform/dispatch/ManualClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace ml::dispatch {
namespace {

using namespace std::chrono_literals;

TEST(ManualClockTest, FiresDueCallbacksInDeadlineOrderWithTiesInSchedulingOrder) {
  ManualClock clock;
  std::vector<std::string> fired;
  clock.schedule(3s, [&] { fired.push_back("c"); });
  clock.schedule(1s, [&] { fired.push_back("a1"); });
  clock.schedule(1s, [&] { fired.push_back("a2"); });
  clock.schedule(2s, [&] { fired.push_back("b"); });
  clock.advance(2s);
  EXPECT_EQ(fired, (std::vector<std::string>{"a1", "a2", "b"}));
  clock.advance(1s);
  EXPECT_EQ(fired.back(), "c");
  EXPECT_EQ(clock.pendingCount(), 0u);
}

TEST(ManualClockTest, NothingFiresBeforeItsDeadline) {
  ManualClock clock;
  int fired = 0;
  clock.schedule(1s, [&] { ++fired; });
  clock.advance(999ms);
  EXPECT_EQ(fired, 0);
  clock.advance(1ms);
  EXPECT_EQ(fired, 1);
}

TEST(ManualClockTest, NowReadsEachCallbacksDeadlineWhileItRuns) {
  const TimePoint start{std::chrono::seconds(1000)};
  ManualClock clock(start);
  std::vector<TimePoint> seen;
  clock.schedule(1s, [&] { seen.push_back(clock.now()); });
  clock.schedule(4s, [&] { seen.push_back(clock.now()); });
  clock.advance(10s);
  EXPECT_EQ(seen, (std::vector<TimePoint>{start + 1s, start + 4s}));
  EXPECT_EQ(clock.now(), start + 10s);
}

TEST(ManualClockTest, CallbacksScheduledWhileAdvancingFireInTheSameAdvanceWhenDue) {
  ManualClock clock;
  int fired = 0;
  std::function<void()> again = [&] {
    ++fired;
    clock.schedule(1s, again);
  };
  clock.schedule(1s, again);
  clock.advance(5s);
  EXPECT_EQ(fired, 5);
  EXPECT_EQ(clock.pendingCount(), 1u);
}

TEST(ManualClockTest, CancelledCallbackNeverFires) {
  ManualClock clock;
  int fired = 0;
  auto token = clock.schedule(1s, [&] { ++fired; });
  clock.cancel(token);
  clock.cancel(token);         // twice is harmless
  clock.cancel(TimerToken{});  // so is the empty token
  clock.advance(2s);
  EXPECT_EQ(fired, 0);
}

TEST(ManualClockTest, SettingTimeBackwardFiresNothing) {
  const TimePoint start{std::chrono::seconds(1000)};
  ManualClock clock(start);
  int fired = 0;
  clock.schedule(1s, [&] { ++fired; });
  clock.set(start - 5s);
  EXPECT_EQ(fired, 0);
  EXPECT_EQ(clock.now(), start - 5s);
  clock.set(start + 1s);  // the deadline stays where it was scheduled
  EXPECT_EQ(fired, 1);
}

TEST(ManualClockTest, NegativeDelayCountsAsZero) {
  ManualClock clock;
  int fired = 0;
  clock.schedule(-5s, [&] { ++fired; });
  clock.advance(0s);
  EXPECT_EQ(fired, 1);
}

}  // namespace
}  // namespace ml::dispatch
