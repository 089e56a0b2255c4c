#pragma once
// What the reporter's exception callback does with an exception before it writes a report:
// offer it to the exception ports that were registered before ours, and map it to the POSIX
// signal the kernel would turn it into.
//
// Both run on the exception server thread while the faulting thread is stopped, and are
// async-signal-safe: the code copies and the thread-state buffer live on the stack.
#include <csignal>
#include <cstdint>

#include "crashreporter/AsyncMemory.h"
#include "crashreporter/capture/TLCrashMachExceptionPortSet.h"
#include "crashreporter/capture/platform/MachTypes.h"

namespace ml::crash {

// The mask bit of an exception type: 1 << type for the types 1 to 10 and 12; any other type is
// reported ("Unhandled exception type %d; exception_to_mask() should be updated") and still gives
// 1 << type (0 for types that do not fit a 32-bit mask).
mach::exception_mask_t tlcrash_exception_to_mask(mach::exception_type_t type);

// Raises the exception at the first registration of `port_set` whose port is valid and whose mask
// holds the exception's bit, in that registration's behaviour and flavour (a new state the
// handler hands back is not applied). KERN_FAILURE when no registration matches or the behaviour
// is not supported; otherwise the handler's answer.
mach::kern_return_t TLCrashMachExceptionForward(tlcrash_task_t task, tlcrash_thread_t thread,
                                                mach::exception_type_t type,
                                                const mach::mach_exception_data_type_t* codes, uint32_t code_count,
                                                const tlcrash_mach_exception_port_set* port_set);

// Writes the signal number, code and address (codes[1]) the exception stands for into `info`
// (other fields are left alone). false, with a diagnostic line, for fewer than 2 codes or an
// exception type without a signal. `cpu_type` is not used.
bool tlcrash_async_mach_exception_get_siginfo(mach::exception_type_t type,
                                              const mach::mach_exception_data_type_t* codes, uint32_t code_count,
                                              int32_t cpu_type, siginfo_t* info);

}  // namespace ml::crash
