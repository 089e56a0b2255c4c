#pragma once
// Writing the crash report: opens the report file, stops the other threads, runs the log writer
// over the live threads, the shared image list and its symbols, and closes the file.
//
// Crash time: async-signal-safe throughout (open, write, close, the thread stopper, the frame
// cursor and the image readers; no allocation, no locks). The large scratch objects (thread
// slots, image and symbol sources) live in static storage owned by the capture guard, so the
// alternate signal stack only carries the writer's own frames.
#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncFile.h"
#include "crashreporter/AsyncMemory.h"
#include "crashreporter/LogWriterContext.h"
#include "crashreporter/SignalInfo.h"
#include "crashreporter/capture/CrashHandlerContext.h"
#include "crashreporter/unwind/ThreadState.h"

namespace ml::crash {

// What runs once the report is written and closed, while the other threads are still stopped (the
// post-crash callback: it reads memory that running threads could change or free). Crash time.
struct tlcrash_report_written_hook {
  void (*run)(void* argument);
  void* argument;
};

// Writes the report of a crash to a file that is not yet a report (mode 0600, limited to
// kReportOutputLimit bytes and to the room the file has: ReportOutput.h) and, once it is complete, gives it the handler context's report name
// (ReportOutput.h); once per process: the first call claims the report (ReportLatch.h) and
// every later one writes nothing. `crashed_thread` is the thread that
// crashed; `current_state` the calling thread's registers (required when the caller is the
// crashed thread), or null. After a successful write and publication, `written` (may be null) runs before the
// stopped threads go on. Returns 0, or TLCRASH_EINTERNAL when the file cannot be opened, written
// or closed, another capture is in progress, or the report was already claimed (each with a
// diagnostic line).
//
// With `end_signal` (not 0), once the report is settled (written or not), a process whose other
// threads were stopped for it ends with that signal before any of them goes on (ProcessEnd.h):
// the call then returns only when the signal could not end it. A caller whose crash ends with the
// default action passes its signal: were the threads let go first, one of them could end the
// process another way.
tlcrash_error_t tlcrash_write_report(tlcrash_signal_handler_context* context, tlcrash_thread_t crashed_thread,
                                     const tlcrash_async_thread_state_t* current_state,
                                     const tlcrash_log_signal_info* siginfo,
                                     const tlcrash_report_written_hook* written, int end_signal);

// The part shared with the live report: stops the threads, writes the report into `file` and lets
// the threads go. Does not flush or close the file. Returns the writer's result, or
// TLCRASH_EINTERNAL when the capture guard cannot be had.
tlcrash_error_t tlcrash_capture_report(const tlcrash_log_writer* writer, tlcrash_async_file* file,
                                       tlcrash_thread_t crashed_thread,
                                       const tlcrash_async_thread_state_t* current_state,
                                       const tlcrash_log_signal_info* siginfo);

}  // namespace ml::crash
