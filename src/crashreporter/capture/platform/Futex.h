#pragma once
// Bounded waits on a 32-bit word, and the monotonic clock they count against: the one way crash-
// time code waits for another thread. Every function is async-signal-safe (raw futex and
// clock_gettime system calls; no allocation, no locks).
#include <atomic>
#include <cstdint>

namespace ml::crash {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "futex words are plain 32-bit words");

inline constexpr uint64_t kNanosPerMilli = 1000 * 1000;
inline constexpr uint64_t kNanosPerSecond = 1000 * kNanosPerMilli;

// CLOCK_MONOTONIC in nanoseconds.
uint64_t tlcrash_async_monotonic_ns();

// Waits while `*word` holds `expected`, at most until `deadline_ns` (tlcrash_async_monotonic_ns
// time). Returns true once the word differs, false when the deadline passed first. Spurious
// wake-ups and signals are absorbed.
bool tlcrash_async_futex_wait_until(std::atomic<uint32_t>* word, uint32_t expected, uint64_t deadline_ns);

// Wakes every thread waiting on `word` (process-private waits).
void tlcrash_async_futex_wake(std::atomic<uint32_t>* word);

// Sleeps about `nanos`; for polling loops that have nothing to wait on.
void tlcrash_async_sleep_ns(uint64_t nanos);

}  // namespace ml::crash
