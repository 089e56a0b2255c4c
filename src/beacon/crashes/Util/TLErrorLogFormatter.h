#pragma once
// Turns one decoded crash report into the crash log the service sends (TLAppleErrorLog) and into
// the application-facing report (TLErrorReport). Stateless; any thread.
//
// Decides which thread crashed, how addresses print ("0x" + 16 or 8 zero-padded lower-case hex
// digits by the code type's width), each frame's code string, which registers and binaries go into
// the log, the architecture ids, the time adjustment of whole-second crash times and the
// anonymisation of user home folders in paths. Missing parts of a report never stop it: defaults
// stand in.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "beacon/crashes/Model/TLAppleErrorLog.h"
#include "beacon/crashes/Model/TLErrorReport.h"
#include "crashreporter/CrashReport.h"

namespace ml::beacon {

class TLErrorLogFormatter {
 public:
  using Report = crash::TLCrashReport;
  using Date = std::chrono::system_clock::time_point;

  // Image kinds of imageTypeForImagePath.
  static constexpr int kImageTypeApplication = 0;
  static constexpr int kImageTypeBundle = 1;
  static constexpr int kImageTypeOther = 2;

  static std::shared_ptr<TLAppleErrorLog> errorLogFromCrashReport(const Report& report);
  static std::shared_ptr<TLErrorReport> errorReportFromCrashReport(const Report* report);
  // Reporter key: the install id, or "" without one; device: the shared tracker's record for the
  // log's timestamp.
  static std::shared_ptr<TLErrorReport> errorReportFromLog(const TLAppleErrorLog& log);

  // The report's UUID as upper-case canonical text, or a new random UUID's when it has none.
  static std::string errorIdForCrashReport(const Report& report);
  static void addProcessInfoAndApplicationPathTo(TLAppleErrorLog& log, const Report& report);
  static std::optional<Date> getAppLaunchTimeFromReport(const Report& report);
  static std::optional<Date> getCrashTimeFromReport(const Report& report);
  static const crash::TLCrashReportThreadInfo* findCrashedThreadInReport(const Report& report);
  static std::optional<std::uint64_t> extractCodeTypeFromReport(const Report& report);
  static bool isCodeType64bit(std::optional<std::uint64_t> codeType);
  static std::optional<std::string> extractExceptionReasonFromReport(const Report& report);
  static std::optional<std::string> selectorRegisterValueFromReport(const Report& report,
                                                                    const crash::TLCrashReportThreadInfo* crashedThread,
                                                                    bool is64bit);
  static std::vector<std::shared_ptr<TLThread>> extractThreadsFromReport(
      const Report& report, const crash::TLCrashReportThreadInfo* crashedThread, bool is64bit);
  static std::string formatStackFrame(const crash::TLCrashReportStackFrameInfo& frame, const Report& report);
  static std::map<std::string, std::string> extractRegistersFromCrashedThread(
      const crash::TLCrashReportThreadInfo* thread, bool is64bit);
  static std::vector<std::shared_ptr<TLBinary>> extractBinaryImagesFromReport(const Report& report,
                                                                              std::optional<std::uint64_t> codeType,
                                                                              bool is64bit);
  static std::vector<std::uint64_t> addressesFromReport(const Report& report, bool is64bit);
  static bool isBinaryWithStart(std::uint64_t start, std::uint64_t end, const std::vector<std::uint64_t>& addresses);
  static int imageTypeForImagePath(const std::optional<std::string>& imagePath,
                                   const std::optional<std::string>& processPath);
  static std::string anonymizedPathFromPath(const std::string& path);
  static std::optional<std::string> uuidRefToString(const std::optional<crash::ReportUuid>& uuid);
  static std::uint64_t normalizeAddress(std::uint64_t address, bool is64bit) { (void)is64bit; return address; }
  static std::string formatAddress(std::uint64_t address, bool is64bit);
};

}  // namespace ml::beacon
