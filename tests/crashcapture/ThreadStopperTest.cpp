// Stopping the other threads of this process: each stopped thread publishes the registers it was
// interrupted at and goes on when resumed; a thread that cannot be stopped is given up; the
// thread list sees every thread; one capture at a time.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <pthread.h>
#include <string>
#include <thread>
#include <vector>

#include "crashreporter/capture/CaptureGuard.h"
#include "crashreporter/capture/ThreadStateCurrent.h"
#include "crashreporter/capture/platform/ThreadList.h"
#include "crashreporter/capture/platform/ThreadStopper.h"
#include "crashreporter/image/ImageSymbolSource.h"
#include "crashreporter/image/LoadedImages.h"
#include "crashreporter/unwind/FrameCursor.h"
#include "crashreporter/unwind/ImageListUnwindLookup.h"

extern "C" __attribute__((noinline, used)) void crashcapture_stopper_spin(std::atomic<bool>* done,
                                                                           std::atomic<uint64_t>* counter) {
  while (!done->load(std::memory_order_relaxed)) counter->fetch_add(1, std::memory_order_relaxed);
}

namespace ml::crash {
namespace {

constexpr uint64_t kAnswerTimeout = 2ull * 1000 * 1000 * 1000;

// Threads that spin in crashcapture_stopper_spin until told to end.
class Spinners {
 public:
  explicit Spinners(int count) : counters_(static_cast<size_t>(count)), tids_(static_cast<size_t>(count)) {
    for (int i = 0; i < count; ++i) {
      threads_.emplace_back([this, i] {
        tids_[static_cast<size_t>(i)] = tl_mach_thread_self();
        crashcapture_stopper_spin(&done_, &counters_[static_cast<size_t>(i)]);
      });
    }
    for (auto& tid : tids_) {
      while (tid.load() == 0) std::this_thread::yield();
    }
  }
  ~Spinners() {
    done_ = true;
    for (auto& thread : threads_) thread.join();
  }
  std::vector<tlcrash_thread_t> tids() const {
    std::vector<tlcrash_thread_t> out;
    for (const auto& tid : tids_) out.push_back(tid.load());
    return out;
  }
  uint64_t counter(size_t i) const { return counters_[i].load(); }

 private:
  std::atomic<bool> done_{false};
  std::vector<std::atomic<uint64_t>> counters_;
  std::vector<std::atomic<tlcrash_thread_t>> tids_;
  std::vector<std::thread> threads_;
};

class ThreadStopper : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(tlcrash_nasync_thread_stopper_prepare(), 0); }
};

TEST_F(ThreadStopper, StoppedThreadsPublishWhereTheyWereAndGoOnWhenResumed) {
  Spinners spinners(8);
  std::vector<tlcrash_thread_t> tids = spinners.tids();
  ASSERT_EQ(tlcrash_async_threads_stop(tids.data(), static_cast<uint32_t>(tids.size()), kAnswerTimeout), tids.size());

  // While stopped, the counters stand still and each thread's pc is in the spin loop.
  std::vector<uint64_t> before;
  for (size_t i = 0; i < tids.size(); ++i) before.push_back(spinners.counter(i));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  tlcrash_nasync_shared_image_list_start();
  tlcrash_async_symbol_cache cache;
  tlcrash_async_symbol_cache_init(&cache);
  ImageSymbolSource symbols(tlcrash_shared_image_list(), &cache);
  for (size_t i = 0; i < tids.size(); ++i) {
    EXPECT_EQ(spinners.counter(i), before[i]) << "thread " << i << " kept running";
    const tlcrash_async_thread_state_t* state = tlcrash_async_thread_stopped_state(tids[i]);
    ASSERT_NE(state, nullptr);
    // The loop itself, or a helper it calls (instrumented builds call out on every comparison).
    ImageListUnwindLookup images(tlcrash_shared_image_list());
    tlframe_cursor_t cursor;
    tlframe_cursor_init(&cursor, tlcrash_async_task_self(), state, &images);
    bool in_loop = false;
    for (int frame = 0; frame < 3 && !in_loop && tlframe_cursor_next(&cursor) == TLFRAME_ESUCCESS; ++frame) {
      uint64_t pc = 0;
      tlcrash_symbol symbol{};
      tlframe_cursor_get_reg(&cursor, TLCRASH_REG_IP, &pc);
      in_loop = symbols.lookup(pc, 1, &symbol) && std::string(symbol.name) == "crashcapture_stopper_spin";
    }
    tlframe_cursor_free(&cursor);
    EXPECT_TRUE(in_loop) << "thread " << i << " was stopped outside its loop";
  }
  tlcrash_async_symbol_cache_free(&cache);

  tlcrash_async_threads_resume();
  for (size_t i = 0; i < tids.size(); ++i) {
    while (spinners.counter(i) == before[i]) std::this_thread::yield();  // it moves again
  }
  EXPECT_EQ(tlcrash_async_thread_stopped_state(tids[0]), nullptr) << "the slots are forgotten";
}

TEST_F(ThreadStopper, ThreadBlockingTheStopSignalIsGivenUp) {
  std::atomic<bool> done{false};
  std::atomic<tlcrash_thread_t> tid{0};
  std::thread deaf([&] {
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, tlcrash_async_thread_stopper_signal());
    ::pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
    tid = tl_mach_thread_self();
    while (!done.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  while (tid.load() == 0) std::this_thread::yield();
  Spinners spinner(1);
  const tlcrash_thread_t tids[2] = {tid.load(), spinner.tids()[0]};
  EXPECT_EQ(tlcrash_async_threads_stop(tids, 2, 100 * 1000 * 1000), 1u);
  EXPECT_EQ(tlcrash_async_thread_stopped_state(tids[0]), nullptr);
  EXPECT_NE(tlcrash_async_thread_stopped_state(tids[1]), nullptr);
  tlcrash_async_threads_resume();
  done = true;
  deaf.join();  // it takes the pending stop signal on its way out and finds nothing to answer
}

TEST_F(ThreadStopper, ExitedThreadIsNotWaitedFor) {
  tlcrash_thread_t gone = 0;
  std::thread([&] { gone = tl_mach_thread_self(); }).join();
  EXPECT_EQ(tlcrash_async_threads_stop(&gone, 1, kAnswerTimeout), 0u);
  EXPECT_EQ(tlcrash_async_thread_stopped_state(gone), nullptr);
  tlcrash_async_threads_resume();
}

TEST(ThreadList, ListsEveryThreadOfTheProcess) {
  Spinners spinners(5);
  tlcrash_async_thread_list list;
  ASSERT_EQ(tlcrash_async_thread_list_read(&list), TLCRASH_ESUCCESS);
  EXPECT_FALSE(list.truncated);
  EXPECT_TRUE(tlcrash_async_thread_list_contains(&list, tl_mach_thread_self()));
  for (tlcrash_thread_t tid : spinners.tids()) EXPECT_TRUE(tlcrash_async_thread_list_contains(&list, tid));

  ASSERT_EQ(tlcrash_nasync_thread_list_prepare(), 0);  // the prepared descriptor gives the same answer
  tlcrash_async_thread_list again;
  ASSERT_EQ(tlcrash_async_thread_list_read(&again), TLCRASH_ESUCCESS);
  EXPECT_EQ(again.count, list.count);
}

TEST(CaptureGuard, OneCaptureAtATime) {
  ASSERT_EQ(tlcrash_async_capture_enter(0), tlcrash_capture_entry::kEntered);
  EXPECT_EQ(tlcrash_async_capture_enter(0), tlcrash_capture_entry::kRecursive);
  tlcrash_capture_entry other = tlcrash_capture_entry::kEntered;
  std::thread([&] { other = tlcrash_async_capture_enter(10 * 1000 * 1000); }).join();
  EXPECT_EQ(other, tlcrash_capture_entry::kBusy);
  tlcrash_async_capture_leave();
  std::thread([&] {
    other = tlcrash_async_capture_enter(0);
    tlcrash_async_capture_leave();
  }).join();
  EXPECT_EQ(other, tlcrash_capture_entry::kEntered);
}

struct Walked {
  uint64_t pcs[8] = {};
  uint32_t frames = 0;
};

tlcrash_error_t walkCaptured(tlcrash_async_thread_state_t* state, void* context) {
  auto* walked = static_cast<Walked*>(context);
  ImageListUnwindLookup images(tlcrash_shared_image_list());
  tlframe_cursor_t cursor;
  tlframe_cursor_init(&cursor, tlcrash_async_task_self(), state, &images);
  while (walked->frames < 8 && tlframe_cursor_next(&cursor) == TLFRAME_ESUCCESS) {
    tlframe_cursor_get_reg(&cursor, TLCRASH_REG_IP, &walked->pcs[walked->frames++]);
  }
  tlframe_cursor_free(&cursor);
  return TLCRASH_ESUCCESS;
}

__attribute__((noinline)) uint64_t captureHere(Walked* walked, uint64_t* return_address) {
  *return_address = reinterpret_cast<uint64_t>(__builtin_return_address(0));
  tlcrash_async_thread_state_current(walkCaptured, walked);
  asm volatile("" ::: "memory");
  return walked->frames;
}

TEST(ThreadStateCurrent, CapturedStateWalksFromTheCallerOutwards) {
  tlcrash_nasync_shared_image_list_start();
  Walked walked;
  uint64_t into_test = 0;
  captureHere(&walked, &into_test);
  ASSERT_GE(walked.frames, 2u);
  // Frame 0 is inside captureHere (just after its call), frame 1 its return into this test.
  EXPECT_EQ(walked.pcs[1], into_test);
}

}  // namespace
}  // namespace ml::crash
