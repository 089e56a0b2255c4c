#pragma once
// The process-wide state the crash paths read: the handler context (writer context, report path,
// the exception ports registered before ours) and the post-crash callback. Both are filled in a
// normal context before capture is enabled, published with a full barrier, and only read at
// crash time.
#include <climits>
#include <csignal>
#include <cstdint>
#include <ucontext.h>

#include "crashreporter/LogWriterContext.h"
#include "crashreporter/capture/ReportOutput.h"
#include "crashreporter/capture/TLCrashMachExceptionPortSet.h"

namespace ml::crash {

struct tlcrash_signal_handler_context {
  tlcrash_log_writer writer;
  tlcrash_report_output output;            // where the report goes; empty until enabling
  tlcrash_mach_exception_port_set port_set{};  // the ports registered before ours; all zero when none
};

// Called after a report was written successfully, on the crashing thread (signal path) or the
// exception server thread; must be async-signal-safe.
using TLCrashReporterPostCrashSignalCallback = void (*)(siginfo_t* info, ucontext_t* uap, void* context);

struct TLCrashReporterCallbacks {
  uint16_t version = 0;  // must be 0
  void* context = nullptr;
  TLCrashReporterPostCrashSignalCallback handleSignal = nullptr;
};

struct tlcrash_crash_callbacks {
  void* context = nullptr;
  TLCrashReporterPostCrashSignalCallback handleSignal = nullptr;
};

// The one handler context of the process (static storage, never destroyed: a crash during exit
// still reads it). Async-signal-safe to obtain.
tlcrash_signal_handler_context* tlcrash_shared_handler_context();
// The post-crash callback (static storage). Async-signal-safe to obtain and read.
tlcrash_crash_callbacks* tlcrash_shared_crash_callbacks();

}  // namespace ml::crash
