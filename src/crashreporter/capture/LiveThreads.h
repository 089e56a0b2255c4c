#pragma once
// The writer's view of this process's threads at crash time (ThreadSource): every thread the
// kernel lists, stopped for the time of the report, each walked from its registers with the frame
// cursor over the image list.
//
// Where each thread's registers come from:
//   - the calling thread: the state its caller captured (a signal's context, or the current-
//     thread capture); without one, the calling thread is left out (it cannot walk itself);
//   - a thread waiting in the fault relay for its exception to be handled: its faulting context;
//   - every other thread: stopped by the thread stopper, which hands back its interrupted
//     registers; a thread that does not stop in time is written without frames.
// Threads that appear while the others are being stopped are listed and stopped too (up to
// kRelistRounds times).
//
// The writer walks each thread several times (to size its messages, to fit the report under its
// limit, to write it). Each walk of the first kMemoThreads threads is remembered as it goes: its
// frames (up to kMaxFramesPerStack), how it ended, and the cursor after its last frame, so a
// later walk replays what is known and steps only past it. Walks are deterministic (the threads
// are stopped), so a replay yields exactly what stepping would.
//
// Crash time: everything is async-signal-safe. The object is large (it holds the thread list
// and a slot per thread), so crash paths keep it in static storage, never on the stack; it
// belongs to the capturing thread, which holds the capture guard.
#include <cstdint>

#include "crashreporter/AsyncMemory.h"
#include "crashreporter/CrashSources.h"
#include "crashreporter/MessageWriters.h"
#include "crashreporter/capture/platform/ThreadList.h"
#include "crashreporter/unwind/FrameCursor.h"
#include "crashreporter/unwind/UnwindImageLookup.h"

namespace ml::crash {

class LiveThreads final : public ThreadSource {
 public:
  static constexpr uint32_t kRelistRounds = 3;
  // Threads stopped in an exception whose registers are kept here.
  static constexpr uint32_t kRelayedCapacity = 16;
  // Threads whose walks are remembered.
  static constexpr uint32_t kMemoThreads = 128;

  explicit LiveThreads(UnwindImageLookup* images) : images_(images) {}

  // Lists and stops the threads. `crashed` is the thread to mark as crashed (it may be the
  // calling thread); `current_state` the calling thread's registers, or null.
  void stop(tlcrash_thread_t crashed, const tlcrash_async_thread_state_t* current_state);
  // Lets the stopped threads go on.
  void resume();
  // Whether stop() stopped any thread that resume() has not let go yet.
  bool stoppedAny() const { return stopped_any_; }

  // The thread id behind a thread index (for tests and diagnostics).
  tlcrash_thread_t threadId(uint32_t thread) const { return entries_[thread].tid; }

  uint32_t threadCount() override { return count_; }
  bool isCrashed(uint32_t thread) override { return entries_[thread].crashed; }
  const char* beginWalk(uint32_t thread) override;
  tlcrash_walk_step nextFrame(uint64_t* pc, const char** error) override;
  uint32_t registerCount() override;
  const char* registerName(uint32_t index) override;
  bool registerValue(uint32_t index, uint64_t* value, const char** error) override;
  void endWalk() override;

 private:
  struct Entry {
    tlcrash_thread_t tid;
    const tlcrash_async_thread_state_t* state;  // null: no registers (see `missing`)
    const char* missing;
    bool crashed;
    bool stop_requested;
  };

  struct WalkMemo {
    uint32_t frames;          // pcs recorded
    bool ended;               // how the walk ends is known
    tlcrash_walk_step end;    // kEnd or kError
    const char* error;        // with kError
    tlframe_cursor_t cursor;  // after the last recorded frame
  };

  tlcrash_walk_step step(uint64_t* pc, const char** error);
  bool listed(tlcrash_thread_t tid) const;
  // Adds the threads of list_ that are not listed yet; those that need the stopper go to pending_.
  void addNew(tlcrash_thread_t crashed, const tlcrash_async_thread_state_t* current_state);

  UnwindImageLookup* images_;
  Entry entries_[kMaxListedThreads];
  uint32_t count_ = 0;
  tlcrash_async_thread_list list_;
  tlcrash_thread_t pending_[kMaxListedThreads];
  uint32_t pending_count_ = 0;
  tlcrash_async_thread_state_t relayed_[kRelayedCapacity];
  uint32_t relayed_count_ = 0;
  bool stopped_any_ = false;
  tlframe_cursor_t cursor_;
  WalkMemo memos_[kMemoThreads];
  uint64_t memo_pcs_[kMemoThreads][kMaxFramesPerStack];
  uint32_t walking_ = 0;   // the thread being walked
  uint32_t position_ = 0;  // frames produced by this walk
  bool live_ = false;      // this walk steps cursor_ (past what its memo knows)
};

}  // namespace ml::crash
