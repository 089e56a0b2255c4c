#include "platform/dispatch/MainQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/SerialQueue.h"
#include "support/ManualMainLoop.h"

namespace ml::dispatch {
namespace {

TEST(MainQueueTest, TasksPostedWithoutAPosterWaitAndArriveInOrder) {
  MainQueue::installPoster(nullptr);
  std::vector<int> order;
  for (int i = 0; i < 3; ++i) MainQueue::shared().async([&order, i] { order.push_back(i); });
  EXPECT_TRUE(order.empty());

  test::ManualMainLoop loop;
  MainQueue::shared().async([&order] { order.push_back(3); });
  EXPECT_EQ(loop.drain(), 4u);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
}

TEST(MainQueueTest, OnlyTheMarkedThreadIsMain) {
  test::ManualMainLoop loop;
  EXPECT_TRUE(MainQueue::isMainThread());
  bool otherIsMain = true;
  std::thread([&] { otherIsMain = MainQueue::isMainThread(); }).join();
  EXPECT_FALSE(otherIsMain);
}

TEST(MainQueueTest, SyncFromAWorkerRunsOnMainAndReturnsItsResult) {
  test::ManualMainLoop loop;
  std::string result;
  bool ranOnMain = false;
  bool finished = false;
  std::thread worker([&] {
    result = MainQueue::sync([&] {
      ranOnMain = MainQueue::isMainThread();
      return std::string("from main");
    });
    finished = true;  // read by the test thread only after join()
  });
  ASSERT_TRUE(loop.drainUntil([&] { return ranOnMain; }));
  worker.join();
  EXPECT_TRUE(finished);
  EXPECT_EQ(result, "from main");
}

TEST(MainQueueTest, SyncOnMainRunsInline) {
  test::ManualMainLoop loop;
  int ran = 0;
  MainQueue::sync([&] { ++ran; });
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(loop.pending(), 0u);
}

TEST(MainQueueTest, SyncPassesExceptionsBackToTheWorker) {
  test::ManualMainLoop loop;
  std::atomic<bool> caught{false};
  std::thread worker([&] {
    try {
      MainQueue::sync([] { throw std::runtime_error("on main"); });
    } catch (const std::runtime_error&) {
      caught = true;
    }
  });
  EXPECT_TRUE(loop.drainUntil([&] { return caught.load(); }));
  worker.join();
}

TEST(MainQueueTest, MainWaitingForAWorkerServesThatWorkersSyncRequest) {
  test::ManualMainLoop loop;
  bool served = false;
  {
    SerialQueue queue("test.waits-for-main");
    queue.async([&] { MainQueue::sync([&] { served = true; }); });
    // Leaving the scope joins the queue on the main thread while its task waits for main: the
    // wait must serve the request instead of deadlocking. Nothing drains the loop meanwhile.
  }
  EXPECT_TRUE(served);
  loop.drain();  // the poster's copy of the request finds it already served
  EXPECT_TRUE(served);
}

TEST(MainQueueTest, NewPosterReplacesTheOldOneAtOnce) {
  std::vector<std::function<void()>> first;
  MainQueue::installPoster([&](std::function<void()> task) { first.push_back(std::move(task)); });
  MainQueue::shared().async([] {});
  test::ManualMainLoop loop;  // installs its own poster
  MainQueue::shared().async([] {});
  EXPECT_EQ(first.size(), 1u);
  EXPECT_EQ(loop.pending(), 1u);
}

}  // namespace
}  // namespace ml::dispatch
