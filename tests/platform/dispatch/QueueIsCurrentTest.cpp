#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/GlobalPool.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/SerialQueue.h"
#include "support/ManualMainLoop.h"

namespace ml::dispatch {
namespace {

// Through the common interface, each kind of queue says yes inside its own tasks only: not on
// the posting thread, not on a plain thread, not inside another queue's task.
TEST(QueueIsCurrentTest, EveryKindOfQueueKnowsItsOwnTasksOnly) {
  test::ManualMainLoop loop;  // this thread is the main one
  SerialQueue serial("test.current.serial");
  GlobalPool pool(2, "test.current.pool");
  SerialQueue other("test.current.other");
  struct Case {
    std::string name;
    Queue* queue;
  };
  const std::vector<Case> cases{{"serial", &serial}, {"pool", &pool}, {"main", &MainQueue::shared()}};

  for (const auto& [name, queue] : cases) {
    std::promise<bool> inside;
    queue->async([&, q = queue] { inside.set_value(q->isCurrent()); });
    auto answer = inside.get_future();
    if (queue == &MainQueue::shared()) loop.drain();
    EXPECT_TRUE(answer.get()) << name;

    std::promise<bool> fromOther;
    other.async([&, q = queue] { fromOther.set_value(q->isCurrent()); });
    EXPECT_FALSE(fromOther.get_future().get()) << name;

    bool fromPlainThread = true;
    std::thread([&, q = queue] { fromPlainThread = q->isCurrent(); }).join();
    EXPECT_FALSE(fromPlainThread) << name;
  }
  EXPECT_FALSE(serial.isCurrent());
  EXPECT_FALSE(pool.isCurrent());
  EXPECT_TRUE(MainQueue::shared().isCurrent());
}

}  // namespace
}  // namespace ml::dispatch
