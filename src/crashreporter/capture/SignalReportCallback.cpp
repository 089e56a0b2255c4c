#include "crashreporter/capture/ReporterCallbacks.h"

#include "crashreporter/capture/CaptureGuard.h"
#include "crashreporter/capture/CrashHandlerContext.h"
#include "crashreporter/capture/ReportLatch.h"
#include "crashreporter/capture/WriteReport.h"

namespace ml::crash {
namespace {

struct SignalCallbackArguments {
  siginfo_t* info;
  ucontext_t* uap;
};

// Crash time.
void runPostCrashCallback(void* argument) {
  auto* arguments = static_cast<SignalCallbackArguments*>(argument);
  tlcrash_crash_callbacks* callbacks = tlcrash_shared_crash_callbacks();
  if (callbacks->handleSignal != nullptr) callbacks->handleSignal(arguments->info, arguments->uap, callbacks->context);
}

}  // namespace

// Crash time.
uint64_t tlcrash_async_fault_address(const siginfo_t* info) {
  if (info->si_code <= 0) return 0;
  switch (info->si_signo) {
    case SIGSEGV:
    case SIGBUS:
    case SIGILL:
    case SIGFPE:
    case SIGTRAP:
      return reinterpret_cast<uintptr_t>(info->si_addr);
    default:
      return 0;
  }
}

// Crash time.
bool signal_handler_callback(int signo, siginfo_t* info, ucontext_t* uap, void* context,
                             TLCrashSignalHandlerCallback* /*next*/) {
  auto* handler_context = static_cast<tlcrash_signal_handler_context*>(context);
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_mcontext_init(&state, &uap->uc_mcontext);
  tlcrash_log_bsd_signal_info bsd{signo, info->si_code, tlcrash_async_fault_address(info)};
  tlcrash_log_signal_info siginfo{&bsd, nullptr};

  const tlcrash_thread_t self = tl_mach_thread_self();
  SignalCallbackArguments arguments{info, uap};
  const tlcrash_report_written_hook written{runPostCrashCallback, &arguments};
  // The chain ends with this signal's default action (below): once the report is settled, the
  // process ends with it before the threads stopped for the report run again.
  tlcrash_error_t err = tlcrash_write_report(handler_context, self, &state, &siginfo, &written, signo);
  const tlcrash_thread_t reported = tlcrash_async_report_latch_owner();
  if (err != TLCRASH_ESUCCESS && reported != 0 && reported != self) {
    // Another thread's crash was reported: its signal ends the process. Going on here could end
    // it first, by this thread's own signal, while that thread still saves what it must.
    tlcrash_async_report_latch_wait_for_end(kCaptureWaitNs);
  }
  // Only now the default actions: while the report was being written, another thread's fault had
  // to come to this handler (and wait) rather than end the process under the writer. A fault of
  // the writer itself cannot come back here: its own signal is blocked in this handler (the
  // kernel then ends the process), and any other one finds the capture held by this thread.
  struct sigaction fallback{};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  for (int monitored : kMonitoredSignals) ::sigaction(monitored, &fallback, nullptr);
  // The chain ends here: an earlier handler could recover from the signal, and a process that
  // goes on would leave behind a report of a crash that never happened. Not handled, so the
  // signal is raised again under the default action set above.
  return false;
}

// Crash time.
void unserved_signal_report_callback(int signo, siginfo_t* info, ucontext_t* uap, void* context) {
  signal_handler_callback(signo, info, uap, context, nullptr);
}

}  // namespace ml::crash
