#include "platform/dispatch/Timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/ManualClock.h"
#include "support/ManualMainLoop.h"

namespace ml::dispatch {
namespace {

using namespace std::chrono_literals;

class TimerTest : public ::testing::Test {
 protected:
  test::ManualMainLoop loop;
  ManualClock clock;
  Queue& main = MainQueue::shared();
};

TEST_F(TimerTest, OneShotRunsOnceOnTheTargetQueueAfterItsDelay) {
  int fired = 0;
  bool onMain = false;
  auto timer = Timer::oneShot(clock, main, 2s, [&] {
    ++fired;
    onMain = MainQueue::isMainThread();
  });
  clock.advance(1999ms);
  loop.drain();
  EXPECT_EQ(fired, 0);
  EXPECT_TRUE(timer.isValid());

  clock.advance(1ms);
  EXPECT_EQ(fired, 0) << "the clock only posts; the target queue runs the callback";
  loop.drain();
  EXPECT_EQ(fired, 1);
  EXPECT_TRUE(onMain);
  EXPECT_FALSE(timer.isValid());

  clock.advance(1h);
  loop.drain();
  EXPECT_EQ(fired, 1);
}

TEST_F(TimerTest, RepeatingFiresOncePerIntervalUntilCancelled) {
  std::vector<TimePoint> firedAt;
  const auto start = clock.now();
  auto timer = Timer::repeating(clock, main, 1s, [&] { firedAt.push_back(clock.now()); });
  for (int i = 0; i < 3; ++i) {
    clock.advance(1s);
    loop.drain();
  }
  EXPECT_EQ(firedAt, (std::vector<TimePoint>{start + 1s, start + 2s, start + 3s}));
  EXPECT_TRUE(timer.isValid());

  timer.cancel();
  EXPECT_FALSE(timer.isValid());
  clock.advance(10s);
  loop.drain();
  EXPECT_EQ(firedAt.size(), 3u);
  EXPECT_EQ(clock.pendingCount(), 0u);
}

TEST_F(TimerTest, RepeatingCoversEveryPeriodOfOneLongAdvance) {
  int fired = 0;
  auto timer = Timer::repeating(clock, main, 250ms, [&] { ++fired; });
  clock.advance(1s);
  loop.drain();
  EXPECT_EQ(fired, 4);
}

TEST_F(TimerTest, CancelSkipsAFiringAlreadyPostedToTheTargetQueue) {
  int fired = 0;
  auto timer = Timer::oneShot(clock, main, 1s, [&] { ++fired; });
  clock.advance(1s);
  ASSERT_EQ(loop.pending(), 1u);
  timer.cancel();
  loop.drain();
  EXPECT_EQ(fired, 0);
}

TEST_F(TimerTest, DestructionCancels) {
  int fired = 0;
  {
    auto timer = Timer::oneShot(clock, main, 1s, [&] { ++fired; });
  }
  EXPECT_EQ(clock.pendingCount(), 0u);
  clock.advance(2s);
  loop.drain();
  EXPECT_EQ(fired, 0);
}

TEST_F(TimerTest, AssigningANewTimerCancelsTheOldOne) {
  int first = 0;
  int second = 0;
  auto timer = Timer::oneShot(clock, main, 1s, [&] { ++first; });
  timer = Timer::oneShot(clock, main, 1s, [&] { ++second; });
  clock.advance(1s);
  loop.drain();
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
}

TEST_F(TimerTest, MovedTimerKeepsRunning) {
  int fired = 0;
  auto timer = Timer::oneShot(clock, main, 1s, [&] { ++fired; });
  Timer moved(std::move(timer));
  EXPECT_FALSE(timer.isValid());  // NOLINT(bugprone-use-after-move): a moved-from timer is inactive
  timer.cancel();                 // and cancelling it leaves the moved one alone
  clock.advance(1s);
  loop.drain();
  EXPECT_EQ(fired, 1);
}

TEST_F(TimerTest, RepeatingTimerCanCancelItselfFromItsCallback) {
  int fired = 0;
  Timer timer;
  timer = Timer::repeating(clock, main, 1s, [&] {
    if (++fired == 2) timer.cancel();
  });
  for (int i = 0; i < 5; ++i) {
    clock.advance(1s);
    loop.drain();
  }
  EXPECT_EQ(fired, 2);
}

}  // namespace
}  // namespace ml::dispatch
