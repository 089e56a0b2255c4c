#include "platform/dispatch/SystemClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace ml::dispatch {
namespace {

using namespace std::chrono_literals;

TEST(SystemClockTest, DueCallbackRunsOnTheTimerThread) {
  SystemClock clock;
  std::promise<std::thread::id> ranOn;
  clock.schedule(0ns, [&] { ranOn.set_value(std::this_thread::get_id()); });
  auto future = ranOn.get_future();
  ASSERT_EQ(future.wait_for(30s), std::future_status::ready);
  EXPECT_NE(future.get(), std::this_thread::get_id());
}

TEST(SystemClockTest, CancelledAndPendingCallbacksNeverRunAfterDestruction) {
  int fired = 0;
  {
    SystemClock clock;
    auto token = clock.schedule(0ns + 1h, [&] { ++fired; });
    clock.schedule(0ns + 2h, [&] { ++fired; });
    clock.cancel(token);
  }
  EXPECT_EQ(fired, 0);
}

TEST(SystemClockTest, ReportsWallClockTime) {
  const auto before = std::chrono::system_clock::now();
  const auto now = Clock::system().now();
  EXPECT_GE(now, before);
}

}  // namespace
}  // namespace ml::dispatch
