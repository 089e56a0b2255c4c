#pragma once
// The crash reporter's log lines outside the crash path (warnings of the front, reference-count
// failures of the port classes): one formatted line to the system log. Tests may divert the lines
// to a sink of their own. Normal context only (formats into a std::string, takes a lock).
#include <functional>
#include <string>

namespace ml::crash {

void tlcrash_nasync_log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Diverts the lines to `sink` (an empty function restores the system log). For tests.
void tlcrash_nasync_log_set_sink(std::function<void(const std::string&)> sink);

}  // namespace ml::crash
