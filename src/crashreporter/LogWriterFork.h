#pragma once
// A process forked from the one that filled the writer context is a process of its own: its
// reports carry its own process id, its parent (the process it was forked from, which had its
// name) and its start, and a report UUID of its own (two reports with one UUID would be taken for
// one). The rest of the context (application, machine, executable, name) holds for it as it is.
//
// Two ways there:
//   - fork runs the reporter's handler in the child (pthread_atfork), which rewrites the child's
//     copy of the context before anything else runs there;
//   - a child made without fork's handlers (vfork, posix_spawn, a raw clone) runs no handler, and
//     with vfork or CLONE_VM it shares the very context its parent goes on using, so nothing may
//     be written to it. Its crash writes the report under an identity of its own, made at the
//     crash on its stack (tlcrash_async_current_process_identity).
//
// Everything here follows the crash-path rules: getpid, getppid, clock_gettime, getrandom; no
// allocation, no locks.
#include <cstdint>

#include "crashreporter/LogWriterContext.h"
#include "crashreporter/ReportUuid.h"

namespace ml::crash {

// The facts that make a report one process's own.
struct tlcrash_process_identity {
  ReportUuid uuid{};
  uint32_t process_id = 0;
  uint32_t parent_process_id = 0;
  int64_t start_time = 0;  // seconds since 1970
  bool forked = false;     // the parent is the process the context was filled in (its name is ours)
};

// Makes `writer` describe the calling process, forked from the one it described. Runs in the
// child of fork, before anything else there.
void tlcrash_async_log_writer_adopt_forked_process(tlcrash_log_writer* writer);

// The identity `writer` describes.
tlcrash_process_identity tlcrash_async_process_identity(const tlcrash_log_writer* writer);

// The calling process's identity: the one `writer` describes when it is this process (the
// process id is read from the kernel, never from a cache); otherwise that of a child made without
// fork's handlers from the described process: its own id and parent, a start of now (such a child
// crashes before it could run anything else: it has not exec'd), and a UUID of its own.
tlcrash_process_identity tlcrash_async_current_process_identity(const tlcrash_log_writer* writer);

}  // namespace ml::crash
