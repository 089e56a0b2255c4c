#pragma once
// The crash reporter's log lines outside the crash path (warnings of the front and of the report
// folder set-up, reference-count failures of the port classes): one formatted line each, at
// warning level in the application's log like every other module's warnings; while that log is
// not enabled (a program without it, a test), on standard error. Tests may divert the lines to a
// sink of their own. Normal context only (formats into a std::string, takes a lock).
//
// Inside the crash path nothing here may be called: the crash path's lines go through
// TLCRASH_DIAG (crashreporter/AsyncDiagnostic.h), write(2) calls on standard error with no
// allocation and no lock.
#include <functional>
#include <string>

namespace ml::crash {

void tlcrash_nasync_log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Diverts the lines to `sink` (an empty function restores the application's log). For tests.
void tlcrash_nasync_log_set_sink(std::function<void(const std::string&)> sink);

}  // namespace ml::crash
