#include "beacon/crashes/Internals/TLCrashesReporterSetup.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "beacon/core/TLLogger.h"
#include "beacon/crashes/Internals/TLCrashesCXXTerminatePath.h"
#include "beacon/crashes/Internals/TLCrashesLogBuffer.h"
#include "beacon/crashes/Internals/TLCrashesUncaughtCXXExceptionHandlerManager.h"
#include "beacon/crashes/TLCrashesLog.h"
#include "crashreporter/capture/TLCrashReporter.h"

namespace ml::beacon {

namespace {

// The reporter's description, and for a failure of the system the system's reason and the folder
// the reports go to: "Failed to create the crash report directory: Not a directory (reports in /x)".
std::string enableFailure(const crash::TLCrashReporter& reporter, const crash::TLCrashReporterError& error) {
  if (error.underlyingDomain != crash::TLCrashUnderlyingErrorDomain::kPosix || error.osError == 0) {
    return error.description;
  }
  return error.description + ": " + std::strerror(error.osError) + " (reports in " + reporter.crashReportDirectory() + ")";
}

}  // namespace

TLCrashesReporterSetup::TLCrashesReporterSetup(MakeReporter makeReporter, std::function<bool()> isDebuggerAttached)
    : makeReporter_(std::move(makeReporter)), isDebuggerAttached_(std::move(isDebuggerAttached)) {}

TLCrashesReporterSetup::~TLCrashesReporterSetup() = default;

void TLCrashesReporterSetup::configure(bool machExceptionHandler, bool enableUncaughtExceptionHandler) {
  std::lock_guard configuring(configureLock_);
  if (reporter()) {
    TL_LOG_DEBUG(kCrashesLogTag, "Already configured TLCrashReporter.");
    return;
  }
  if (enableUncaughtExceptionHandler) {
    TL_LOG_DEBUG(kCrashesLogTag, "EnableUncaughtExceptionHandler is set to YES");
  } else {
    TL_LOG_DEBUG(kCrashesLogTag, "EnableUncaughtExceptionHandler is set to NO, we're running in a wrapper SDK runtime.");
  }
  std::uint64_t signalHandlerType = crash::TLCrashReporterSignalHandlerTypeBSD;
  if (machExceptionHandler) {
    TL_LOG_VERBOSE(kCrashesLogTag, "Enabled Mach exception handler.");
    signalHandlerType = crash::TLCrashReporterSignalHandlerTypeMach;
  }
  std::unique_ptr<crash::TLCrashReporter> built;
  try {
    if (makeReporter_) built = makeReporter_(signalHandlerType, enableUncaughtExceptionHandler);
  } catch (const crash::TLCrashReporterException& exception) {
    TL_LOG_ERROR(kCrashesLogTag, "Could not enable crash reporter: " << exception.what());
    return;
  }
  if (!built) return;
  crash::TLCrashReporter* reporter = built.get();
  {
    std::lock_guard guard(lock_);
    reporter_ = std::move(built);
  }
  if (isDebuggerAttached_ && isDebuggerAttached_()) {
    TL_LOG_WARNING(kCrashesLogTag, "Detecting crashes is NOT enabled due to running the app with a debugger attached.");
    return;
  }
  const crash::TLUncaughtExceptionHandler initialHandler = crash::tl_get_uncaught_exception_handler();
  try {
    crash::TLCrashReporterCallbacks callbacks;
    callbacks.version = 0;
    callbacks.context = nullptr;
    callbacks.handleSignal = TLCrashesLogBuffer::postCrashCallback;
    reporter->setCrashCallbacks(callbacks);
    auto enabled = reporter->enableCrashReporter();
    if (!enabled) TL_LOG_ERROR(kCrashesLogTag, "Could not enable crash reporter: " << enableFailure(*reporter, enabled.error()));
  } catch (const crash::TLCrashReporterException& exception) {
    TL_LOG_ERROR(kCrashesLogTag, "Could not enable crash reporter: " << exception.what());
  }
  const crash::TLUncaughtExceptionHandler handler = crash::tl_get_uncaught_exception_handler();
  crash::TLUncaughtExceptionHandler installed = nullptr;
  if (handler && handler != initialHandler) {
    installed = handler;
    TL_LOG_DEBUG(kCrashesLogTag, "Exception handler successfully initialized.");
  } else if (!enableUncaughtExceptionHandler && handler) {
    installed = handler;
    TL_LOG_DEBUG(kCrashesLogTag,
                 "Exception handler successfully initialized but it has not been registered due to the wrapper SDK.");
  } else {
    TL_LOG_ERROR(kCrashesLogTag, "Exception handler could not be set. Make sure there is no other exception handler set up!");
  }
  {
    std::lock_guard guard(lock_);
    exceptionHandler_ = installed;
  }
  TLCrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(uncaught_cxx_exception_handler);
}

crash::TLCrashReporter* TLCrashesReporterSetup::reporter() const {
  std::lock_guard guard(lock_);
  return reporter_.get();
}

crash::TLUncaughtExceptionHandler TLCrashesReporterSetup::exceptionHandler() const {
  std::lock_guard guard(lock_);
  return exceptionHandler_;
}

std::vector<std::string> TLCrashesReporterSetup::pendingCrashReportPaths() const {
  crash::TLCrashReporter* current = reporter();
  if (!current) return {};
  return current->pendingCrashReportPaths();
}

bool TLCrashesReporterSetup::hasPendingCrashReport() const {
  crash::TLCrashReporter* current = reporter();
  return current && current->hasPendingCrashReport();
}

std::optional<std::vector<std::uint8_t>> TLCrashesReporterSetup::loadPendingCrashReport(const std::string& path) const {
  crash::TLCrashReporter* current = reporter();
  if (!current) return std::nullopt;
  auto data = current->loadPendingCrashReportData(path);
  if (!data) return std::nullopt;
  return std::move(data).value();
}

bool TLCrashesReporterSetup::purgePendingCrashReport(const std::string& path) const {
  crash::TLCrashReporter* current = reporter();
  if (!current) return true;
  auto purged = current->purgePendingCrashReport(path);
  if (purged || purged.error().osError == ENOENT) return true;
  TL_LOG_ERROR(kCrashesLogTag, "Couldn't remove the pending crash report: " << purged.error().description);
  return false;
}

bool TLCrashesReporterSetup::purgePendingCrashReports() const {
  bool allGone = true;
  for (const auto& path : pendingCrashReportPaths()) allGone = purgePendingCrashReport(path) && allGone;
  return allGone;
}

}  // namespace ml::beacon
