#pragma once
// Reading another thread's registers in a Mach thread-state flavour (the stand-in for
// thread_get_state). Only stopped threads have registers to read: a thread waiting in the fault
// relay (its faulting registers) or a thread stopped by the thread stopper.
//
// Async-signal-safe.
#include <cstdint>

#include "crashreporter/AsyncMemory.h"
#include "crashreporter/capture/platform/MachTypes.h"
#include "crashreporter/unwind/ThreadState.h"

namespace ml::crash::mach {

// Fills `state` (capacity `*count` words) with the thread's registers in `flavor`
// (x86_THREAD_STATE64 or x86_THREAD_STATE) and sets `*count`. KERN_INVALID_ARGUMENT for another
// flavour or too small a buffer, KERN_FAILURE when the thread is not stopped.
kern_return_t tl_thread_get_state(tlcrash_thread_t thread, thread_state_flavor_t flavor, uint32_t* state,
                                  uint32_t* count);

// The registers of a stopped thread as a thread-state record; false when it is not stopped.
bool tl_thread_stopped_registers(tlcrash_thread_t thread, tlcrash_async_thread_state_t* state);

// A thread-state record in `flavor` words, and back (only the general registers of the 64-bit
// block travel). Returns the word count, or 0 for a flavour that is not served.
uint32_t tl_thread_state_to_flavor(const tlcrash_async_thread_state_t* state, thread_state_flavor_t flavor,
                                   uint32_t* words, uint32_t capacity);
bool tl_thread_state_from_flavor(thread_state_flavor_t flavor, const uint32_t* words, uint32_t count,
                                 tlcrash_x86_thread_state64_t* registers);

}  // namespace ml::crash::mach
