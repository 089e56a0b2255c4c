#include "crashreporter/capture/platform/Futex.h"

#include <cerrno>
#include <ctime>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace ml::crash {

// Crash time.
uint64_t tlcrash_async_monotonic_ns() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * kNanosPerSecond + static_cast<uint64_t>(now.tv_nsec);
}

// Crash time.
bool tlcrash_async_futex_wait_until(std::atomic<uint32_t>* word, uint32_t expected, uint64_t deadline_ns) {
  int saved = errno;  // callers run inside signal handlers: leave errno as it was
  bool changed = true;
  while (word->load(std::memory_order_acquire) == expected) {
    uint64_t now = tlcrash_async_monotonic_ns();
    if (now >= deadline_ns) {
      changed = false;
      break;
    }
    uint64_t left = deadline_ns - now;
    timespec timeout{static_cast<time_t>(left / kNanosPerSecond), static_cast<long>(left % kNanosPerSecond)};
    ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT_PRIVATE, expected, &timeout, nullptr, 0);
  }
  errno = saved;
  return changed;
}

// Crash time.
void tlcrash_async_futex_wake(std::atomic<uint32_t>* word) {
  int saved = errno;
  ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE_PRIVATE, INT32_MAX, nullptr, nullptr, 0);
  errno = saved;
}

// Crash time.
void tlcrash_async_sleep_ns(uint64_t nanos) {
  timespec duration{static_cast<time_t>(nanos / kNanosPerSecond), static_cast<long>(nanos % kNanosPerSecond)};
  int saved = errno;
  while (::nanosleep(&duration, &duration) != 0 && errno == EINTR) {
  }
  errno = saved;
}

}  // namespace ml::crash
