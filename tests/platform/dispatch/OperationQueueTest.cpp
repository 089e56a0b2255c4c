#include "platform/dispatch/OperationQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <vector>

#include "platform/dispatch/GlobalPool.h"

namespace ml::dispatch {
namespace {

using namespace std::chrono_literals;

// Lets a test hold operations inside their bodies until it opens the gate.
class Gate {
 public:
  void open() { promise_.set_value(); }
  bool pass() const { return future_.wait_for(30s) == std::future_status::ready; }

 private:
  std::promise<void> promise_;
  std::shared_future<void> future_ = promise_.get_future().share();
};

TEST(OperationQueueTest, NeverRunsMoreThanTheMaximumAtOnce) {
  GlobalPool pool(6, "test.ops");
  std::atomic<int> inside{0};
  std::atomic<int> peak{0};
  std::atomic<int> ran{0};
  {
    OperationQueue queue(pool, 2);
    for (int i = 0; i < 40; ++i) {
      queue.add([&](const Operation&) {
        const int now = ++inside;
        int seen = peak.load();
        while (now > seen && !peak.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::yield();
        --inside;
        ++ran;
      });
    }
    queue.waitUntilAllFinished();
    EXPECT_EQ(queue.operationCount(), 0u);
  }
  EXPECT_EQ(ran.load(), 40);
  EXPECT_LE(peak.load(), 2);
}

TEST(OperationQueueTest, OperationCancelledBeforeStartSkipsItsBodyButRunsItsCompletion) {
  GlobalPool pool(2, "test.ops");
  OperationQueue queue(pool, 1);
  Gate gate;
  queue.add([&](const Operation&) { gate.pass(); });  // occupies the only slot
  bool bodyRan = false;
  std::atomic<bool> completed{false};
  auto waiting = Operation::make([&](const Operation&) { bodyRan = true; });
  waiting->setCompletion([&] { completed = true; });
  queue.add(waiting);
  waiting->cancel();
  gate.open();
  waiting->waitUntilFinished();
  EXPECT_FALSE(bodyRan);
  EXPECT_TRUE(completed.load());
  EXPECT_TRUE(waiting->isFinished());
}

TEST(OperationQueueTest, RunningBodySeesCancellation) {
  GlobalPool pool(2, "test.ops");
  OperationQueue queue(pool);
  Gate started;
  Gate cancelled;
  std::atomic<bool> sawCancel{false};
  auto operation = queue.add([&](const Operation& self) {
    started.open();
    cancelled.pass();
    sawCancel = self.isCancelled();
  });
  started.pass();
  EXPECT_TRUE(operation->isExecuting());
  queue.cancelAll();
  cancelled.open();
  operation->waitUntilFinished();
  EXPECT_TRUE(sawCancel.load());
}

TEST(OperationQueueTest, DestructionCancelsAndWaitsForEverything) {
  GlobalPool pool(2, "test.ops");
  std::vector<std::shared_ptr<Operation>> operations;
  std::atomic<int> completions{0};
  {
    OperationQueue queue(pool, 1);
    for (int i = 0; i < 5; ++i) {
      auto operation = Operation::make([](const Operation& self) {
        while (!self.isCancelled()) std::this_thread::yield();
      });
      operation->setCompletion([&] { ++completions; });
      queue.add(operation);
      operations.push_back(operation);
    }
  }
  EXPECT_EQ(completions.load(), 5);
  for (auto& operation : operations) {
    EXPECT_TRUE(operation->isCancelled());
    EXPECT_TRUE(operation->isFinished());
  }
}

TEST(OperationQueueTest, AnOperationRunsOnceEvenWhenAddedTwice) {
  GlobalPool pool(2, "test.ops");
  std::atomic<int> ran{0};
  {
    OperationQueue first(pool);
    OperationQueue second(pool);
    auto operation = Operation::make([&](const Operation&) { ++ran; });
    first.add(operation);
    first.add(operation);
    second.add(operation);
    first.waitUntilAllFinished();
    second.waitUntilAllFinished();
  }
  EXPECT_EQ(ran.load(), 1);
}

TEST(OperationQueueTest, RaisingTheMaximumStartsWaitingOperations) {
  GlobalPool pool(4, "test.ops");
  OperationQueue queue(pool, 1);
  Gate release;
  Gate bothRunning;
  std::atomic<int> running{0};
  auto body = [&](const Operation&) {
    if (++running == 2) bothRunning.open();
    release.pass();
  };
  queue.add(body);
  queue.add(body);
  queue.setMaxConcurrentCount(2);
  EXPECT_TRUE(bothRunning.pass());
  release.open();
  queue.waitUntilAllFinished();
  EXPECT_EQ(queue.maxConcurrentCount(), 2);
}

}  // namespace
}  // namespace ml::dispatch
