#pragma once
// Alternate signal stacks for every thread of the process, so that a thread that overflows its
// own stack still runs the crash handlers (the kernel can only deliver SIGSEGV to a thread whose
// stack pointer sits in the guard page when the thread has an alternate stack).
//
// A thread can only set its own alternate stack, so coverage comes in two parts:
//
//   threads created later    pthread_create is defined here, ahead of the C library's (the
//                            executable exports it, so libraries' calls land here too). Once
//                            coverage is on, each new thread starts in a trampoline that maps
//                            and installs its stack, then runs the real start routine; the
//                            stack is released when the thread ends, after its thread_local
//                            destructors and all but the last round of its pthread key
//                            destructors, so an overflow in its teardown is reported too.
//   threads already running  tlcrash_nasync_alternate_stacks_cover_all_threads maps one stack
//                            per listed thread, sends each a real-time signal, and the thread's
//                            handler installs the stack prepared for it (bounded wait). Threads
//                            that block the signal are skipped; their stacks, like those of
//                            threads that answer, are kept to the end of the process.
//
// A thread that already has an enabled alternate stack of at least kThreadAlternateStackSize
// keeps it. Threads made without pthread_create (a raw clone) are not covered.
#include <cstddef>

namespace ml::crash {

// Size of each alternate stack (one inaccessible guard page lies below it).
inline constexpr size_t kThreadAlternateStackSize = 64 * 1024;

// Maps a stack of kThreadAlternateStackSize above a guard page; null when mapping fails.
void* tlcrash_nasync_alternate_stack_map();
void tlcrash_nasync_alternate_stack_unmap(void* base);

// Whether the calling thread has an enabled alternate stack of at least
// kThreadAlternateStackSize bytes. Async-signal-safe.
bool tlcrash_async_thread_has_alternate_stack();

// Gives the calling thread a stack of its own (released when the thread ends, late as above; the
// main thread's is kept to the end of the process) unless it already has one. 0, or the errno of
// the mapping or of sigaltstack. Normal context.
int tlcrash_nasync_alternate_stack_install_current();

// Turns coverage on: from now on every new thread gets a stack, and every running thread is
// asked to install one (waiting at most `wait_ns` for all answers). Returns the number of threads
// that had no stack and could not be given one (blocked the signal, did not answer, or no memory).
// Normal context; idempotent (a second call only covers threads that are still without one).
unsigned tlcrash_nasync_alternate_stacks_cover_all_threads(unsigned long long wait_ns);

// Whether new threads get stacks.
bool tlcrash_alternate_stacks_covering();

}  // namespace ml::crash
