#include "crashreporter/LogWriterFork.h"

#include <atomic>
#include <ctime>
#include <sys/syscall.h>
#include <unistd.h>

namespace ml::crash {
namespace {

// Crash-path rules.
int64_t now() {
  timespec time{};
  return ::clock_gettime(CLOCK_REALTIME, &time) == 0 ? static_cast<int64_t>(time.tv_sec) : 0;
}

// Crash-path rules.
ReportUuid newUuid() {
  if (std::optional<ReportUuid> uuid = makeRandomUuid(false)) return *uuid;
  return makeClockUuid();  // the pid is in it: not the parent's
}

}  // namespace

// Crash-path rules (the child of fork).
void tlcrash_async_log_writer_adopt_forked_process(tlcrash_log_writer* writer) {
  writer->process_id = static_cast<uint32_t>(::getpid());
  writer->parent_process_id = static_cast<uint32_t>(::getppid());
  writer->forked = true;
  // The process began at the fork, which is now.
  if (const int64_t start = now(); start != 0) writer->start_time = start;
  writer->uuid = newUuid();
  std::atomic_thread_fence(std::memory_order_seq_cst);
}

// Crash-path rules.
tlcrash_process_identity tlcrash_async_process_identity(const tlcrash_log_writer* writer) {
  return {writer->uuid, writer->process_id, writer->parent_process_id, writer->start_time, writer->forked};
}

// Crash-path rules.
tlcrash_process_identity tlcrash_async_current_process_identity(const tlcrash_log_writer* writer) {
  const auto self = static_cast<uint32_t>(::syscall(SYS_getpid));
  // A context that could not learn its process's id (0) cannot tell a child from its parent.
  if (self == writer->process_id || writer->process_id == 0) return tlcrash_async_process_identity(writer);
  const int64_t start = now();
  return {newUuid(), self, static_cast<uint32_t>(::syscall(SYS_getppid)), start != 0 ? start : writer->start_time,
          true};
}

}  // namespace ml::crash
