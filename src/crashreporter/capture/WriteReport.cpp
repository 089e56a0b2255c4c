#include "crashreporter/capture/WriteReport.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <unistd.h>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncReadCache.h"
#include "crashreporter/AsyncString.h"
#include "crashreporter/LogWriter.h"
#include "crashreporter/capture/CaptureGuard.h"
#include "crashreporter/SymbolMemo.h"
#include "crashreporter/capture/LiveThreads.h"
#include "crashreporter/capture/ProcessEnd.h"
#include "crashreporter/capture/ReportLatch.h"
#include "crashreporter/capture/platform/ThreadStopper.h"
#include "crashreporter/image/ImageListSource.h"
#include "crashreporter/image/ImageSymbolSource.h"
#include "crashreporter/image/SharedImageList.h"
#include "crashreporter/unwind/ImageListUnwindLookup.h"

namespace ml::crash {
namespace {

// Everything one capture needs besides the writer context, built in place at the start of each
// capture (constructors only store pointers and zero counters) and torn down at its end.
struct CaptureScratch {
  explicit CaptureScratch(tlcrash_async_image_list* list)
      : unwind(list), threads(&unwind), images(list), symbols(list, &cache), memo(&symbols) {}

  ImageListUnwindLookup unwind;
  LiveThreads threads;
  ImageListSource images;
  tlcrash_async_symbol_cache cache;
  ImageSymbolSource symbols;
  SymbolMemo memo;  // asked by the writer, in front of `symbols`
};

// Owned by whoever holds the capture guard.
alignas(CaptureScratch) unsigned char g_scratch[sizeof(CaptureScratch)];

// Enters the capture guard; false (with a diagnostic line) when this thread may not capture now.
// Crash time.
bool enterCapture() {
  switch (tlcrash_async_capture_enter(kCaptureWaitNs)) {
    case tlcrash_capture_entry::kEntered:
      return true;
    case tlcrash_capture_entry::kRecursive:
      TLCRASH_DIAG("A crash occurred while this thread was writing a report; not writing another");
      return false;
    case tlcrash_capture_entry::kBusy:
      TLCRASH_DIAG("Another thread kept the crash report writer busy; giving up");
      return false;
  }
  return false;
}

// Stops the other threads and sets up the scratch; null (threads left running) when there is no
// image list to read. The caller holds the guard and ends the capture with endCapture.
// Crash time.
CaptureScratch* beginCapture(tlcrash_thread_t crashed_thread, const tlcrash_async_thread_state_t* current_state) {
  tlcrash_async_image_list* list = tlcrash_async_shared_image_list();
  if (list == nullptr) {
    TLCRASH_DIAG("No image list to read");
    return nullptr;
  }
  auto* scratch = new (g_scratch) CaptureScratch(list);
  tlcrash_async_symbol_cache_init(&scratch->cache);
  scratch->threads.stop(crashed_thread, current_state);
  return scratch;
}

// Crash time.
tlcrash_error_t writeCaptured(CaptureScratch* scratch, const tlcrash_log_writer* writer, tlcrash_async_file* file,
                              const tlcrash_log_signal_info* siginfo, const tlcrash_process_identity* identity) {
  tlcrash_async_read_cache_begin();
  tlcrash_error_t result =
      tlcrash_log_writer_write(writer, scratch->threads, scratch->images, &scratch->memo, file, siginfo, identity);
  tlcrash_async_read_cache_end();
  return result;
}

// Tears the scratch down, the threads left as they are. Crash time.
void releaseScratch(CaptureScratch* scratch) {
  tlcrash_async_symbol_cache_free(&scratch->cache);
  scratch->~CaptureScratch();
}

// Lets the stopped threads go on and tears the scratch down.
// Crash time.
void endCapture(CaptureScratch* scratch) {
  scratch->threads.resume();
  releaseScratch(scratch);
}

// Ends the process with `signo` before the threads the capture stopped go on (ProcessEnd.h). The
// scratch and the guard go back first, as they would at the capture's end (nobody can take the
// guard meanwhile: the other threads are stopped). Returns only when the signal did not end the
// process; the stopped threads are then let go. Crash time.
void endProcessInCapture(CaptureScratch* scratch, int signo) {
  releaseScratch(scratch);
  tlcrash_async_capture_leave();
  tlcrash_async_end_process_with_signal(signo);
  tlcrash_async_threads_resume();
}

// Closes the writer and writes out what the file still buffers; the descriptor stays open for
// publishing. Crash time.
tlcrash_error_t finishReport(tlcrash_log_writer* writer, tlcrash_async_file* file) {
  if (tlcrash_log_writer_close(writer) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to close the log writer");
    return TLCRASH_EINTERNAL;
  }
  if (!tlcrash_async_file_flush(file)) {
    TLCRASH_DIAG("Failed to flush output file");
    return TLCRASH_EINTERNAL;
  }
  return TLCRASH_ESUCCESS;
}

// Writes the report into `report`'s file within the room it has (ReportOutput.h) and writes out
// what the file still buffers. When the volume had less room than it said (a quota, another
// writer filling it meanwhile), writes it again over the bytes that landed, trimmed to them: a
// smaller report beats none. Crash time.
tlcrash_error_t writeWithinRoom(CaptureScratch* scratch, tlcrash_log_writer* writer, const tlcrash_report_file* report,
                                tlcrash_async_file* file, const tlcrash_log_signal_info* siginfo,
                                const tlcrash_process_identity* identity) {
  tlcrash_async_file_init(file, report->fd, tlcrash_async_report_file_room(report, kReportOutputLimit));
  if (scratch == nullptr) return TLCRASH_EINTERNAL;
  tlcrash_error_t result = writeCaptured(scratch, writer, file, siginfo, identity);
  if (const tlcrash_error_t finished = finishReport(writer, file); finished != TLCRASH_ESUCCESS) result = finished;
  uint64_t landed = 0;
  if (!file->failed || !tlcrash_async_report_file_out_of_room(file->error) ||
      !tlcrash_async_report_file_rewind(report, &landed) || landed == 0) {
    return result;
  }
  TLCRASH_DIAG("The crash report's volume ran out of room after %llu bytes; writing the report again within them",
               static_cast<unsigned long long>(landed));
  tlcrash_async_file_init(file, report->fd, landed);
  result = writeCaptured(scratch, writer, file, siginfo, identity);
  if (const tlcrash_error_t finished = finishReport(writer, file); finished != TLCRASH_ESUCCESS) result = finished;
  return result;
}

// Gives a complete report its name (cut to its length and synced first), or removes an
// incomplete one, and closes the file. Crash time.
tlcrash_error_t settleReport(const tlcrash_report_output* output, const tlcrash_report_file* report,
                             tlcrash_async_file* file, tlcrash_error_t result) {
  if (result == TLCRASH_ESUCCESS && !tlcrash_async_report_file_publish(output, report, file->total_bytes)) {
    TLCRASH_DIAG("Could not move the crash report into place: %s", tlcrash_async_errno_text(errno));
    result = TLCRASH_EINTERNAL;
  }
  if (result != TLCRASH_ESUCCESS) tlcrash_async_report_file_discard(report);
  // A complete report is written out and synced by now: closing only gives the descriptor back,
  // and a failure to close takes nothing from the report. A buffer that could not be written out
  // is dropped with the descriptor.
  if (file->failed) {
    ::close(report->fd);
  } else if (!tlcrash_async_file_close(file)) {
    TLCRASH_DIAG("Failed to close output file");
  }
  return result;
}

}  // namespace

// Crash time.
tlcrash_error_t tlcrash_capture_report(const tlcrash_log_writer* writer, tlcrash_async_file* file,
                                       tlcrash_thread_t crashed_thread,
                                       const tlcrash_async_thread_state_t* current_state,
                                       const tlcrash_log_signal_info* siginfo) {
  if (!enterCapture()) return TLCRASH_EINTERNAL;
  tlcrash_error_t result = TLCRASH_EINTERNAL;
  if (CaptureScratch* scratch = beginCapture(crashed_thread, current_state); scratch != nullptr) {
    result = writeCaptured(scratch, writer, file, siginfo, nullptr);
    endCapture(scratch);
  }
  tlcrash_async_capture_leave();
  return result;
}

// Crash time.
tlcrash_error_t tlcrash_write_report(tlcrash_signal_handler_context* context, tlcrash_thread_t crashed_thread,
                                     const tlcrash_async_thread_state_t* current_state,
                                     const tlcrash_log_signal_info* siginfo,
                                     const tlcrash_report_written_hook* written, int end_signal) {
  // The guard comes first: a second crash must not truncate the report being written.
  if (!enterCapture()) return TLCRASH_EINTERNAL;
  // And once written, the report stays as it is: the process is already on its way out.
  if (!tlcrash_async_report_latch_claim(crashed_thread)) {
    TLCRASH_DIAG("The report of this process's crash is already written; not writing another");
    tlcrash_async_capture_leave();
    return TLCRASH_EINTERNAL;
  }
  tlcrash_report_file report;
  if (!tlcrash_async_report_file_open(&context->output, &report)) {
    TLCRASH_DIAG("Could not open the crashlog output file: %s", tlcrash_async_errno_text(errno));
    tlcrash_async_capture_leave();
    return TLCRASH_EINTERNAL;
  }
  CaptureScratch* scratch = beginCapture(crashed_thread, current_state);
  // The report is of the process that crashed: a child sharing the context's memory is not the
  // process the context describes.
  const tlcrash_process_identity identity = tlcrash_async_current_process_identity(&context->writer);
  tlcrash_async_file file;
  // The guard is kept until the report is in place, so a waiting crash cannot write meanwhile.
  tlcrash_error_t result = writeWithinRoom(scratch, &context->writer, &report, &file, siginfo, &identity);
  // Only a complete report gets its name.
  result = settleReport(&context->output, &report, &file, result);
  // Still stopped: what the hook reads cannot be changed or freed under it by threads that go on.
  if (result == TLCRASH_ESUCCESS && written != nullptr && written->run != nullptr) written->run(written->argument);
  // A process whose only thread is this one (a child made with vfork, say) has nobody to race;
  // it ends by its signal as the caller raises it, after the caller's own counts are undone.
  if (end_signal != 0 && scratch != nullptr && scratch->threads.stoppedAny()) {
    endProcessInCapture(scratch, end_signal);
    return result;
  }
  if (scratch != nullptr) endCapture(scratch);
  tlcrash_async_capture_leave();
  return result;
}

}  // namespace ml::crash
