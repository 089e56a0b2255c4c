#pragma once
// One crash report per process death. The first thread to write the crash report claims the
// latch; the report it leaves is never opened again in this process. Without it, a second thread
// that faulted at the same moment would reopen (and truncate) the finished report once the first
// let go of the capture, and be killed by the first thread's re-raised signal halfway through,
// leaving an empty file for the next launch.
//
// The claim names the process that took it as well as the crashed thread. A child that shares
// this memory (made with vfork or clone(CLONE_VM), crashing before it exec'd) claims the same
// word, and its claim is not its parent's: a process sees only its own claims, so the parent's
// own crash later is still reported, and none of its threads waits for a child's report to end it.
// The process id is read from the kernel at every call, never from a cache.
//
// Async-signal-safe: one atomic word and bounded futex waits.
#include <cstdint>

#include "crashreporter/AsyncMemory.h"

namespace ml::crash {

// Claims the report for the crash of `crashed_thread`; false when this process already claimed a
// report (for any of its threads, for any crash). Crash time.
bool tlcrash_async_report_latch_claim(tlcrash_thread_t crashed_thread);

// The crashed thread whose report this process claimed; 0 while it claimed none. Crash time.
tlcrash_thread_t tlcrash_async_report_latch_owner();

// For a thread whose own crash found the report already claimed for another thread: waits for
// the process to end (the other thread's signal ends it), at most `wait_ns`, then returns so
// that the caller's own signal ends it instead. Crash time.
void tlcrash_async_report_latch_wait_for_end(uint64_t wait_ns);

}  // namespace ml::crash
