#pragma once
// The crash reporter's three entry points at crash time: the callback it registers with the
// signal handler, the callback of its exception server, and the uncaught-exception hook. Each
// writes the report through the handler context (CrashHandlerContext.h) and, only when the write
// succeeded, runs the post-crash callback before the stopped threads go on. One report per
// process: a crash that comes after the report was claimed writes nothing (ReportLatch.h).
#include <csignal>
#include <cstdint>
#include <ucontext.h>

#include "crashreporter/AsyncMemory.h"
#include "crashreporter/capture/TLCrashSignalHandler.h"
#include "crashreporter/capture/platform/MachTypes.h"
#include "crashreporter/capture/platform/UncaughtExceptionHandler.h"

namespace ml::crash {

// The signals the reporter handles, in registration order.
inline constexpr int kMonitoredSignals[] = {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGTRAP};

// The signal path (registered with TLCrashSignalHandler; context: the handler context). On the
// crashing thread, async-signal-safe:
//   1. writes the report with the thread's registers from the signal's context;
//   2. after a successful write, runs the post-crash callback (the other threads still stopped);
//   3. once it settled the report (written or not), ends the process with the signal under its
//      default action while the other threads are still stopped (ProcessEnd.h): a thread let go
//      first could end it another way, a main thread returning from main with status 0;
//      when another thread's crash was reported instead, waits (bounded) for that one to end
//      the process;
//   4. (when the process is still there) restores the default action of the monitored signals
//      (only after the write, so that another thread's fault meanwhile waits here instead of
//      ending the process under the writer);
//   5. ends the chain: the signal is reported not handled without asking the actions installed
//      before the reporter, so the handler raises it again under the default action and the
//      process ends with it. (Were an earlier handler to recover, the process would live on
//      with a report of a crash pending.)
bool signal_handler_callback(int signo, siginfo_t* info, ucontext_t* uap, void* context,
                             TLCrashSignalHandlerCallback* next);

// The signal path for a fault signal the exception server cannot take while it captures faults:
// one another process sent (the server sees only faults the processor raises), or any fault of a
// forked child (the server's thread stayed in the parent). Same steps as signal_handler_callback.
// Crash time.
void unserved_signal_report_callback(int signo, siginfo_t* info, ucontext_t* uap, void* context);

// The fault address of a signal the processor raised; 0 for a signal that was sent (its siginfo
// carries the sender's pid and uid where a fault carries the address). Crash time.
uint64_t tlcrash_async_fault_address(const siginfo_t* info);

// The exception path (the exception server's callback; context: the handler context). On the
// server thread, async-signal-safe:
//   1. offers the exception to the ports registered before ours; KERN_SUCCESS from one of them
//      ends it there (no report);
//   2. maps it to a signal; an exception without one gets KERN_FAILURE and no report;
//   3. writes the report from the server thread (its own registers captured in place; the
//      faulting thread's from the fault relay) with the signal and the exception;
//   4. after a successful write, runs the post-crash callback with a zeroed user context (the
//      other threads still stopped); an exception that comes after the report was written gets
//      KERN_FAILURE and no report;
//   5. answers KERN_FAILURE, so the fault goes on to the signal the process ends with. When that
//      signal takes its default action (no action was installed before the fault relay's), the
//      process ends with it from the server thread instead, once the report is settled and
//      before the stopped threads go on (ProcessEnd.h).
// The signal written is the one the faulting thread will receive when the fault relay knows it
// (the exception's mapping can name a different signal than the platform delivers); the mapped
// one otherwise.
mach::kern_return_t mach_exception_callback(tlcrash_task_t task, tlcrash_thread_t thread, mach::exception_type_t type,
                                            const mach::mach_exception_data_type_t* codes, uint32_t code_count,
                                            void* context);

// The uncaught-exception hook: the first exception is recorded in the writer context and the
// process aborts (the SIGABRT report then carries the exception); later calls do nothing.
// Normal context, on the thread that had the exception.
void uncaught_exception_handler(const TLUncaughtException& exception);

}  // namespace ml::crash
