#include "util/Queue.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace ml::util {
namespace {

TEST(QueueTest, HandsElementsOutFirstInFirstOut) {
  Queue<int> queue;
  queue.enqueue(1);
  queue.enqueue(2);
  queue.enqueue(3);
  EXPECT_EQ(queue.dequeue(), 1);
  EXPECT_EQ(queue.dequeue(), 2);
  EXPECT_EQ(queue.dequeue(), 3);
  EXPECT_EQ(queue.dequeue(), std::nullopt);
  EXPECT_EQ(queue.count(), 0u);
  EXPECT_TRUE(queue.isEmpty());
}

TEST(QueueTest, FrontPeeksWithoutRemoving) {
  Queue<std::string> queue;
  EXPECT_EQ(queue.front(), std::nullopt);
  queue.enqueue("a");
  queue.enqueue("b");
  EXPECT_EQ(queue.front(), "a");
  EXPECT_EQ(queue.count(), 2u);
  queue.dequeue();
  EXPECT_EQ(queue.front(), "b");
  EXPECT_EQ(queue.count(), 1u);
}

TEST(QueueTest, CompactsOnlyWhenMoreThanAQuarterOfMoreThanFiftySlotsIsSpent) {
  Queue<int> queue;
  for (int i = 0; i < 60; ++i) queue.enqueue(i);
  for (int i = 0; i < 15; ++i) ASSERT_EQ(queue.dequeue(), i);
  EXPECT_EQ(queue.slotCount(), 60u) << "15 of 60 is exactly a quarter: no compaction yet";
  EXPECT_EQ(queue.dequeue(), 15);
  EXPECT_EQ(queue.slotCount(), 44u);
  EXPECT_EQ(queue.count(), 44u);
  for (int i = 16; i < 60; ++i) ASSERT_EQ(queue.dequeue(), i);
  EXPECT_TRUE(queue.isEmpty());
}

TEST(QueueTest, QueueOfAtMostFiftySlotsNeverCompacts) {
  Queue<int> queue;
  for (int i = 0; i < 50; ++i) queue.enqueue(i);
  for (int i = 0; i < 49; ++i) queue.dequeue();
  EXPECT_EQ(queue.slotCount(), 50u);
  EXPECT_EQ(queue.dequeue(), 49);
  EXPECT_EQ(queue.slotCount(), 50u);
  EXPECT_EQ(queue.dequeue(), std::nullopt);
}

TEST(QueueTest, KeepsOrderAcrossCompactionsWithInterleavedEnqueues) {
  Queue<std::unique_ptr<int>> queue;  // move-only elements work too
  int next = 0;
  int expected = 0;
  for (int round = 0; round < 100; ++round) {
    for (int i = 0; i < 7; ++i) queue.enqueue(std::make_unique<int>(next++));
    for (int i = 0; i < 5; ++i) {
      auto element = queue.dequeue();
      ASSERT_TRUE(element.has_value());
      ASSERT_EQ(**element, expected++);
    }
  }
  EXPECT_EQ(queue.count(), static_cast<std::size_t>(next - expected));
  EXPECT_LT(queue.slotCount(), 2u * queue.count() + 60u) << "spent slots are reclaimed";
}

}  // namespace
}  // namespace ml::util
