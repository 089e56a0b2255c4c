#pragma once
// The register state of the calling thread, captured in place: what the report writer records for
// the thread that writes (the exception server thread, or the thread asking for a live report).
//
// The captured state describes the caller at the point of the call: rip is the return address
// into the caller, rsp the caller's stack pointer after the call returns, rbp and the other
// callee-saved registers as the caller holds them, the argument registers as they were at entry.
// From it the frame cursor walks the caller and everything above it; those frames stay intact
// while the callback runs, because the callback's own frames lie below them.
//
// Async-signal-safe: x86-64 instructions and a call; the state lives on the stack.
#include "crashreporter/AsyncError.h"
#include "crashreporter/unwind/ThreadState.h"

namespace ml::crash {

using tlcrash_async_thread_state_current_callback = tlcrash_error_t (*)(tlcrash_async_thread_state_t* state,
                                                                        void* context);

// Captures the calling thread's registers and calls `callback` with them; returns its result.
extern "C" tlcrash_error_t tlcrash_async_thread_state_current(tlcrash_async_thread_state_current_callback callback,
                                                              void* context);

}  // namespace ml::crash
