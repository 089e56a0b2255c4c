#include "platform/store/Core.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "support/ManualMainLoop.h"

namespace ml::store {
namespace {

using dispatch::MainQueue;

// --- a small counter state --------------------------------------------------------------------

struct Added : Event {
  explicit Added(int n) : amount(n) {}
  int amount;
};

struct Marker : Event {};

struct Counter {
  int total = 0;
  int events = 0;
  void react(const Event& event) {
    ++events;
    if (auto added = event.as<Added>()) total += added->amount;
  }
  friend bool operator==(const Counter&, const Counter&) = default;
};

class RecordingSubscriber : public Subscriber<Counter> {
 public:
  void update(const Counter& state) override {
    std::lock_guard lock(mutex);
    states.push_back(state);
    if (!MainQueue::isMainThread()) offMain = true;
  }
  std::vector<Counter> seen() const {
    std::lock_guard lock(mutex);
    return states;
  }
  bool offMain = false;

 private:
  mutable std::mutex mutex;
  std::vector<Counter> states;
};

// Records each event with the state it was shown, which must be the state before the event.
class RecordingMiddleware : public Middleware<Counter> {
 public:
  void process(const Event& event, const Counter& state) override {
    std::lock_guard lock(mutex);
    totalsBefore.push_back(state.total);
    if (auto added = event.as<Added>()) amounts.push_back(added->amount);
  }
  std::mutex mutex;
  std::vector<int> totalsBefore;
  std::vector<int> amounts;
};

// Runs on the store's queue; posts to the main queue, which lets a test know that everything the
// store posted before it has already arrived.
class PostMarkerToMain : public Command<Counter> {
 public:
  explicit PostMarkerToMain(std::shared_ptr<std::atomic<bool>> flag) : flag_(std::move(flag)) {}
  void execute(const Counter&, Core<Counter>&) override {
    MainQueue::shared().async([flag = flag_] { flag->store(true); });
  }

 private:
  std::shared_ptr<std::atomic<bool>> flag_;
};

// Waits (serving the main loop) until everything fired on `core` before this call is handled and
// every subscriber update it caused has run.
void settle(Core<Counter>& core, test::ManualMainLoop& loop) {
  auto flag = std::make_shared<std::atomic<bool>>(false);
  core.fire(PostMarkerToMain(flag));
  ASSERT_TRUE(loop.drainUntil([&] { return flag->load(); }));
}

// Spins (without serving the main loop) until `done()`; false after a generous safety limit.
bool waitFor(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::yield();
  }
  return true;
}

// --- tests ------------------------------------------------------------------------------------

TEST(CoreTest, KeepsEachFiringThreadsOrderUnderContention) {
  constexpr int kThreads = 8;
  constexpr int kEventsPerThread = 10'000;

  struct Numbered : Event {
    Numbered(int t, int s) : thread(t), sequence(s) {}
    int thread;
    int sequence;
  };
  struct Sequences {
    std::array<int, kThreads> last{};  // last sequence seen per thread; they start at 1
    bool inOrder = true;
    int handled = 0;
    void react(const Event& event) {
      auto numbered = event.as<Numbered>();
      if (!numbered) return;
      if (numbered->sequence != last[numbered->thread] + 1) inOrder = false;
      last[numbered->thread] = numbered->sequence;
      ++handled;
    }
  };

  test::ManualMainLoop loop;
  Core<Sequences> core{Sequences{}};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&core, t] {
      for (int s = 1; s <= kEventsPerThread; ++s) core.fire(Numbered(t, s));
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(loop.drainUntil([&] { return core.state().handled == kThreads * kEventsPerThread; }));
  const auto state = core.state();
  EXPECT_TRUE(state.inOrder);
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(state.last[t], kEventsPerThread);
}

TEST(CoreTest, SubscribersRunOnlyOnTheMainQueue) {
  test::ManualMainLoop loop;
  Core<Counter> core{Counter{}};
  auto subscriber = std::make_shared<RecordingSubscriber>();
  core.add(subscriber);
  std::thread firing([&] {
    for (int i = 0; i < 200; ++i) core.fire(Added(1));
  });
  firing.join();
  settle(core, loop);
  const auto seen = subscriber->seen();
  ASSERT_EQ(seen.size(), 201u);  // the state at subscription, then one per event
  EXPECT_EQ(seen.back().total, 200);
  EXPECT_FALSE(subscriber->offMain);
}

TEST(CoreTest, SubscriberGetsEveryStateInFiringOrder) {
  test::ManualMainLoop loop;
  Core<Counter> core{Counter{}};
  auto subscriber = std::make_shared<RecordingSubscriber>();
  core.add(subscriber);
  for (int i = 1; i <= 4; ++i) core.fire(Added(i));
  settle(core, loop);
  std::vector<int> totals;
  for (const auto& state : subscriber->seen()) totals.push_back(state.total);
  EXPECT_EQ(totals, (std::vector<int>{0, 1, 3, 6, 10}));
}

TEST(CoreTest, SubscriberAddedLateGetsTheCurrentStateOnce) {
  test::ManualMainLoop loop;
  Core<Counter> core{Counter{}};
  core.fire(Added(5));
  core.fire(Added(7));
  settle(core, loop);

  auto late = std::make_shared<RecordingSubscriber>();
  core.add(late);
  settle(core, loop);
  EXPECT_EQ(late->seen(), (std::vector<Counter>{Counter{12, 2}}));
}

TEST(CoreTest, MiddlewareSeesEveryEventBeforeTheStateReacts) {
  test::ManualMainLoop loop;
  auto middleware = std::make_shared<RecordingMiddleware>();
  Core<Counter> core{Counter{}, {middleware}};
  for (int i = 1; i <= 100; ++i) core.fire(Added(i));
  core.fire(Marker{});
  settle(core, loop);

  ASSERT_EQ(middleware->amounts.size(), 100u);
  ASSERT_EQ(middleware->totalsBefore.size(), 101u);  // the marker too
  int total = 0;
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(middleware->amounts[i], i + 1);
    EXPECT_EQ(middleware->totalsBefore[i], total);
    total += i + 1;
  }
  EXPECT_EQ(middleware->totalsBefore[100], 5050);
}

TEST(CoreTest, RemovedMiddlewareSeesNoLaterEvents) {
  test::ManualMainLoop loop;
  Core<Counter> core{Counter{}};
  auto middleware = std::make_shared<RecordingMiddleware>();
  std::weak_ptr<RecordingMiddleware> weak = middleware;
  auto remove = core.add(middleware);
  core.fire(Added(1));
  settle(core, loop);
  remove();
  remove();  // twice is harmless
  core.fire(Added(2));
  settle(core, loop);
  EXPECT_EQ(middleware->amounts, (std::vector<int>{1}));
  middleware.reset();
  EXPECT_TRUE(weak.expired()) << "the store releases a removed middleware";
}

TEST(CoreTest, MiddlewareRemoverOutlivingTheStoreIsHarmless) {
  std::function<void()> remove;
  {
    test::ManualMainLoop loop;
    Core<Counter> core{Counter{}};
    remove = core.add(std::make_shared<RecordingMiddleware>());
  }
  remove();
}

TEST(CoreTest, RemovedSubscriberGetsNothingMoreAndIsReleased) {
  test::ManualMainLoop loop;
  std::function<void()> removeLater;
  {
    Core<Counter> core{Counter{}};
    auto kept = std::make_shared<RecordingSubscriber>();
    auto removed = std::make_shared<RecordingSubscriber>();
    auto never = std::make_shared<RecordingSubscriber>();
    std::weak_ptr<RecordingSubscriber> weakRemoved = removed;
    std::weak_ptr<RecordingSubscriber> weakNever = never;
    core.add(kept);
    auto remove = core.add(removed);
    core.fire(Added(1));
    settle(core, loop);
    core.fire(Added(2));  // its update is posted to the main queue but not run yet...
    core.add(never)();    // ...and this one goes before its first update is posted
    auto flag = std::make_shared<std::atomic<bool>>(false);
    core.fire(PostMarkerToMain(flag));
    ASSERT_TRUE(waitFor([&] { return loop.pending() > 0 && core.state().total == 3; }));
    remove();  // on the main thread, before the posted update runs: it must not arrive
    remove();  // twice is harmless
    ASSERT_TRUE(loop.drainUntil([&] { return flag->load(); }));
    core.fire(Added(4));
    settle(core, loop);

    EXPECT_EQ(kept->seen().back().total, 7);
    std::vector<int> totals;
    for (const auto& state : removed->seen()) totals.push_back(state.total);
    EXPECT_EQ(totals, (std::vector<int>{0, 1}));
    EXPECT_TRUE(never->seen().empty());
    removed.reset();
    never.reset();
    EXPECT_TRUE(weakRemoved.expired()) << "the store releases a removed subscriber";
    EXPECT_TRUE(weakNever.expired());
    removeLater = core.add(std::make_shared<RecordingSubscriber>());
  }
  removeLater();  // after the store is gone: harmless
}

TEST(CoreTest, StoreKeepsItsSubscribersAndMiddlewaresAlive) {
  test::ManualMainLoop loop;
  Core<Counter> core{Counter{}};
  auto subscriber = std::make_shared<RecordingSubscriber>();
  auto middleware = std::make_shared<RecordingMiddleware>();
  std::weak_ptr<RecordingSubscriber> weakSubscriber = subscriber;
  std::weak_ptr<RecordingMiddleware> weakMiddleware = middleware;
  core.add(std::move(subscriber));
  core.add(std::move(middleware));
  core.fire(Added(3));
  settle(core, loop);
  auto keptSubscriber = weakSubscriber.lock();
  auto keptMiddleware = weakMiddleware.lock();
  ASSERT_TRUE(keptSubscriber);
  ASSERT_TRUE(keptMiddleware);
  EXPECT_EQ(keptSubscriber->seen().back().total, 3);
  EXPECT_EQ(keptMiddleware->amounts, (std::vector<int>{3}));
}

TEST(CoreTest, CommandGetsTheCurrentStateAndCanFireBack) {
  // Makes the total ten times what the command was given.
  class MultiplyTotal : public Command<Counter> {
   public:
    void execute(const Counter& state, Core<Counter>& core) override { core.fire(Added(state.total * 9)); }
  };

  test::ManualMainLoop loop;
  Core<Counter> core{Counter{}};
  core.fire(Added(2));
  core.fire(Added(3));
  core.fire(MultiplyTotal{});
  // The command's own event is fired from the store's queue, after anything fired here now.
  ASSERT_TRUE(loop.drainUntil([&] { return core.state().events == 3; }));
  EXPECT_EQ(core.state().total, 50);
}

TEST(CoreTest, AcceptsSharedEventsAndCommandsAndIgnoresNullOnes) {
  class AddOne : public Command<Counter> {
   public:
    void execute(const Counter&, Core<Counter>& core) override { core.fire(Added(1)); }
  };
  test::ManualMainLoop loop;
  Core<Counter> core{Counter{}};
  core.fire(std::make_shared<const Added>(10));
  core.fire(std::shared_ptr<const Event>());
  core.fire(std::make_shared<AddOne>());
  core.fire(std::shared_ptr<Command<Counter>>());
  ASSERT_TRUE(loop.drainUntil([&] { return core.state().events == 2; }));
  EXPECT_EQ(core.state().total, 11);
}

TEST(CoreTest, StateIsReadableWhileTheStoreWaitsForTheMainThread) {
  // Asks the main thread for something while handling an event, as a reducer step that touches
  // the interface does.
  class AsksMain : public Middleware<Counter> {
   public:
    explicit AsksMain(std::atomic<bool>& asked) : asked_(asked) {}
    void process(const Event& event, const Counter&) override {
      if (event.as<Marker>()) MainQueue::sync([this] { asked_ = true; });
    }

   private:
    std::atomic<bool>& asked_;
  };

  test::ManualMainLoop loop;
  std::atomic<bool> asked{false};
  Core<Counter> core{Counter{}, {std::make_shared<AsksMain>(asked)}};
  core.fire(Added(4));
  core.fire(Marker{});
  core.fire(Added(6));
  // Without serving the main loop: once the store's request to the main thread is queued, the
  // store is stuck inside the marker, and state() must still answer, with the state before it.
  ASSERT_TRUE(waitFor([&] { return loop.pending() == 1; }));
  EXPECT_EQ(core.state(), (Counter{4, 1}));
  EXPECT_FALSE(asked.load());
  settle(core, loop);
  EXPECT_TRUE(asked.load());
  EXPECT_EQ(core.state(), (Counter{10, 3}));
}

TEST(CoreTest, DestructionHandlesEverythingAlreadyFired) {
  test::ManualMainLoop loop;
  auto subscriber = std::make_shared<RecordingSubscriber>();
  {
    Core<Counter> core{Counter{}};
    core.add(subscriber);
    for (int i = 0; i < 50; ++i) core.fire(Added(2));
  }
  loop.drain();
  EXPECT_EQ(subscriber->seen().back().total, 100);
}

TEST(CoreTest, DestroyingOnMainWhileTheStoreWaitsForMainDoesNotDeadlock) {
  class AsksMain : public Middleware<Counter> {
   public:
    void process(const Event&, const Counter&) override { MainQueue::sync([] {}); }
  };
  test::ManualMainLoop loop;
  {
    Core<Counter> core{Counter{}, {std::make_shared<AsksMain>()}};
    for (int i = 0; i < 5; ++i) core.fire(Added(1));
  }  // nothing drains the loop: the destructor's wait must serve the store's requests
  SUCCEED();
}

TEST(CoreTest, SubscriberOnAnotherQueueIsCalledThere) {
  test::ManualMainLoop loop;
  dispatch::SerialQueue other("test.subscriber");
  class OnOther : public Subscriber<Counter> {
   public:
    explicit OnOther(dispatch::SerialQueue& q) : queue(q) {}
    void update(const Counter& state) override {
      if (!queue.isCurrent()) wrongQueue = true;
      last = state.total;
    }
    dispatch::SerialQueue& queue;
    std::atomic<bool> wrongQueue{false};
    std::atomic<int> last{-1};
  };
  auto subscriber = std::make_shared<OnOther>(other);
  {
    Core<Counter> core{Counter{}};
    core.add(subscriber, other);
    core.fire(Added(8));
  }
  other.sync([] {});
  EXPECT_EQ(subscriber->last.load(), 8);
  EXPECT_FALSE(subscriber->wrongQueue.load());
}

}  // namespace
}  // namespace ml::store
