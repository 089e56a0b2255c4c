#include "crashreporter/capture/CaptureGuard.h"

#include <atomic>
#include <sys/syscall.h>
#include <unistd.h>

#include "crashreporter/capture/platform/Futex.h"

namespace ml::crash {
namespace {
std::atomic<uint32_t> g_owner{0};  // thread id of the capturing thread, 0 when none
}  // namespace

// Crash time.
tlcrash_capture_entry tlcrash_async_capture_enter(uint64_t wait_ns) {
  const auto self = static_cast<uint32_t>(::syscall(SYS_gettid));
  const uint64_t deadline = tlcrash_async_monotonic_ns() + wait_ns;
  for (;;) {
    uint32_t owner = 0;
    if (g_owner.compare_exchange_strong(owner, self, std::memory_order_acq_rel)) return tlcrash_capture_entry::kEntered;
    if (owner == self) return tlcrash_capture_entry::kRecursive;
    if (!tlcrash_async_futex_wait_until(&g_owner, owner, deadline)) return tlcrash_capture_entry::kBusy;
  }
}

// Crash time.
void tlcrash_async_capture_leave() {
  g_owner.store(0, std::memory_order_release);
  tlcrash_async_futex_wake(&g_owner);
}

}  // namespace ml::crash
