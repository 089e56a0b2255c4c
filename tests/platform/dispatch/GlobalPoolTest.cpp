#include "platform/dispatch/GlobalPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <set>
#include <thread>

namespace ml::dispatch {
namespace {

TEST(GlobalPoolTest, DestructionRunsEveryPostedTaskOnTheWorkers) {
  std::atomic<int> ran{0};
  std::mutex mutex;
  std::set<std::thread::id> threads;
  {
    GlobalPool pool(3, "test.pool");
    EXPECT_EQ(pool.threadCount(), 3u);
    for (int i = 0; i < 500; ++i) {
      pool.async([&] {
        ++ran;
        std::lock_guard lock(mutex);
        threads.insert(std::this_thread::get_id());
      });
    }
  }
  EXPECT_EQ(ran.load(), 500);
  EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
  EXPECT_LE(threads.size(), 3u);
}

TEST(GlobalPoolTest, RunsTasksConcurrently) {
  std::promise<void> first;
  std::promise<void> second;
  auto firstSeen = first.get_future().share();
  auto secondSeen = second.get_future().share();
  std::atomic<int> met{0};
  {
    GlobalPool pool(2, "test.pool");
    // Each task waits for the other; one task at a time could never satisfy both.
    pool.async([&] {
      first.set_value();
      if (secondSeen.wait_for(std::chrono::seconds(30)) == std::future_status::ready) ++met;
    });
    pool.async([&] {
      second.set_value();
      if (firstSeen.wait_for(std::chrono::seconds(30)) == std::future_status::ready) ++met;
    });
  }
  EXPECT_EQ(met.load(), 2);
}

TEST(GlobalPoolTest, SharedPoolRunsWorkOffTheCallingThread) {
  std::promise<bool> onWorker;
  GlobalPool::shared().async([&] { onWorker.set_value(GlobalPool::shared().isWorkerThread()); });
  auto future = onWorker.get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_TRUE(future.get());
  EXPECT_FALSE(GlobalPool::shared().isWorkerThread());
  EXPECT_GE(GlobalPool::shared().threadCount(), 2u);
}

}  // namespace
}  // namespace ml::dispatch
