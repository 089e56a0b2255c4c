#include "crashreporter/capture/TLCrashReporter.h"

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "crashreporter/AsyncFile.h"
#include "crashreporter/LogWriter.h"
#include "crashreporter/LogWriterFork.h"
#include "crashreporter/NeverDestroyed.h"
#include "crashreporter/capture/ReportFolderObstacles.h"
#include "crashreporter/capture/ReporterCallbacks.h"
#include "crashreporter/capture/ReporterLog.h"
#include "crashreporter/capture/TLCrashSignalHandler.h"
#include "crashreporter/capture/ThreadStateCurrent.h"
#include "crashreporter/capture/WriteReport.h"
#include "crashreporter/capture/platform/FaultRelay.h"
#include "crashreporter/capture/platform/ThreadAlternateStacks.h"
#include "crashreporter/capture/platform/ThreadList.h"
#include "crashreporter/capture/platform/ThreadStopper.h"
#include "crashreporter/image/LoadedImages.h"
#include "platform/foundation/AppFolders.h"

namespace ml::crash {
namespace {

std::mutex g_enforce_lock;
bool g_enforce_one = false;  // under g_enforce_lock; stays set once an enabling began

// A Mach-enabled reporter's server and previous ports live to the end of the process, whatever
// becomes of the reporter object, and past it: a crash during exit still needs them.
std::mutex g_keep_alive_lock;
NeverDestroyed<std::vector<std::shared_ptr<void>>> g_keep_alive;

constexpr mach::exception_mask_t kServerMask =
    mach::EXC_MASK_BAD_ACCESS | mach::EXC_MASK_BAD_INSTRUCTION | mach::EXC_MASK_ARITHMETIC |
    mach::EXC_MASK_SOFTWARE | mach::EXC_MASK_BREAKPOINT;
constexpr uint64_t kFirstKernelWithGuardExceptions = 13;
// A partial report older than this was left by a process killed while writing it (a write takes
// milliseconds).
constexpr std::chrono::seconds kPartialReportAge{3600};
// How long enabling waits for the running threads to install their alternate stacks.
constexpr unsigned long long kCoverAnswerTimeoutNs = 1000ull * 1000 * 1000;

std::string folderName(const std::string& identifier) {
  std::string name = identifier;
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return name;
}

Result<std::vector<uint8_t>> readWholeFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return tlcrash_populate_posix_error(errno, "Failed to read " + path);
  std::vector<uint8_t> data;
  uint8_t chunk[64 * 1024];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof(chunk));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      ::close(fd);
      return tlcrash_populate_posix_error(error, "Failed to read " + path);
    }
    if (n == 0) break;
    data.insert(data.end(), chunk, chunk + n);
  }
  ::close(fd);
  return data;
}

std::string temporaryFolder() {
  const char* value = std::getenv("TMPDIR");
  if (value != nullptr && *value == '/') return value;
  return "/tmp";
}

struct LiveWrite {
  const tlcrash_log_writer* writer;
  tlcrash_async_file* file;
  const tlcrash_log_signal_info* siginfo;
};

tlcrash_error_t writeLiveFromHere(tlcrash_async_thread_state_t* state, void* argument) {
  auto* write = static_cast<LiveWrite*>(argument);
  return tlcrash_capture_report(write->writer, write->file, tl_mach_thread_self(), state, write->siginfo);
}

// In the child of every fork of this process, before the child runs anything else: its reports
// are its own (LogWriterFork.h). Async-signal-safe, as fork requires of a multithreaded process.
void adoptForkedProcess() { tlcrash_async_log_writer_adopt_forked_process(&tlcrash_shared_handler_context()->writer); }

// The machinery every capture needs, made ready while the process is healthy.
void prepareCapture() {
  tlcrash_nasync_shared_image_list_start();
  if (int error = tlcrash_nasync_thread_list_prepare(); error != 0) {
    tlcrash_nasync_log("[TLCrashReporter] Warning -- cannot open the thread list: %s", std::strerror(error));
  }
  if (int error = tlcrash_nasync_thread_stopper_prepare(); error != 0) {
    tlcrash_nasync_log("[TLCrashReporter] Warning -- no signal to stop threads with (%s); reports will hold the "
                       "crashed thread only",
                       std::strerror(error));
  }
}

}  // namespace

TLCrashReporter::TLCrashReporter() : TLCrashReporter(TLCrashReporterConfig::defaultConfiguration()) {}

TLCrashReporter::TLCrashReporter(const TLCrashReporterConfig& config)
    : TLCrashReporter(TLCrashBundle::mainBundle(), config) {}

TLCrashReporter::TLCrashReporter(const TLCrashBundle& bundle, const TLCrashReporterConfig& config) : config_(config) {
  std::string identifier;
  if (bundle.bundleIdentifier.has_value() && !bundle.bundleIdentifier->empty()) {
    identifier = *bundle.bundleIdentifier;
  } else {
    const char* process = program_invocation_short_name;
    if (process == nullptr || *process == '\0') {
      throw TLCrashReporterException("Can not determine process identifier or process name");
    }
    tlcrash_nasync_log("[TLCrashReporter] Warning -- bundle identifier, using process name %s", process);
    identifier = process;
  }
  std::string version;
  if (bundle.bundleVersion.has_value()) {
    version = *bundle.bundleVersion;
  } else {
    tlcrash_nasync_log("[TLCrashReporter] Warning -- bundle version unavailable");
  }
  applicationIdentifier_ = std::move(identifier);
  applicationVersion_ = std::move(version);
  applicationMarketingVersion_ = bundle.shortVersionString;
  crashReportDirectory_ =
      (foundation::AppFolders::cache() / kCrashReporterFolderName / folderName(applicationIdentifier_)).string();
  tlcrash_nasync_shared_image_list_start();
}

TLCrashReporter::TLCrashReporter(std::string applicationIdentifier, std::string applicationVersion,
                                 std::optional<std::string> applicationMarketingVersion,
                                 const TLCrashReporterConfig& config)
    : config_(config),
      applicationIdentifier_(std::move(applicationIdentifier)),
      applicationVersion_(std::move(applicationVersion)),
      applicationMarketingVersion_(std::move(applicationMarketingVersion)) {
  crashReportDirectory_ =
      (foundation::AppFolders::cache() / kCrashReporterFolderName / folderName(applicationIdentifier_)).string();
  tlcrash_nasync_shared_image_list_start();
}

TLCrashReporter& TLCrashReporter::sharedReporter() {
  // Made once, under the language's initialisation lock; never destroyed (its callers may run
  // during exit).
  static NeverDestroyed<TLCrashReporter> reporter;
  return *reporter;
}

std::string TLCrashReporter::queuedCrashReportDirectory() const {
  return crashReportDirectory_ + "/" + kQueuedReportsName;
}

std::string TLCrashReporter::crashReportPath() const { return crashReportDirectory_ + "/" + kPendingReportName; }

std::string TLCrashReporter::ownCrashReportPath() const {
  return crashReportDirectory_ + "/" + tlcrash_nasync_report_file_name(reportId_);
}

std::string TLCrashReporter::ownPartialCrashReportPath() const {
  return crashReportDirectory_ + "/" + tlcrash_nasync_partial_report_file_name(reportId_);
}

std::vector<std::string> TLCrashReporter::pendingCrashReportPaths() const {
  // Only a file is a report: a folder in its place is an obstacle, moved aside at enabling.
  return tlcrash_nasync_list_reports(crashReportDirectory_);
}

bool TLCrashReporter::hasPendingCrashReport() const { return !pendingCrashReportPaths().empty(); }

bool TLCrashReporter::isPendingReportPath(const std::string& path) const {
  const std::filesystem::path given(path);
  return given.parent_path() == std::filesystem::path(crashReportDirectory_) &&
         tlcrash_nasync_is_report_file_name(given.filename().string());
}

Result<std::vector<uint8_t>> TLCrashReporter::loadPendingCrashReportData(const std::string& path) const {
  if (!isPendingReportPath(path)) return tlcrash_populate_posix_error(EINVAL, "Not a pending crash report: " + path);
  return readWholeFile(path);
}

TLCrashStatus TLCrashReporter::purgePendingCrashReport(const std::string& path) const {
  if (!isPendingReportPath(path)) return tlcrash_populate_posix_error(EINVAL, "Not a pending crash report: " + path);
  if (::unlink(path.c_str()) != 0) {
    return tlcrash_populate_posix_error(errno, "Failed to remove the pending crash report");
  }
  return TLCrashOk{};
}

Result<std::vector<uint8_t>> TLCrashReporter::loadPendingCrashReportData() const {
  const std::vector<std::string> pending = pendingCrashReportPaths();
  if (pending.empty()) return tlcrash_populate_posix_error(ENOENT, "Failed to read " + crashReportPath());
  return loadPendingCrashReportData(pending.front());
}

TLCrashStatus TLCrashReporter::purgePendingCrashReport() const {
  const std::vector<std::string> pending = pendingCrashReportPaths();
  if (pending.empty()) return tlcrash_populate_posix_error(ENOENT, "Failed to remove the pending crash report");
  return purgePendingCrashReport(pending.front());
}

TLCrashStatus TLCrashReporter::populateCrashReportDirectory() const {
  // The folders below the caches folder are the reporter's own: whatever blocks them is moved
  // aside rather than left to turn reporting off at every launch.
  const std::string root = std::filesystem::path(crashReportDirectory_).parent_path().parent_path().string();
  if (int error = tlcrash_nasync_make_report_folders(root, crashReportDirectory_); error != 0) {
    return tlcrash_populate_posix_error(error, "Failed to create the crash report directory");
  }
  if (int error = tlcrash_nasync_make_report_folders(root, queuedCrashReportDirectory()); error != 0) {
    return tlcrash_populate_posix_error(error, "Failed to create the queued crash report directory");
  }
  // A folder (or anything but a file) at the report's path would make every crash's report fail
  // to open.
  for (const std::string& path : {crashReportPath(), ownCrashReportPath(), ownPartialCrashReportPath()}) {
    if (int error = tlcrash_nasync_clear_report_file_path(path); error != 0) {
      return tlcrash_populate_posix_error(error, "Failed to clear the way to the crash report file");
    }
  }
  tlcrash_nasync_remove_stale_partial_reports(crashReportDirectory_, kPartialReportAge);
  return TLCrashOk{};
}

uint32_t TLCrashReporter::mapToAsyncSymbolicationStrategy(uint64_t strategy) {
  if (strategy == TLCrashReporterSymbolicationStrategyNone) return 0;
  return static_cast<uint32_t>(strategy & TLCrashReporterSymbolicationStrategyAll);
}

mach::exception_mask_t TLCrashReporter::exceptionServerMask(const std::optional<TLCrashHostInfo>& host) {
  if (host.has_value() && host->kernelVersion().major >= kFirstKernelWithGuardExceptions) {
    return kServerMask | mach::EXC_MASK_GUARD;
  }
  return kServerMask;
}

void TLCrashReporter::setCrashCallbacks(const TLCrashReporterCallbacks& callbacks) {
  if (enabled_) throw TLCrashReporterException("The crash reporter has alread been enabled");
  if (callbacks.version != 0) throw TLCrashReporterException("Unsupported crash callbacks version");
  tlcrash_crash_callbacks* shared = tlcrash_shared_crash_callbacks();
  shared->context = callbacks.context;
  shared->handleSignal = callbacks.handleSignal;
  std::atomic_thread_fence(std::memory_order_seq_cst);
}

TLCrashStatus TLCrashReporter::enableCrashReporter() {
  // 1. Once per process, whatever happens next.
  {
    std::lock_guard<std::mutex> lock(g_enforce_lock);
    if (g_enforce_one) {
      return tlcrash_populate_error(TLCrashReporterErrorResourceBusy,
                                    "A TLCrashReporter instance has already been enabled");
    }
    g_enforce_one = true;
  }
  // 2.
  if (enabled_) throw TLCrashReporterException("The crash reporter has alread been enabled");
  // 3.
  if (TLCrashStatus folders = populateCrashReportDirectory(); !folders) return folders;
  // 4. This process's report paths as bytes the crash path can open, and the room of its report,
  // reserved while the volume has it.
  tlcrash_signal_handler_context* context = tlcrash_shared_handler_context();
  if (int error = tlcrash_nasync_report_output_prepare(&context->output, crashReportDirectory_.c_str(),
                                                      ownCrashReportPath().c_str(),
                                                      ownPartialCrashReportPath().c_str(), kReportOutputLimit);
      error != 0) {
    return tlcrash_populate_posix_error(error, "The crash report path is too long");
  }
  // 5. The writer context; a partly filled one is still used.
  tlcrash_log_writer_init(&context->writer, applicationIdentifier_, applicationVersion_, applicationMarketingVersion_,
                          mapToAsyncSymbolicationStrategy(config_.symbolicationStrategy()), false);
  prepareCapture();
  if (int error = ::pthread_atfork(nullptr, nullptr, adoptForkedProcess); error != 0) {
    tlcrash_nasync_log("[TLCrashReporter] Warning -- cannot follow forks (%s); a forked child's report will carry "
                       "its parent's process id",
                       std::strerror(error));
  }
  std::atomic_thread_fence(std::memory_order_seq_cst);

  // 6. The handlers.
  TLCrashSignalHandler& signals = TLCrashSignalHandler::sharedHandler();
  if (config_.signalHandlerType() == TLCrashReporterSignalHandlerTypeBSD) {
    for (int signo : kMonitoredSignals) {
      if (TLCrashStatus registered = signals.registerHandlerForSignal(signo, signal_handler_callback, context);
          !registered) {
        return registered;
      }
    }
  } else if (config_.signalHandlerType() == TLCrashReporterSignalHandlerTypeMach) {
    if (TLCrashStatus registered = signals.registerHandlerForSignal(SIGABRT, signal_handler_callback, context);
        !registered) {
      return registered;
    }
    std::shared_ptr<TLCrashMachExceptionPortSet> previous;
    auto server = enableMachExceptionServerWithPreviousPortSet(&previous, mach_exception_callback, context);
    if (!server) return server.error();
    machServer_ = server.value();
    previousMachPorts_ = previous;
    {
      std::lock_guard<std::mutex> lock(g_keep_alive_lock);
      g_keep_alive->push_back(machServer_);
      if (previousMachPorts_) g_keep_alive->push_back(previousMachPorts_);
    }
    context->port_set = previousMachPorts_ ? previousMachPorts_->asyncSafeRepresentation()
                                           : tlcrash_mach_exception_port_set{};
    std::atomic_thread_fence(std::memory_order_seq_cst);
    // The server sees only faults the processor raises in this process; a fatal signal sent by
    // another process, and every fault of a forked child (which has no server thread), take the
    // signal path, so that they too leave a report.
    mach::tl_fault_relay_set_unserved_signal_handler(unserved_signal_report_callback, context);
  }

  // Any thread may overflow its stack: each needs an alternate stack for the fault to reach the
  // handlers (or the fault relay) at all.
  if (config_.signalHandlerType() == TLCrashReporterSignalHandlerTypeBSD ||
      config_.signalHandlerType() == TLCrashReporterSignalHandlerTypeMach) {
    if (unsigned uncovered = tlcrash_nasync_alternate_stacks_cover_all_threads(kCoverAnswerTimeoutNs); uncovered != 0) {
      tlcrash_nasync_log("[TLCrashReporter] Warning -- %u threads have no alternate signal stack; a stack overflow "
                         "on them leaves no report",
                         uncovered);
    }
  }

  // 7.
  if (config_.shouldRegisterUncaughtExceptionHandler()) tl_set_uncaught_exception_handler(uncaught_exception_handler);
  // 8.
  enabled_ = true;
  return TLCrashOk{};
}

Result<std::shared_ptr<TLCrashMachExceptionServer>> TLCrashReporter::enableMachExceptionServerWithPreviousPortSet(
    std::shared_ptr<TLCrashMachExceptionPortSet>* previous, TLCrashMachExceptionServerCallback callback,
    void* context) {
  const mach::exception_mask_t mask = exceptionServerMask(TLCrashHostInfo::currentHostInfo());
  auto server = TLCrashMachExceptionServer::initWithCallBack(callback, context);
  if (!server) {
    return tlcrash_populate_error(TLCrashReporterErrorOperatingSystem,
                                  "Failed to instantiate the Mach exception server.", &server.error());
  }
  auto port = server.value()->exceptionPortWithMask(mask);
  if (!port) {
    return tlcrash_populate_error(TLCrashReporterErrorOperatingSystem, "Failed to instantiate the Mach exception port.",
                                  &port.error());
  }
  if (TLCrashStatus registered = port.value().registerForTask(::getpid(), previous); !registered) {
    return tlcrash_populate_error(TLCrashReporterErrorOperatingSystem,
                                  "Failed to set the target task's mach exception ports.", &registered.error());
  }
  return server.value();
}

Result<std::vector<uint8_t>> TLCrashReporter::generateLiveReport() {
  return generateLiveReportWithThread(tl_mach_thread_self());
}

Result<std::vector<uint8_t>> TLCrashReporter::generateLiveReportWithThread(tlcrash_thread_t thread) {
  const uint64_t caller = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  std::string path = temporaryFolder() + "/live_crash_report.XXXXXX";
  int fd = ::mkstemp(path.data());
  if (fd < 0) return tlcrash_populate_posix_error(errno, "Failed to create temporary path");
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);

  prepareCapture();
  tlcrash_log_writer writer;
  tlcrash_log_writer_init(&writer, applicationIdentifier_, applicationVersion_, applicationMarketingVersion_,
                          mapToAsyncSymbolicationStrategy(config_.symbolicationStrategy()), true);
  tlcrash_async_file file;
  tlcrash_async_file_init(&file, fd, kReportOutputLimit);
  tlcrash_log_bsd_signal_info bsd{SIGTRAP, TRAP_TRACE, caller};
  tlcrash_log_signal_info siginfo{&bsd, nullptr};

  tlcrash_error_t err;
  if (thread == tl_mach_thread_self()) {
    LiveWrite write{&writer, &file, &siginfo};
    err = tlcrash_async_thread_state_current(writeLiveFromHere, &write);
  } else {
    err = tlcrash_capture_report(&writer, &file, thread, nullptr, &siginfo);
  }
  tlcrash_log_writer_close(&writer);
  if (!tlcrash_async_file_flush(&file) && err == TLCRASH_ESUCCESS) err = TLCRASH_OUTPUT_ERR;
  if (!tlcrash_async_file_close(&file)) {
    ::close(fd);
    if (err == TLCRASH_ESUCCESS) err = TLCRASH_OUTPUT_ERR;
  }

  Result<std::vector<uint8_t>> result = std::vector<uint8_t>{};
  if (err != TLCRASH_ESUCCESS) {
    tlcrash_nasync_log("Write failed with error %s", tlcrash_async_strerror(err));
    result = tlcrash_populate_error(TLCrashReporterErrorUnknown, "Failed to write the crash report to disk");
  } else {
    result = readWholeFile(path);
    if (!result) {
      result = tlcrash_populate_error(TLCrashReporterErrorUnknown, "Unable to open live crash report for reading",
                                      &result.error());
    }
  }
  tlcrash_log_writer_free(&writer);
  if (::unlink(path.c_str()) != 0) {
    tlcrash_nasync_log("Failure occured deleting live crash report: %s", std::strerror(errno));
  }
  return result;
}

}  // namespace ml::crash
