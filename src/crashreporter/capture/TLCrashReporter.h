#pragma once
// The crash reporter's front: where the pending report lives, enabling capture once per process,
// the post-crash callback, the pending report of the last run (check, load, purge) and reports of
// the running process on demand.
//
// Files: <cache folder>/org.marrowlane.crashreporter.data/<application id, "/" as "_">/ holds the
// pending reports, written only by crashes, each process's under a name of its own
// ("live_report.<id>.tlcrash", ReportNames.h; "live_report.tlcrash" of earlier versions is still
// read), and the folder "queued_reports"; both folders are made with mode 0755, report files with
// 0600. Several processes may share the folder: each leaves its own report. The cache folder is
// the application's ($XDG_CACHE_HOME/<app id>, platform/foundation/AppFolders.h).
//
// Lifecycle: a reporter is made disabled; enabling succeeds at most once per process, across all
// instances, and cannot be undone. Set the post-crash callback before enabling. Everything the
// crash paths need is prepared by enabling: the writer context, the report path, the image list,
// the thread list and the thread stopper, the signal handlers or the exception server.
//
// Forks: a process forked after enabling is reported as itself, in either capture mode. At the
// fork its writer context takes its own pid, parent, start and report UUID (LogWriterFork.h); its
// crash writes a file of its own under names of its own (ReportOutput.h); and since the exception
// server's thread stays in the parent, the child's faults take the signal path (FaultRelay.h).
// Every report is on the disk before it is named (fsync of the file, then of the folder).
//
// Thread affinity: every method runs on the caller's thread, in a normal context.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "crashreporter/AsyncMemory.h"
#include "crashreporter/HostInfo.h"
#include "crashreporter/capture/CrashHandlerContext.h"
#include "crashreporter/capture/CrashReporterErrors.h"
#include "crashreporter/capture/ReportNames.h"
#include "crashreporter/capture/TLCrashMachExceptionPortSet.h"
#include "crashreporter/capture/TLCrashMachExceptionServer.h"
#include "crashreporter/capture/TLCrashReporterConfig.h"
#include "crashreporter/capture/platform/MainBundle.h"

namespace ml::crash {

// The crash reporter's own folder under the cache folder.
inline constexpr char kCrashReporterFolderName[] = "org.marrowlane.crashreporter.data";
inline constexpr char kQueuedReportsName[] = "queued_reports";

class TLCrashReporter {
 public:
  // The main bundle with the default configuration / with `config`.
  TLCrashReporter();
  explicit TLCrashReporter(const TLCrashReporterConfig& config);
  // Identity from `bundle`: its identifier, else the process name (with a warning); throws
  // TLCrashReporterException "Can not determine process identifier or process name" when there
  // is neither. A missing version is "" (with a warning).
  TLCrashReporter(const TLCrashBundle& bundle, const TLCrashReporterConfig& config);
  TLCrashReporter(std::string applicationIdentifier, std::string applicationVersion,
                  std::optional<std::string> applicationMarketingVersion, const TLCrashReporterConfig& config);

  TLCrashReporter(const TLCrashReporter&) = delete;
  TLCrashReporter& operator=(const TLCrashReporter&) = delete;

  // The reporter of the main bundle with the default configuration, made once.
  static TLCrashReporter& sharedReporter();

  // Every complete pending report in the folder, whichever process left it: regular files named
  // as reports (never a partial one), oldest first.
  std::vector<std::string> pendingCrashReportPaths() const;
  // Whether there is any pending report.
  bool hasPendingCrashReport() const;
  // The bytes of the pending report at `path` (one of pendingCrashReportPaths()). Errors: the
  // POSIX error of the read, EINVAL for a path that is not a report of this folder.
  Result<std::vector<uint8_t>> loadPendingCrashReportData(const std::string& path) const;
  // Removes the pending report at `path`; errors as for loading.
  TLCrashStatus purgePendingCrashReport(const std::string& path) const;
  // The same for the first (oldest) pending report; ENOENT when there is none.
  Result<std::vector<uint8_t>> loadPendingCrashReportData() const;
  TLCrashStatus purgePendingCrashReport() const;

  // Enables capture (see the .cpp for the steps). Errors: code 3 "A TLCrashReporter instance has
  // already been enabled" on every attempt after the first in the process, whatever its outcome;
  // the folder's error; code 1 from the signal or exception set-up. Throws
  // TLCrashReporterException when this instance is already enabled.
  TLCrashStatus enableCrashReporter();

  // Stores the post-crash callback (process-wide; the last call wins). Throws
  // TLCrashReporterException when this instance is enabled, or for a version other than 0.
  void setCrashCallbacks(const TLCrashReporterCallbacks& callbacks);

  // A report of the running process now, with `thread` marked as crashed (signal SIGTRAP,
  // TRAP_TRACE, at the caller's return address). Errors: code 1 "Failed to create temporary
  // path", code 0 "Failed to write the crash report to disk" or "Unable to open live crash report
  // for reading".
  Result<std::vector<uint8_t>> generateLiveReportWithThread(tlcrash_thread_t thread);
  Result<std::vector<uint8_t>> generateLiveReport();

  std::string crashReportDirectory() const { return crashReportDirectory_; }
  std::string queuedCrashReportDirectory() const;
  // The fixed pending report path of earlier versions (still read, never written).
  std::string crashReportPath() const;
  // Where a crash of this process leaves its report once this reporter is enabled, a name of its
  // own ("live_report.<id>.tlcrash"), fixed when the reporter is made; and the partial file it
  // is written to first.
  std::string ownCrashReportPath() const;
  std::string ownPartialCrashReportPath() const;
  // Makes the folder, then the queued folder, each only when missing, and keeps the report paths
  // free for a file. Whatever stands in the way (a file where a folder goes, a folder where a
  // report goes) is moved aside, with a warning, so that reporting goes on. Partial reports left
  // by processes killed while writing them (older than an hour) are removed.
  TLCrashStatus populateCrashReportDirectory() const;

  // 0 stays 0; anything else keeps its two low bits.
  static uint32_t mapToAsyncSymbolicationStrategy(uint64_t strategy);

  // Starts an exception server with `callback` and `context` and swaps it in for the task's
  // exception ports (mask: exceptionServerMask of this host); `previous` receives the
  // registrations it replaced. Errors (code 1): "Failed to instantiate the Mach exception
  // server.", "Failed to instantiate the Mach exception port.", "Failed to set the target task's
  // mach exception ports.".
  Result<std::shared_ptr<TLCrashMachExceptionServer>> enableMachExceptionServerWithPreviousPortSet(
      std::shared_ptr<TLCrashMachExceptionPortSet>* previous, TLCrashMachExceptionServerCallback callback,
      void* context);

  // The exception types the server takes: bad access, bad instruction, arithmetic, software and
  // breakpoint (0x6E), plus guard exceptions (0x106E) on kernels of major version 13 or higher
  // (the versions that raise them); 0x6E when the host is unknown.
  static mach::exception_mask_t exceptionServerMask(const std::optional<TLCrashHostInfo>& host);

  const TLCrashReporterConfig& config() const { return config_; }
  bool isEnabled() const { return enabled_; }
  const std::string& applicationIdentifier() const { return applicationIdentifier_; }
  const std::string& applicationVersion() const { return applicationVersion_; }
  const std::optional<std::string>& applicationMarketingVersion() const { return applicationMarketingVersion_; }

 private:
  // Whether `path` is a report file name in this reporter's folder.
  bool isPendingReportPath(const std::string& path) const;

  TLCrashReporterConfig config_;
  bool enabled_ = false;
  std::shared_ptr<TLCrashMachExceptionServer> machServer_;
  std::shared_ptr<TLCrashMachExceptionPortSet> previousMachPorts_;
  std::string applicationIdentifier_;
  std::string applicationVersion_;
  std::optional<std::string> applicationMarketingVersion_;
  std::string crashReportDirectory_;
  std::string reportId_ = tlcrash_nasync_new_report_id();
};

}  // namespace ml::crash
