#pragma once
// Stopping the other threads of this process and reading their registers: the stand-in for
// suspending a task's threads and fetching their thread state.
//
// Signal flow (one capture at a time; the caller holds the capture guard, CaptureGuard.h):
//
//   capturing thread                                   each other thread
//   ----------------                                   -----------------
//   slot = {tid, REQUESTED}; tgkill(tid, stop signal) ->  stop handler (any stack, all signals
//   wait on the slot's word until STOPPED                   blocked): finds its slot by tid,
//     (one deadline for all threads)               <-      copies its interrupted registers,
//   ... reads the registers, walks the stack ...           sets STOPPED, wakes the capturer,
//   slot = RESUMED; wake                           ->      waits (bounded) while STOPPED, returns
//
// The stop signal is a real-time signal chosen when the stopper is prepared: the highest one
// that nobody handles yet. A thread that blocks it, or does not answer before the deadline, is
// given up: its slot is abandoned and it is reported without registers. A stopped thread that
// is never resumed goes on by itself after kStoppedThreadMaxWait, so a lost capturer can delay
// the process but never hang it.
#include <csignal>
#include <cstdint>

#include "crashreporter/AsyncMemory.h"
#include "crashreporter/capture/platform/ThreadList.h"
#include "crashreporter/unwind/ThreadState.h"

namespace ml::crash {

// How long the capturer waits for all threads together to answer.
inline constexpr uint64_t kThreadStopAnswerTimeoutNs = 2ull * 1000 * 1000 * 1000;
// How long a stopped thread waits to be resumed before it goes on by itself.
inline constexpr uint64_t kStoppedThreadMaxWaitNs = 30ull * 1000 * 1000 * 1000;

// Picks the stop signal and installs its handler (once per process). Returns 0, or an errno:
// EAGAIN when every real-time signal is taken. Normal context.
int tlcrash_nasync_thread_stopper_prepare();
// The stop signal, or 0 before preparation. Async-signal-safe.
int tlcrash_async_thread_stopper_signal();
// Records the signal preparation installed the stop handler for. Normal context.
void tlcrash_nasync_thread_stopper_set_signal(int signo);
// The stop signal's handler (installed by preparation). Crash time, on each thread asked to stop.
void tlcrash_async_thread_stop_handler(int signo, siginfo_t* info, void* context);

// Asks each of `tids` to stop and waits until every one answered or the answer timeout passed.
// Returns the number of threads that stopped. Threads already asked in this capture keep their
// slots, so the call may be repeated for threads that appeared since. The stopper must be
// prepared; with more than kMaxListedThreads threads in one capture the rest are not asked.
// Async-signal-safe (tgkill, futex, clock_gettime).
uint32_t tlcrash_async_threads_stop(const tlcrash_thread_t* tids, uint32_t count, uint64_t answer_timeout_ns);

// The registers thread `tid` published when it stopped in this capture; null when it was not
// asked, had exited, or did not answer. Valid until tlcrash_async_threads_resume. Async-signal-safe.
const tlcrash_async_thread_state_t* tlcrash_async_thread_stopped_state(tlcrash_thread_t tid);

// Lets every stopped thread go on and forgets the capture's slots. Async-signal-safe.
void tlcrash_async_threads_resume();

}  // namespace ml::crash
