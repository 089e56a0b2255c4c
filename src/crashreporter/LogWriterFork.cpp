#include "crashreporter/LogWriterFork.h"

#include <atomic>
#include <ctime>
#include <unistd.h>

#include "crashreporter/ReportUuid.h"

namespace ml::crash {

// Crash-path rules (the child of fork).
void tlcrash_async_log_writer_adopt_forked_process(tlcrash_log_writer* writer) {
  writer->process_id = static_cast<uint32_t>(::getpid());
  writer->parent_process_id = static_cast<uint32_t>(::getppid());
  writer->forked = true;
  // The process began at the fork, which is now.
  timespec now{};
  if (::clock_gettime(CLOCK_REALTIME, &now) == 0) writer->start_time = static_cast<int64_t>(now.tv_sec);
  if (std::optional<ReportUuid> uuid = makeRandomUuid(false)) {
    writer->uuid = *uuid;
  } else {
    writer->uuid = makeClockUuid();  // the pid is in it: not the parent's
  }
  std::atomic_thread_fence(std::memory_order_seq_cst);
}

}  // namespace ml::crash
