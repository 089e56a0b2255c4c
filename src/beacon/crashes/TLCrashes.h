#pragma once
// The crash reporting service of the telemetry client ("Crashes", priority 999: it starts before
// every other service, so crashes during their start are caught).
//
// The application starts it with the client:
//   TLBeacon::start(secret, {TLServiceClass::of<TLCrashes>(), TLServiceClass::of<TLAnalytics>()});
// Enabling installs the in-process crash reporter once per process (the exception server and a
// SIGABRT handler, or signal handlers after disableMachExceptionHandler()), the uncaught-exception
// and C++ terminate paths and the crash log buffer's post-crash writer; it moves the previous
// run's pending report into the "crashes" folder and, one second later on the global pool, turns
// every stored report into a critical "appleError" log on the "Crashes" unit. The logs that were
// in flight at a crash are re-sent through the "CrashesBuffer" unit at the next start. Disabling
// deletes every stored crash file, buffer file and wrapper exception; the reporter stays
// installed, and a crash written while disabled is purged at the next enabling.
//
// Without a delegate and a confirmation handler (the application's case) every processed crash is
// sent at once. Failures are logged under "BeaconCrashes", never returned.
//
// The class is the facade over three parts: the reporter's installation and pending report
// (TLCrashesReporterSetup), the processing of stored reports, one record per report
// (TLCrashReportProcessor, with the service's side of it in TLCrashesProcessing.cpp), and the
// crash log buffer (TLCrashesLogBuffer).
//
// Threads: start, re-configuration and the switch run on the caller's thread. Processing runs on
// the processing queue and the confirmation prompt on the main queue. The channel callbacks run on
// the enqueuing thread (prepare) and the channel's queue (the rest). The processing state belongs
// to the report processor, which guards it itself; no lock of the service is held while the host
// (filter, confirmation handler, attachments, delegate), the channel or the client is called, so
// the host may answer notifyWithUserConfirmation from any thread, at once or later, and the
// client's switch may run while a processing run is under way.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "beacon/core/Channel/TLChannelDelegate.h"
#include "beacon/core/Service/TLServiceAbstract.h"
#include "beacon/core/TLUtility.h"
#include "beacon/crashes/Internals/TLCrashReportProcessor.h"
#include "beacon/crashes/Internals/TLCrashesReporterSetup.h"
#include "beacon/crashes/Internals/TLCrashesUncaughtCXXExceptionHandlerManager.h"
#include "beacon/crashes/Internals/TLMemoryPressureSource.h"
#include "beacon/crashes/TLCrashesDelegate.h"
#include "beacon/crashes/TLCrashesLog.h"
#include "beacon/crashes/Model/TLException.h"
#include "crashreporter/capture/platform/UncaughtExceptionHandler.h"
#include "platform/dispatch/Timer.h"

namespace ml::dispatch {
class Clock;
class Queue;
}  // namespace ml::dispatch

namespace ml::crash {
class TLCrashReporter;
}

namespace ml::beacon {

class TLEncrypter;
class TLUserDefaults;

class TLCrashes final : public TLServiceAbstract,
                        public TLChannelDelegate,
                        public std::enable_shared_from_this<TLCrashes> {
 public:
  static constexpr std::string_view kClassName = "TLCrashes";
  static constexpr std::string_view kServiceName = "Crashes";
  static constexpr std::string_view kGroupId = "Crashes";
  static constexpr std::string_view kBufferGroupId = "CrashesBuffer";
  static constexpr std::int64_t kInitializationPriority = 999;
  static constexpr std::string_view kMemoryWarningKey = "TLAppDidReceiveMemoryWarning";
  static constexpr std::string_view kUserConfirmationKey = "TLUserConfirmation";
  // The incident ids of sent crashes whose report could not be removed (an array of strings).
  static constexpr std::string_view kSentCrashReportsKey = "TLSentCrashReports";
  static constexpr auto kProcessingDelay = std::chrono::seconds(1);

  using UserConfirmationHandler = std::function<bool(const std::vector<std::shared_ptr<TLErrorReport>>& reports)>;
  using Attachments = std::vector<std::shared_ptr<TLErrorAttachmentLog>>;

  // Where the service's work runs; standard() is the production wiring.
  struct Environment {
    TLUserDefaults* settings = nullptr;
    dispatch::Clock* clock = nullptr;            // the processing delay
    dispatch::Queue* processingQueue = nullptr;  // delayed processing
    dispatch::Queue* mainQueue = nullptr;        // memory-pressure events
    std::function<bool()> isDebuggerAttached;
    // Builds the crash reporter; the default is the application's reporter with `config`.
    std::function<std::unique_ptr<crash::TLCrashReporter>(std::uint64_t signalHandlerType,
                                                          bool registerUncaughtExceptionHandler)>
        makeReporter;
    // Starts watching memory pressure; null: none.
    std::function<std::unique_ptr<TLMemoryPressureSource>(std::function<void()> onPressure)> watchMemoryPressure;

    static Environment standard();
  };

  TLCrashes();
  explicit TLCrashes(Environment environment);
  ~TLCrashes() override;

  // ===== Class methods (over the shared instance)

  static std::shared_ptr<TLCrashes> sharedInstance();
  // Drops the shared instance; the next sharedInstance() makes a new one, or answers `replacement`.
  static void resetSharedInstance(std::shared_ptr<TLCrashes> replacement = nullptr);

  // Ends the process with an illegal-instruction crash (when the service can be used).
  static void generateTestCrash();
  static bool hasCrashedInLastSession();
  static bool hasReceivedMemoryWarningInLastSession();
  static std::shared_ptr<TLErrorReport> lastSessionCrashReport();
  static void setDelegate(std::shared_ptr<TLCrashesDelegate> delegate);
  static void setUserConfirmationHandler(UserConfirmationHandler handler);
  static void notifyWithUserConfirmation(TLUserConfirmation confirmation);
  // Before the client starts the service: catch crashes with signal handlers only.
  static void disableMachExceptionHandler();
  static void trackModelException(const std::shared_ptr<TLException>& exception);
  static void trackModelException(const std::shared_ptr<TLException>& exception,
                                  const std::optional<TLStringProperties>& properties);
  static void sendErrorAttachments(const Attachments& attachments, const std::string& incidentIdentifier);

  // ===== Instance

  // --- TLServiceAbstract / TLServiceCommon
  std::string_view className() const override { return kClassName; }
  std::string_view logTag() const override { return kCrashesLogTag; }
  std::string groupId() const override { return std::string(kGroupId); }
  std::string serviceName() const override { return std::string(kServiceName); }
  std::int64_t initializationPriority() const override { return kInitializationPriority; }
  std::optional<TLChannelUnitConfiguration> channelUnitConfiguration() const override;
  void startWithChannelGroup(const std::shared_ptr<TLChannelGroupProtocol>& channelGroup,
                             const std::optional<std::string>& appSecret,
                             const std::optional<std::string>& transmissionTargetToken, bool fromApplication) override;
  void updateConfigurationWithAppSecret(const std::optional<std::string>& appSecret,
                                        const std::optional<std::string>& transmissionTargetToken) override;
  void applyEnabledState(bool isEnabled) override;
  // Cancels the delayed processing (and waits for a run of it already under way) and the
  // memory-pressure watch, and lets go of the units.
  void shutdown() override;

  // --- Crash reporter
  // Builds the reporter and enables it, once per instance; the hooks around it come from the
  // wrapper's set-up delegate.
  void configureCrashReporterWithUncaughtExceptionHandlerEnabled(bool enableUncaughtExceptionHandler);
  void setEnableMachExceptionHandler(bool enable) { enableMachExceptionHandler_.store(enable); }
  bool isMachExceptionHandlerEnabled() const { return enableMachExceptionHandler_.load(); }
  crash::TLCrashReporter* crashReporter() const;

  // --- Processing
  void startDelayedCrashProcessing();
  void startCrashProcessing();
  // Blocks until the first processing run of this enabling is over, then the reports waiting for
  // confirmation.
  std::vector<std::shared_ptr<TLErrorReport>> unprocessedCrashReports();
  bool sendCrashReportsOrAwaitUserConfirmationForFilteredIds(const std::vector<std::string>& incidentIdentifiers);
  void notifyWithUserConfirmationInstance(TLUserConfirmation confirmation);
  void sendErrorAttachmentsInstance(const Attachments& attachments, const std::string& incidentIdentifier);
  void setAutomaticProcessingEnabled(bool enabled);
  bool isAutomaticProcessingEnabled() const;
  // Stored crash files not yet sent.
  std::vector<std::filesystem::path> crashFiles() const;

  // --- State of the last session
  bool didCrashInLastSession() const { return didCrashInLastSession_.load(); }
  bool didReceiveMemoryWarningInLastSession() const { return didReceiveMemoryWarningInLastSession_.load(); }
  std::shared_ptr<TLErrorReport> getLastSessionCrashReport() const;
  void processMemoryWarningInLastSession();
  void didReceiveMemoryWarning();
  // Clears the device history and cuts the session and user-id histories to their current entry.
  void clearContextHistoryAndKeepCurrentSession();
  // The same, unless a crash report of an earlier launch is still pending (not stored yet, so
  // not sent): the launch that sends it looks its session and user up in these histories.
  void clearContextHistoryUnlessReportPending();

  // --- Host
  void setDelegateInstance(std::shared_ptr<TLCrashesDelegate> delegate);
  void setUserConfirmationHandlerInstance(UserConfirmationHandler handler);
  void trackModelExceptionInstance(const std::shared_ptr<TLException>& exception,
                                   const std::optional<TLStringProperties>& properties);
  void generateTestCrashInstance();

  // --- Crash log buffer
  void setupLogBuffer();
  void processLogBufferAfterCrash();
  void emptyLogBufferFiles();
  std::shared_ptr<TLChannelUnitProtocol> bufferChannelUnit() const;

  // --- TLChannelDelegate
  void channelDidPrepareLog(TLChannelProtocol& channel, const Log& log, const std::string& internalId,
                            std::uint64_t flags) override;
  void channelDidCompleteEnqueueingLog(TLChannelProtocol& channel, const Log& log,
                                       const std::string& internalId) override;
  void channelWillSendLog(TLChannelProtocol& channel, const Log& log) override;
  void channelDidSucceedSendingLog(TLChannelProtocol& channel, const Log& log) override;
  void channelDidFailSendingLog(TLChannelProtocol& channel, const Log& log,
                                const std::optional<foundation::Error>& error) override;

 private:
  TLCrashReportProcessor::Environment processorEnvironment();
  std::shared_ptr<TLCrashesDelegate> delegate() const;
  UserConfirmationHandler userConfirmationHandler() const;
  bool promptForConfirmation(const std::vector<std::shared_ptr<TLErrorReport>>& reports);

  Environment environment_;
  const std::string crashesPathComponent_;
  const std::string logBufferPathComponent_;
  std::unique_ptr<TLEncrypter> targetTokenEncrypter_;
  // The crash reporter and its installation (guarded by the set-up itself).
  TLCrashesReporterSetup reporterSetup_;

  std::atomic<bool> didCrashInLastSession_{false};
  std::atomic<bool> didReceiveMemoryWarningInLastSession_{false};
  std::atomic<bool> shouldReleaseProcessingSemaphore_{true};
  std::atomic<bool> enableMachExceptionHandler_{true};
  std::counting_semaphore<> delayedProcessingSemaphore_{0};

  // The service's object lock: the test crash, the gate's flag, the fields below. Never held while
  // the host, the channel or the client is called.
  mutable std::recursive_mutex lock_;
  std::shared_ptr<TLErrorReport> lastSessionCrashReport_;
  std::weak_ptr<TLCrashesDelegate> delegate_;
  UserConfirmationHandler userConfirmationHandler_;
  std::shared_ptr<TLChannelUnitProtocol> bufferChannelUnit_;
  std::unique_ptr<TLMemoryPressureSource> memoryPressureSource_;
  dispatch::Timer delayedProcessing_;

  // The delayed processing run under way on the processing queue, which shutdown() waits for
  // (a run that begins once shutdown() has closed the gate does nothing). Own lock, taken alone.
  std::mutex processingRunLock_;
  std::condition_variable processingRunEnded_;
  std::optional<std::thread::id> processingRunThread_;
  bool processingClosed_ = false;

  // The processing state: stored files, the reports waiting for confirmation, the crash logs
  // waiting for the channel (synchronised by the processor itself).
  std::unique_ptr<TLCrashReportProcessor> processor_;
};

}  // namespace ml::beacon
