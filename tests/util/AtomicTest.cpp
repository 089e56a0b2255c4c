#include "util/Atomic.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace ml::util {
namespace {

TEST(AtomicTest, CompareAndSetFromFalseSucceedsOnlyOnce) {
  Atomic<bool> initialized(false);
  EXPECT_TRUE(initialized.compare(false, true));
  EXPECT_EQ(initialized.value(), true);
  EXPECT_FALSE(initialized.compare(false, true));
  EXPECT_EQ(initialized.value(), true);
}

TEST(AtomicTest, AbsentValueComparesEqualOnlyToAbsent) {
  Atomic<std::string> value;
  EXPECT_FALSE(value.compare(std::string("x"), std::string("y")));
  EXPECT_EQ(value.value(), std::nullopt);
  EXPECT_TRUE(value.compare(std::nullopt, std::string("set")));
  EXPECT_EQ(value.value(), "set");
  EXPECT_FALSE(value.compare(std::nullopt, std::string("again")));
  EXPECT_TRUE(value.compare(std::string("set"), std::nullopt));
  EXPECT_EQ(value.value(), std::nullopt);
}

TEST(AtomicTest, IncrementAndDecrementReturnTheNewValue) {
  Atomic<int> counter(5);
  EXPECT_EQ(counter.incrementAndGet(), 6);
  EXPECT_EQ(counter.decrementAndGet(), 5);
  EXPECT_EQ(counter.value(), 5);
}

TEST(AtomicTest, IncrementOfAnAbsentValueStartsFromZero) {
  Atomic<int> counter;
  EXPECT_EQ(counter.incrementAndGet(), 1);
  Atomic<int> other;
  EXPECT_EQ(other.decrementAndGet(), -1);
}

TEST(AtomicTest, IncrementStopsAtTheEndsOfTheRange) {
  Atomic<int> high(std::numeric_limits<int>::max());
  EXPECT_EQ(high.incrementAndGet(), std::numeric_limits<int>::max());
  Atomic<int> low(std::numeric_limits<int>::min());
  EXPECT_EQ(low.decrementAndGet(), std::numeric_limits<int>::min());
}

TEST(AtomicTest, CountsExactlyUnderContention) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 20'000;
  Atomic<int> counter(0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        // Half the threads add two and take one away, the rest only add: net kThreads * kRounds.
        if (t % 2 == 0) {
          counter.incrementAndGet();
          counter.incrementAndGet();
          counter.decrementAndGet();
        } else {
          counter.incrementAndGet();
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter.value(), kThreads * kRounds);
}

TEST(AtomicTest, ExactlyOneOfManyRacingCompareAndSetsWins) {
  constexpr int kThreads = 8;
  for (int round = 0; round < 200; ++round) {
    Atomic<bool> flag(false);
    std::atomic<int> winners{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&] {
        while (!go.load()) std::this_thread::yield();
        if (flag.compare(false, true)) ++winners;
      });
    }
    go = true;
    for (auto& thread : threads) thread.join();
    ASSERT_EQ(winners.load(), 1) << "round " << round;
  }
}

}  // namespace
}  // namespace ml::util
