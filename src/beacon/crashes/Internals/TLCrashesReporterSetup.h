#pragma once
// The crashes service's crash reporter and its installation: built and enabled once (with the
// crash log buffer's post-crash writer as its callback), the uncaught-exception handler it
// installs recorded, the C++ terminate path registered; and the previous run's pending report
// (test, load, purge). Nothing is installed while a debugger is attached: the reporter is built
// but not enabled.
//
// Failures are logged under "BeaconCrashes"; a pending report that exists but cannot be removed
// is logged and answered as such, so that the service can tell it from one that is gone.
//
// Threads: any thread. configure() is serialised by a lock of its own; the reporter, once
// published, is never replaced, so the pointer handed out stays valid for the set-up's life.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "crashreporter/capture/platform/UncaughtExceptionHandler.h"

namespace ml::crash {
class TLCrashReporter;
}

namespace ml::beacon {

class TLCrashesReporterSetup {
 public:
  using MakeReporter = std::function<std::unique_ptr<crash::TLCrashReporter>(std::uint64_t signalHandlerType,
                                                                             bool registerUncaughtExceptionHandler)>;

  TLCrashesReporterSetup(MakeReporter makeReporter, std::function<bool()> isDebuggerAttached);
  ~TLCrashesReporterSetup();
  TLCrashesReporterSetup(const TLCrashesReporterSetup&) = delete;
  TLCrashesReporterSetup& operator=(const TLCrashesReporterSetup&) = delete;

  // Builds and enables the reporter (the exception server, or signal handlers when
  // `machExceptionHandler` is false); a second call logs "Already configured" and does nothing.
  void configure(bool machExceptionHandler, bool enableUncaughtExceptionHandler);
  // Null before configure() or when the reporter could not be built.
  crash::TLCrashReporter* reporter() const;
  // The uncaught-exception handler the reporter installed; null when none was found.
  crash::TLUncaughtExceptionHandler exceptionHandler() const;

  // The reporter's complete pending reports (one per process that died), oldest first.
  std::vector<std::string> pendingCrashReportPaths() const;
  bool hasPendingCrashReport() const;
  std::optional<std::vector<std::uint8_t>> loadPendingCrashReport(const std::string& path) const;
  // True when the report is gone; false (logged) when it exists and cannot be removed.
  bool purgePendingCrashReport(const std::string& path) const;
  // Purges every pending report; true when none is left.
  bool purgePendingCrashReports() const;

 private:
  const MakeReporter makeReporter_;
  const std::function<bool()> isDebuggerAttached_;
  std::mutex configureLock_;  // one configuration at a time
  mutable std::mutex lock_;   // the two fields below
  std::unique_ptr<crash::TLCrashReporter> reporter_;
  crash::TLUncaughtExceptionHandler exceptionHandler_ = nullptr;
};

}  // namespace ml::beacon
