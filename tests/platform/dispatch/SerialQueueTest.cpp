#include "platform/dispatch/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace ml::dispatch {
namespace {

TEST(SerialQueueTest, RunsTasksInPostingOrderOnOneThreadOfItsOwn) {
  std::vector<int> order;
  std::set<std::thread::id> threads;
  {
    SerialQueue queue("test.serial");
    for (int i = 0; i < 1000; ++i) {
      queue.async([&, i] {
        order.push_back(i);
        threads.insert(std::this_thread::get_id());
      });
    }
  }
  ASSERT_EQ(order.size(), 1000u);
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(order[i], i);
  ASSERT_EQ(threads.size(), 1u);
  EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

TEST(SerialQueueTest, NeverRunsTwoTasksAtOnce) {
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  {
    SerialQueue queue("test.serial");
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
      posters.emplace_back([&] {
        for (int i = 0; i < 2000; ++i) {
          queue.async([&] {
            if (inside.fetch_add(1) != 0) overlapped = true;
            inside.fetch_sub(1);
          });
        }
      });
    }
    for (auto& poster : posters) poster.join();
  }
  EXPECT_FALSE(overlapped);
}

TEST(SerialQueueTest, DestructionRunsEverythingPostedIncludingWhatTasksPost) {
  int ran = 0;
  {
    SerialQueue queue("test.serial");
    queue.async([&] {
      ++ran;
      queue.async([&] { ++ran; });
    });
  }
  EXPECT_EQ(ran, 2);
}

TEST(SerialQueueTest, SyncWaitsForEarlierTasksAndReportsExceptions) {
  SerialQueue queue("test.serial");
  int ran = 0;
  for (int i = 0; i < 100; ++i) queue.async([&] { ++ran; });
  queue.sync([&] { EXPECT_EQ(ran, 100); });
  EXPECT_THROW(queue.sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
}

TEST(SerialQueueTest, SyncFromTheQueueItselfRunsInline) {
  SerialQueue queue("test.serial");
  bool inner = false;
  queue.sync([&] {
    EXPECT_TRUE(queue.isCurrent());
    queue.sync([&] { inner = true; });
  });
  EXPECT_TRUE(inner);
  EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialQueueTest, QueueDestroyedByItsOwnTaskStillRunsWhatWasPosted) {
  auto queue = std::make_shared<SerialQueue>("test.serial");
  SerialQueue* raw = queue.get();
  auto posted = std::make_shared<std::promise<void>>();
  auto done = std::make_shared<std::promise<void>>();
  // The first task drops the last owner, so the queue is destroyed on its own worker; it waits
  // until the second task is posted, which must still run.
  raw->async([q = std::move(queue), postedSeen = posted->get_future().share()]() mutable {
    postedSeen.wait();
    q.reset();
  });
  raw->async([done] { done->set_value(); });
  posted->set_value();
  EXPECT_EQ(done->get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
}

}  // namespace
}  // namespace ml::dispatch
