#include "crashreporter/capture/ReportLatch.h"

#include <atomic>

#include "crashreporter/capture/platform/Futex.h"

namespace ml::crash {
namespace {
std::atomic<uint32_t> g_report_thread{0};  // the crashed thread of the claimed report, 0 when none
std::atomic<uint32_t> g_never_changes{0};  // what the waiting threads wait on
}  // namespace

// Crash time.
bool tlcrash_async_report_latch_claim(tlcrash_thread_t crashed_thread) {
  uint32_t none = 0;
  // A thread id is never 0; a zero argument still claims (as thread 1) so the latch holds.
  const uint32_t claimant = crashed_thread != 0 ? static_cast<uint32_t>(crashed_thread) : 1;
  return g_report_thread.compare_exchange_strong(none, claimant, std::memory_order_acq_rel);
}

// Crash time.
tlcrash_thread_t tlcrash_async_report_latch_owner() {
  return static_cast<tlcrash_thread_t>(g_report_thread.load(std::memory_order_acquire));
}

// Crash time.
void tlcrash_async_report_latch_wait_for_end(uint64_t wait_ns) {
  // The word never changes: this returns at the deadline (spurious wake-ups are absorbed).
  tlcrash_async_futex_wait_until(&g_never_changes, 0, tlcrash_async_monotonic_ns() + wait_ns);
}

}  // namespace ml::crash
