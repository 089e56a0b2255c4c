#include "ReportChecks.h"

#include "CrashScenarios.h"

namespace ml::crash::test {

bool pendingReportExists() { return makeReporter(TLCrashReporterSignalHandlerTypeBSD).hasPendingCrashReport(); }

std::optional<TLCrashReport> readPendingReport(std::string* why) {
  TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
  auto data = reporter.loadPendingCrashReportData();
  if (!data) {
    *why = "no pending report: " + data.error().description;
    return std::nullopt;
  }
  auto report = TLCrashReport::initWithData(data.value());
  if (!report) {
    *why = "the report does not decode: " + report.error().description;
    return std::nullopt;
  }
  return std::move(report).value();
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
