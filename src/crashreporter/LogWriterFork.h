#pragma once
// A process forked from the one that filled the writer context is a process of its own: its
// reports carry its own process id, its parent (the process it was forked from, which had its
// name) and its start, and a report UUID of its own (two reports with one UUID would be taken for
// one). The rest of the context (application, machine, executable, name) holds for it as it is.
//
// Runs in the child of fork, before anything else there (the reporter registers it with
// pthread_atfork), where only async-signal-safe calls are allowed until exec: getpid, getppid,
// clock_gettime, getrandom; no allocation, no locks. A child made without fork's handlers (a raw
// clone) keeps its parent's identity in its reports; its report file and name are still its own
// (ReportOutput.h).
#include "crashreporter/LogWriterContext.h"

namespace ml::crash {

// Makes `writer` describe the calling process, forked from the one it described. Crash-path rules.
void tlcrash_async_log_writer_adopt_forked_process(tlcrash_log_writer* writer);

}  // namespace ml::crash
