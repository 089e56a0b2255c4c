#pragma once
// One capture at a time: the report writers (the crash paths and the live report) share the
// thread stopper's slots, the thread-list descriptor and the static scratch of the writer, so
// only one thread may capture at once.
//
// A second thread that crashes while a report is being written waits (bounded) for the first;
// when it gets in, it finds the report claimed (ReportLatch.h) and writes nothing. A
// thread that faults inside its own capture (a fault in the writer) is told so and must not write
// again.
//
// Async-signal-safe: one atomic word and futex waits.
#include <cstdint>

namespace ml::crash {

enum class tlcrash_capture_entry {
  kEntered,    // the caller owns the capture until tlcrash_async_capture_leave
  kRecursive,  // the caller already owns it: a fault inside the capture
  kBusy,       // another thread kept it past the wait
};

// How long a second crashing thread waits for the capture in progress.
inline constexpr uint64_t kCaptureWaitNs = 60ull * 1000 * 1000 * 1000;

tlcrash_capture_entry tlcrash_async_capture_enter(uint64_t wait_ns);
void tlcrash_async_capture_leave();

}  // namespace ml::crash
