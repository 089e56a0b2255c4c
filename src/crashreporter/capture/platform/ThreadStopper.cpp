#include "crashreporter/capture/platform/ThreadStopper.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include "crashreporter/capture/platform/Futex.h"

namespace ml::crash {
namespace {

// Phases of a slot. The slot's word holds the phase in its low 4 bits and the capture's
// generation above them, so a handler that answers a capture long gone can never claim the same
// slot in a later capture. The word is also the futex both sides wait on.
enum : uint32_t {
  kIdle = 0,        // unused in this capture
  kRequested = 1,   // the signal was sent; the thread has not answered yet
  kPublishing = 2,  // the thread claimed the slot and is copying its registers
  kStopped = 3,     // the registers are published; the thread waits
  kResumed = 4,     // the capturer let it go
  kAbandoned = 5,   // no answer in time, or the thread is gone
};
constexpr uint32_t kPhaseBits = 4;
constexpr uint32_t kPhaseMask = (1u << kPhaseBits) - 1;

// Crash time.
constexpr uint32_t word(uint32_t generation, uint32_t phase) { return (generation << kPhaseBits) | phase; }
// Crash time.
constexpr uint32_t phaseOf(uint32_t w) { return w & kPhaseMask; }
// Crash time.
constexpr uint32_t generationOf(uint32_t w) { return w >> kPhaseBits; }

// How long the capturer gives a thread that claimed its slot to finish copying its registers.
constexpr uint64_t kPublishGraceNs = 100 * kNanosPerMilli;

struct StopSlot {
  std::atomic<int32_t> tid{0};
  std::atomic<uint32_t> state_word{kIdle};
  tlcrash_async_thread_state_t state;
};

// Static storage: the capture never allocates. Slots [0, g_slot_count) belong to the capture
// in progress; the handler only looks at those.
StopSlot g_slots[kMaxListedThreads];
std::atomic<uint32_t> g_slot_count{0};
std::atomic<uint32_t> g_generation{0};
std::atomic<int> g_stop_signal{0};

// Crash time.
pid_t currentTid() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

}  // namespace

// Crash time: the stop handler. Runs on the stopped thread with every signal blocked. A linear
// search, a register copy, futex waits; errno is preserved.
void tlcrash_async_thread_stop_handler(int, siginfo_t* info, void* context) {
  int saved_errno = errno;
  // Only our own tgkill counts: a stray kill(2) of this signal from elsewhere is ignored.
  if (info->si_code != SI_TKILL || info->si_pid != ::getpid()) {
    errno = saved_errno;
    return;
  }
  const int32_t self = currentTid();
  uint32_t count = g_slot_count.load(std::memory_order_acquire);
  for (uint32_t i = 0; i < count; ++i) {
    StopSlot& slot = g_slots[i];
    if (slot.tid.load(std::memory_order_acquire) != self) continue;
    uint32_t requested = slot.state_word.load(std::memory_order_acquire);
    if (phaseOf(requested) != kRequested) continue;
    const uint32_t generation = generationOf(requested);
    // Claim the slot before touching it: the claim fails for a slot of another capture.
    if (!slot.state_word.compare_exchange_strong(requested, word(generation, kPublishing), std::memory_order_acq_rel)) {
      continue;
    }
    tlcrash_async_thread_state_mcontext_init(&slot.state, &static_cast<ucontext_t*>(context)->uc_mcontext);
    const uint32_t stopped = word(generation, kStopped);
    slot.state_word.store(stopped, std::memory_order_release);
    tlcrash_async_futex_wake(&slot.state_word);
    tlcrash_async_futex_wait_until(&slot.state_word, stopped, tlcrash_async_monotonic_ns() + kStoppedThreadMaxWaitNs);
    break;
  }
  errno = saved_errno;
}

// Crash time.
void tlcrash_nasync_thread_stopper_set_signal(int signo) { g_stop_signal.store(signo, std::memory_order_release); }

// Crash time.
int tlcrash_async_thread_stopper_signal() { return g_stop_signal.load(std::memory_order_acquire); }

// Crash time.
uint32_t tlcrash_async_threads_stop(const tlcrash_thread_t* tids, uint32_t count, uint64_t answer_timeout_ns) {
  const int signo = g_stop_signal.load(std::memory_order_acquire);
  if (signo == 0) return 0;
  const pid_t pid = ::getpid();
  const uint32_t first = g_slot_count.load(std::memory_order_relaxed);
  if (first == 0) g_generation.fetch_add(1, std::memory_order_relaxed);  // a new capture
  const uint32_t generation = g_generation.load(std::memory_order_relaxed) & (UINT32_MAX >> kPhaseBits);
  uint32_t used = first;
  for (uint32_t i = 0; i < count && used < kMaxListedThreads; ++i) {
    StopSlot& slot = g_slots[used];
    slot.tid.store(tids[i], std::memory_order_relaxed);
    slot.state_word.store(word(generation, kRequested), std::memory_order_relaxed);
    ++used;
  }
  // Publish the slots before any thread can be asked.
  g_slot_count.store(used, std::memory_order_release);
  for (uint32_t i = first; i < used; ++i) {
    StopSlot& slot = g_slots[i];
    if (::syscall(SYS_tgkill, pid, slot.tid.load(std::memory_order_relaxed), signo) != 0) {
      slot.state_word.store(word(generation, kAbandoned), std::memory_order_release);  // the thread has exited
    }
  }

  const uint64_t deadline = tlcrash_async_monotonic_ns() + answer_timeout_ns;
  uint32_t stopped = 0;
  for (uint32_t i = first; i < used; ++i) {
    StopSlot& slot = g_slots[i];
    uint32_t requested = word(generation, kRequested);
    if (!tlcrash_async_futex_wait_until(&slot.state_word, requested, deadline)) {
      // It may claim the slot between the timeout and this exchange: then it is let finish.
      slot.state_word.compare_exchange_strong(requested, word(generation, kAbandoned), std::memory_order_acq_rel);
    }
    tlcrash_async_futex_wait_until(&slot.state_word, word(generation, kPublishing),
                                   tlcrash_async_monotonic_ns() + kPublishGraceNs);
    if (phaseOf(slot.state_word.load(std::memory_order_acquire)) == kStopped) ++stopped;
  }
  return stopped;
}

// Crash time.
const tlcrash_async_thread_state_t* tlcrash_async_thread_stopped_state(tlcrash_thread_t tid) {
  uint32_t count = g_slot_count.load(std::memory_order_acquire);
  for (uint32_t i = 0; i < count; ++i) {
    if (g_slots[i].tid.load(std::memory_order_relaxed) == tid &&
        phaseOf(g_slots[i].state_word.load(std::memory_order_acquire)) == kStopped) {
      return &g_slots[i].state;
    }
  }
  return nullptr;
}

// Crash time.
void tlcrash_async_threads_resume() {
  uint32_t count = g_slot_count.load(std::memory_order_acquire);
  // Forget the slots first: a late handler then finds nothing to answer.
  g_slot_count.store(0, std::memory_order_release);
  for (uint32_t i = 0; i < count; ++i) {
    StopSlot& slot = g_slots[i];
    uint32_t current = slot.state_word.load(std::memory_order_acquire);
    // A thread still publishing would miss a plain store; it finishes within the grace period.
    while (phaseOf(current) == kPublishing) {
      tlcrash_async_futex_wait_until(&slot.state_word, current, tlcrash_async_monotonic_ns() + kPublishGraceNs);
      uint32_t next = slot.state_word.load(std::memory_order_acquire);
      if (next == current) break;
      current = next;
    }
    slot.state_word.store(word(generationOf(current), kResumed), std::memory_order_release);
    if (phaseOf(current) == kStopped) tlcrash_async_futex_wake(&slot.state_word);
    slot.tid.store(0, std::memory_order_relaxed);
  }
}

}  // namespace ml::crash
