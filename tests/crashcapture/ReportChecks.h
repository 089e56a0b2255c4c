#pragma once
// Reading back the report a crashed child wrote, and the questions every crash test asks of it.
#include <optional>
#include <string>
#include <vector>

#include "crashreporter/CrashReport.h"

namespace ml::crash::test {

// The pending report of the test reporter (CrashScenarios.h), decoded; nullopt (with the reason
// in `why`) when there is none or it does not decode.
std::optional<TLCrashReport> readPendingReport(std::string* why);
// Whether a pending report of the test reporter exists.
bool pendingReportExists();
// Every pending report of the test reporter, oldest first.
std::vector<std::string> pendingReportPaths();
// Removes every pending report of the test reporter.
void purgePendingReports();
// The report in the file at `path`, decoded; nullopt (with the reason in `why`) when it does not.
std::optional<TLCrashReport> readReportAt(const std::string& path, std::string* why);

// The crashed thread; null when no thread is marked crashed or more than one is.
const TLCrashReportThreadInfo* crashedThread(const TLCrashReport& report);
// The symbol name of a frame ("" without one).
std::string symbolOf(const TLCrashReportStackFrameInfo& frame);
// Whether any frame of the thread is in the function named `symbol`.
bool hasFrameIn(const TLCrashReportThreadInfo& thread, const std::string& symbol);
// Threads with a frame in `symbol`.
size_t threadsWithFrameIn(const TLCrashReport& report, const std::string& symbol);
// Whether an image with this path is listed.
bool listsImage(const TLCrashReport& report, const std::string& path);

}  // namespace ml::crash::test
