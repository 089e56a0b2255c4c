#include "files/AutoExpiringCache.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "files/KnownSizes.h"
#include "platform/dispatch/ManualClock.h"

namespace ml::files {
namespace {

using namespace std::chrono_literals;

// Holds purge tasks until the test runs them, so "a purge still running" is a state to look at.
class HeldQueue : public dispatch::Queue {
 public:
  void async(std::function<void()> task) override { tasks.push_back(std::move(task)); }
  void runAll() {
    while (!tasks.empty()) {
      auto t = std::move(tasks.front());
      tasks.pop_front();
      t();
    }
  }
  std::deque<std::function<void()>> tasks;
};

class AutoExpiringCacheTest : public testing::Test {
 protected:
  dispatch::ManualClock clock;
  HeldQueue queue;
  AutoExpiringCache<int, FileSize> cache{120, 100, clock, queue};
};

TEST_F(AutoExpiringCacheTest, EntryLivesForItsTimeToLiveThenIsGone) {
  cache.set(1, FileSize{10, 20});
  clock.advance(10s);
  EXPECT_EQ(cache.get(1), (FileSize{10, 20}));
  clock.advance(111s);
  EXPECT_EQ(cache.get(1), std::nullopt);
  EXPECT_EQ(cache.size(), 0u);
}

TEST_F(AutoExpiringCacheTest, StoringNothingRemovesAndStoringAgainRestartsTheLifetime) {
  cache.set(1, FileSize{1, 1});
  cache.set(1, std::nullopt);
  EXPECT_EQ(cache.get(1), std::nullopt);
  cache.set(2, FileSize{1, 1});
  clock.advance(100s);
  cache.set(2, FileSize{2, 2});
  clock.advance(100s);
  EXPECT_EQ(cache.get(2), (FileSize{2, 2}));
}

TEST_F(AutoExpiringCacheTest, PassingMaxSizeSchedulesOnePurgeAtATime) {
  for (int i = 0; i < 100; ++i) cache.set(i, FileSize{i, i});
  EXPECT_TRUE(queue.tasks.empty());
  cache.set(100, FileSize{});
  EXPECT_EQ(queue.tasks.size(), 1u);
  cache.set(101, FileSize{});
  EXPECT_EQ(queue.tasks.size(), 1u);  // one still in flight
  queue.runAll();
  EXPECT_EQ(cache.size(), 102u);  // all fresh: nothing removed
  cache.set(102, FileSize{});
  EXPECT_EQ(queue.tasks.size(), 1u);  // the next store schedules another
}

TEST_F(AutoExpiringCacheTest, PurgeRemovesOnlyExpiredEntries) {
  for (int i = 0; i < 60; ++i) cache.set(i, FileSize{});
  clock.advance(121s);
  for (int i = 60; i < 150; ++i) cache.set(i, FileSize{});
  queue.runAll();
  cache.set(150, FileSize{});
  queue.runAll();
  EXPECT_EQ(cache.size(), 91u);
}

// A purge still queued holds the cache weakly: the cache and its values go with their owner, and
// the purge that runs later finds nothing to touch (a use after free the sanitizer build sees).
TEST_F(AutoExpiringCacheTest, PurgeOfAGoneCacheDoesNothing) {
  auto value = std::make_shared<int>(7);
  auto owned = std::make_unique<AutoExpiringCache<int, std::shared_ptr<int>>>(1, 0, clock, queue);
  owned->set(1, value);
  ASSERT_TRUE(owned->isPurging());
  ASSERT_EQ(queue.tasks.size(), 1u);
  EXPECT_EQ(value.use_count(), 2);
  owned.reset();
  EXPECT_EQ(value.use_count(), 1);  // freed with the cache, though its purge is still queued
  queue.runAll();
  EXPECT_TRUE(queue.tasks.empty());
  EXPECT_EQ(value.use_count(), 1);
}

TEST(KnownSizes, IsOneSharedCacheKeyedByPath) {
  knownSizes().set(Path("/some/folder"), FileSize{5, 5});
  EXPECT_EQ(knownSizes().get(Path("/some/folder")), (FileSize{5, 5}));
}

}  // namespace
}  // namespace ml::files
