#include "crashreporter/capture/ReportLatch.h"

#include <atomic>
#include <sys/syscall.h>
#include <unistd.h>

#include "crashreporter/capture/platform/Futex.h"

namespace ml::crash {
namespace {

// The claim: the claiming process's id in the high half, the crashed thread in the low half; 0
// when none.
std::atomic<uint64_t> g_claim{0};
std::atomic<uint32_t> g_never_changes{0};  // what the waiting threads wait on

// Crash time.
uint64_t currentProcess() { return static_cast<uint32_t>(::syscall(SYS_getpid)); }

// Crash time.
bool claimedBy(uint64_t claim, uint64_t process) { return claim != 0 && (claim >> 32) == process; }

}  // namespace

// Crash time.
bool tlcrash_async_report_latch_claim(tlcrash_thread_t crashed_thread) {
  const uint64_t process = currentProcess();
  // A thread id is never 0; a zero argument still claims (as thread 1) so the latch holds.
  const uint64_t thread = crashed_thread != 0 ? static_cast<uint32_t>(crashed_thread) : 1;
  const uint64_t mine = (process << 32) | thread;
  uint64_t seen = g_claim.load(std::memory_order_acquire);
  for (;;) {
    if (claimedBy(seen, process)) return false;
    // Free, or a claim of another process sharing this memory, which says nothing of this one.
    if (g_claim.compare_exchange_weak(seen, mine, std::memory_order_acq_rel, std::memory_order_acquire)) return true;
  }
}

// Crash time.
tlcrash_thread_t tlcrash_async_report_latch_owner() {
  const uint64_t seen = g_claim.load(std::memory_order_acquire);
  if (!claimedBy(seen, currentProcess())) return 0;
  return static_cast<tlcrash_thread_t>(static_cast<uint32_t>(seen));
}

// Crash time.
void tlcrash_async_report_latch_wait_for_end(uint64_t wait_ns) {
  // The word never changes: this returns at the deadline (spurious wake-ups are absorbed).
  tlcrash_async_futex_wait_until(&g_never_changes, 0, tlcrash_async_monotonic_ns() + wait_ns);
}

}  // namespace ml::crash
