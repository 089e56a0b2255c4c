#include "crashreporter/capture/ReporterCallbacks.h"

#include <atomic>
#include <cstdlib>
#include <span>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncString.h"
#include "crashreporter/capture/CrashHandlerContext.h"
#include "crashreporter/capture/MachExceptionForward.h"
#include "crashreporter/capture/ReportLatch.h"
#include "crashreporter/capture/ThreadStateCurrent.h"
#include "crashreporter/capture/WriteReport.h"
#include "crashreporter/capture/platform/FaultRelay.h"

namespace ml::crash {
namespace {

std::atomic<uint32_t> g_exception_is_handled{0};

struct ExceptionWrite {
  tlcrash_signal_handler_context* context;
  tlcrash_thread_t thread;
  const tlcrash_log_signal_info* siginfo;
  siginfo_t* mapped;
  int end_signal;  // the signal to end the process with once the report is settled; 0: none
};

// The post-crash callback of the exception path, with a zeroed user context: the server has no
// context of the faulting thread to give. Crash time (exception-server mode).
void runPostCrashCallback(void* argument) {
  auto* write = static_cast<ExceptionWrite*>(argument);
  tlcrash_crash_callbacks* callbacks = tlcrash_shared_crash_callbacks();
  if (callbacks->handleSignal == nullptr) return;
  ucontext_t empty;
  tlcrash_async_memset(&empty, 0, sizeof(empty));
  callbacks->handleSignal(write->mapped, &empty, callbacks->context);
}

// Crash time (exception-server mode).
tlcrash_error_t writeFromServer(tlcrash_async_thread_state_t* state, void* argument) {
  auto* write = static_cast<ExceptionWrite*>(argument);
  const tlcrash_report_written_hook written{runPostCrashCallback, write};
  return tlcrash_write_report(write->context, write->thread, state, write->siginfo, &written, write->end_signal);
}

}  // namespace

// Crash time (exception-server mode).
mach::kern_return_t mach_exception_callback(tlcrash_task_t task, tlcrash_thread_t thread, mach::exception_type_t type,
                                            const mach::mach_exception_data_type_t* codes, uint32_t code_count,
                                            void* context) {
  auto* handler_context = static_cast<tlcrash_signal_handler_context*>(context);
  if (TLCrashMachExceptionForward(task, thread, type, codes, code_count, &handler_context->port_set) ==
      mach::KERN_SUCCESS) {
    return mach::KERN_SUCCESS;
  }

  siginfo_t mapped;
  tlcrash_async_memset(&mapped, 0, sizeof(mapped));
  if (!tlcrash_async_mach_exception_get_siginfo(type, codes, code_count, -1, &mapped)) {
    TLCRASH_DIAG("Unexpected error mapping Mach exception to a POSIX signal");
    return mach::KERN_FAILURE;
  }
  tlcrash_log_bsd_signal_info bsd{mapped.si_signo, mapped.si_code,
                                  static_cast<uint64_t>(reinterpret_cast<uintptr_t>(mapped.si_addr))};
  const ucontext_t* fault_context = nullptr;
  const siginfo_t* fault = nullptr;
  if (mach::tl_fault_relay_stopped_thread(thread, &fault_context, &fault) && fault != nullptr) {
    tlcrash_async_memcpy(&mapped, fault, sizeof(mapped));
    bsd = {fault->si_signo, fault->si_code, tlcrash_async_fault_address(fault)};
  }
  tlcrash_log_mach_signal_info mach_info{type, codes, code_count};
  tlcrash_log_signal_info siginfo{&bsd, &mach_info};

  // One report per process: a fault queued behind the one already written is not written again
  // (that would truncate the finished report while the process is being ended).
  if (tlcrash_async_report_latch_owner() != 0) return mach::KERN_FAILURE;
  // The faulting thread, told that no handler took its exception, would take its signal's default
  // action: the process ends with it here, before the threads stopped for the report run again.
  // An action installed before ours still gets the signal.
  const int end_signal = mach::tl_fault_relay_default_action_follows(bsd.signo) ? bsd.signo : 0;
  ExceptionWrite write{handler_context, thread, &siginfo, &mapped, end_signal};
  tlcrash_error_t err = tlcrash_async_thread_state_current(writeFromServer, &write);
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to write live report: %d", err);
    return mach::KERN_FAILURE;
  }
  return mach::KERN_FAILURE;
}

void uncaught_exception_handler(const TLUncaughtException& exception) {
  uint32_t expected = 0;
  if (!g_exception_is_handled.compare_exchange_strong(expected, 1)) return;
  tlcrash_log_writer_set_exception(&tlcrash_shared_handler_context()->writer, exception.name.c_str(),
                                   exception.reason.c_str(),
                                   std::span<const uint64_t>(exception.callStackReturnAddresses));
  std::abort();
}

}  // namespace ml::crash
