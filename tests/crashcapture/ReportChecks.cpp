#include "ReportChecks.h"

#include "CrashScenarios.h"

namespace ml::crash::test {

bool pendingReportExists() { return makeReporter(TLCrashReporterSignalHandlerTypeBSD).hasPendingCrashReport(); }

std::vector<std::string> pendingReportPaths() {
  return makeReporter(TLCrashReporterSignalHandlerTypeBSD).pendingCrashReportPaths();
}

void purgePendingReports() {
  TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
  for (const std::string& path : reporter.pendingCrashReportPaths()) (void)reporter.purgePendingCrashReport(path);
}

std::optional<TLCrashReport> readReportAt(const std::string& path, std::string* why) {
  auto data = makeReporter(TLCrashReporterSignalHandlerTypeBSD).loadPendingCrashReportData(path);
  if (!data) {
    *why = "no report at " + path + ": " + data.error().description;
    return std::nullopt;
  }
  auto report = TLCrashReport::initWithData(data.value());
  if (!report) {
    *why = path + " does not decode: " + report.error().description;
    return std::nullopt;
  }
  return std::move(report).value();
}

std::optional<TLCrashReport> readPendingReport(std::string* why) {
  const std::vector<std::string> pending = pendingReportPaths();
  if (pending.empty()) {
    *why = "no pending report";
    return std::nullopt;
  }
  return readReportAt(pending.front(), why);
}

const TLCrashReportThreadInfo* crashedThread(const TLCrashReport& report) {
  const TLCrashReportThreadInfo* found = nullptr;
  for (const auto& thread : report.threads()) {
    if (!thread.crashed()) continue;
    if (found != nullptr) return nullptr;
    found = &thread;
  }
  return found;
}

std::string symbolOf(const TLCrashReportStackFrameInfo& frame) {
  return frame.symbolInfo().has_value() ? frame.symbolInfo()->symbolName() : std::string();
}

bool hasFrameIn(const TLCrashReportThreadInfo& thread, const std::string& symbol) {
  for (const auto& frame : thread.stackFrames()) {
    if (symbolOf(frame) == symbol) return true;
  }
  return false;
}

size_t threadsWithFrameIn(const TLCrashReport& report, const std::string& symbol) {
  size_t count = 0;
  for (const auto& thread : report.threads()) {
    if (hasFrameIn(thread, symbol)) ++count;
  }
  return count;
}

bool listsImage(const TLCrashReport& report, const std::string& path) {
  for (const auto& image : report.images()) {
    if (image.imageName() == path) return true;
  }
  return false;
}

}  // namespace ml::crash::test
