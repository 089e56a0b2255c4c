#include "crashreporter/capture/ReporterCallbacks.h"

#include "crashreporter/capture/CrashHandlerContext.h"
#include "crashreporter/capture/WriteReport.h"

namespace ml::crash {

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
  struct sigaction fallback{};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  for (int monitored : kMonitoredSignals) ::sigaction(monitored, &fallback, nullptr);

  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_mcontext_init(&state, &uap->uc_mcontext);
  tlcrash_log_bsd_signal_info bsd{signo, info->si_code, tlcrash_async_fault_address(info)};
  tlcrash_log_signal_info siginfo{&bsd, nullptr};

  tlcrash_error_t err = tlcrash_write_report(handler_context, tl_mach_thread_self(), &state, &siginfo);
  tlcrash_crash_callbacks* callbacks = tlcrash_shared_crash_callbacks();
  if (err == TLCRASH_ESUCCESS && callbacks->handleSignal != nullptr) {
    callbacks->handleSignal(info, uap, callbacks->context);
  }
  // The chain ends here: an earlier handler could recover from the signal, and a process that
  // goes on would leave behind a report of a crash that never happened. Not handled, so the
  // signal is raised again under the default action set above.
  return false;
}

// Crash time.
void sent_signal_report_callback(int signo, siginfo_t* info, ucontext_t* uap, void* context) {
  signal_handler_callback(signo, info, uap, context, nullptr);
}

}  // namespace ml::crash
