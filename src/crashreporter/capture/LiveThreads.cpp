#include "crashreporter/capture/LiveThreads.h"

#include "crashreporter/AsyncString.h"
#include "crashreporter/capture/platform/FaultRelay.h"
#include "crashreporter/capture/platform/ThreadStopper.h"
#include "crashreporter/unwind/FrameStatus.h"

namespace ml::crash {
namespace {

// A cursor is a plain value (two thread states and a few words): copied bytewise, as the cursor's
// own steps copy thread states.
// Crash time.
void tlframe_cursor_copy(tlframe_cursor_t* to, const tlframe_cursor_t* from) {
  tlcrash_async_memcpy(to, from, sizeof(*to));
}

constexpr const char* kNotStopped = "The thread did not stop within the time limit";
constexpr const char* kNoRoom = "No room to keep the thread's registers";

}  // namespace

// Crash time.
bool LiveThreads::listed(tlcrash_thread_t tid) const {
  for (uint32_t i = 0; i < count_; ++i) {
    if (entries_[i].tid == tid) return true;
  }
  return false;
}

// Crash time.
void LiveThreads::addNew(tlcrash_thread_t crashed, const tlcrash_async_thread_state_t* current_state) {
  const tlcrash_thread_t self = tl_mach_thread_self();
  for (uint32_t i = 0; i < list_.count && count_ < kMaxListedThreads; ++i) {
    const tlcrash_thread_t tid = list_.tids[i];
    if (listed(tid)) continue;
    Entry entry{tid, nullptr, nullptr, tid == crashed, false};
    const ucontext_t* context = nullptr;
    const siginfo_t* info = nullptr;
    if (tid == self) {
      if (current_state == nullptr) continue;  // the caller cannot walk itself without its registers
      entry.state = current_state;
    } else if (mach::tl_fault_relay_stopped_thread(tid, &context, &info)) {
      if (relayed_count_ < kRelayedCapacity) {
        tlcrash_async_thread_state_mcontext_init(&relayed_[relayed_count_], &context->uc_mcontext);
        entry.state = &relayed_[relayed_count_++];
      } else {
        entry.missing = kNoRoom;
      }
    } else {
      entry.stop_requested = true;
      pending_[pending_count_++] = tid;
    }
    entries_[count_++] = entry;
  }
}

// Crash time.
void LiveThreads::stop(tlcrash_thread_t crashed, const tlcrash_async_thread_state_t* current_state) {
  count_ = 0;
  for (WalkMemo& memo : memos_) {
    memo.frames = 0;
    memo.ended = false;
  }
  relayed_count_ = 0;
  bool listed_once = false;
  for (uint32_t round = 0; round < kRelistRounds; ++round) {
    if (tlcrash_async_thread_list_read(&list_) != TLCRASH_ESUCCESS) break;
    listed_once = true;
    pending_count_ = 0;
    addNew(crashed, current_state);
    if (pending_count_ == 0) break;  // nothing new appeared: every thread is accounted for
    tlcrash_async_threads_stop(pending_, pending_count_, kThreadStopAnswerTimeoutNs);
    stopped_any_ = true;
  }
  if (!listed_once) {
    // Without the kernel's list the report still gets the threads it knows: the caller and the
    // crashed thread.
    list_.count = 0;
    list_.tids[list_.count++] = tl_mach_thread_self();
    if (crashed != list_.tids[0]) list_.tids[list_.count++] = crashed;
    pending_count_ = 0;
    addNew(crashed, current_state);
    if (pending_count_ > 0) {
      tlcrash_async_threads_stop(pending_, pending_count_, kThreadStopAnswerTimeoutNs);
      stopped_any_ = true;
    }
  }
  for (uint32_t i = 0; i < count_; ++i) {
    Entry& entry = entries_[i];
    if (!entry.stop_requested) continue;
    entry.state = tlcrash_async_thread_stopped_state(entry.tid);
    if (entry.state == nullptr) entry.missing = kNotStopped;
  }
}

// Crash time.
void LiveThreads::resume() {
  if (stopped_any_) tlcrash_async_threads_resume();
  stopped_any_ = false;
}

// Crash time.
const char* LiveThreads::beginWalk(uint32_t thread) {
  const Entry& entry = entries_[thread];
  if (entry.state == nullptr) return entry.missing != nullptr ? entry.missing : kNotStopped;
  // Also what the register reads of the innermost frame see while a walk replays.
  tlframe_cursor_init(&cursor_, tlcrash_async_task_self(), entry.state, images_);
  walking_ = thread;
  position_ = 0;
  live_ = false;
  return nullptr;
}

// Crash time.
tlcrash_walk_step LiveThreads::step(uint64_t* pc, const char** error) {
  tlframe_error_t status = tlframe_cursor_next(&cursor_);
  if (status == TLFRAME_ENOFRAME) return tlcrash_walk_step::kEnd;
  if (status == TLFRAME_ESUCCESS) status = tlframe_cursor_get_reg(&cursor_, TLCRASH_REG_IP, pc);
  if (status != TLFRAME_ESUCCESS) {
    *error = tlframe_strerror(status);
    return tlcrash_walk_step::kError;
  }
  return tlcrash_walk_step::kFrame;
}

// Crash time.
tlcrash_walk_step LiveThreads::nextFrame(uint64_t* pc, const char** error) {
  if (walking_ >= kMemoThreads) return step(pc, error);
  WalkMemo& memo = memos_[walking_];
  if (!live_) {
    if (position_ < memo.frames) {
      *pc = memo_pcs_[walking_][position_++];
      return tlcrash_walk_step::kFrame;
    }
    if (memo.ended) {
      if (memo.end == tlcrash_walk_step::kError) *error = memo.error;
      return memo.end;
    }
    if (memo.frames > 0) tlframe_cursor_copy(&cursor_, &memo.cursor);
    live_ = true;
  }
  const tlcrash_walk_step result = step(pc, error);
  if (position_ == memo.frames) {  // this walk is the first to get this far: remember it
    if (result == tlcrash_walk_step::kFrame) {
      if (memo.frames < kMaxFramesPerStack) {
        memo_pcs_[walking_][memo.frames++] = *pc;
        tlframe_cursor_copy(&memo.cursor, &cursor_);
      }
    } else {
      memo.ended = true;
      memo.end = result;
      memo.error = result == tlcrash_walk_step::kError ? *error : nullptr;
    }
  }
  if (result == tlcrash_walk_step::kFrame) ++position_;
  return result;
}

// Crash time.
uint32_t LiveThreads::registerCount() { return tlframe_cursor_get_regcount(&cursor_); }

// Crash time.
const char* LiveThreads::registerName(uint32_t index) { return tlframe_cursor_get_regname(&cursor_, index); }

// Crash time.
bool LiveThreads::registerValue(uint32_t index, uint64_t* value, const char** error) {
  tlframe_error_t status = tlframe_cursor_get_reg(&cursor_, index, value);
  if (status == TLFRAME_ESUCCESS) return true;
  *error = tlframe_strerror(status);
  return false;
}

// Crash time.
void LiveThreads::endWalk() { tlframe_cursor_free(&cursor_); }

}  // namespace ml::crash
