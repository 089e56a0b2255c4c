#include "beacon/crashes/TLCrashes.h"

#include "beacon/core/Channel/TLChannelGroupProtocol.h"
#include "beacon/core/Channel/TLChannelUnitProtocol.h"
#include "beacon/core/Context/TLDeviceTracker.h"
#include "beacon/core/Context/TLSessionContext.h"
#include "beacon/core/Context/TLUserIdContext.h"
#include "beacon/core/Service/TLBeacon.h"
#include "beacon/core/Service/TLStoredBoolean.h"
#include "beacon/core/TLEncrypter.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLNeverDestroyed.h"
#include "beacon/core/TLUserDefaults.h"
#include "beacon/core/TLUtility.h"
#include "beacon/core/TLUtilityApplication.h"
#include "beacon/crashes/Internals/TLCrashesLogBuffer.h"
#include "beacon/crashes/Model/TLAppleErrorLog.h"
#include "beacon/crashes/Model/TLCrashesArchiveClasses.h"
#include "beacon/crashes/Model/TLHandledErrorLog.h"
#include "beacon/crashes/Util/TLCrashesUtil.h"
#include "beacon/crashes/Util/TLErrorLogFormatter.h"
#include "beacon/crashes/WrapperSDKUtilities/TLWrapperCrashesHelper.h"
#include "beacon/crashes/WrapperSDKUtilities/TLWrapperExceptionManager.h"
#include "crashreporter/capture/TLCrashReporter.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/GlobalPool.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Uuid.h"

namespace ml::beacon {

namespace {

auto& shared() { return TLSharedInstanceSlot<TLCrashes>::get(); }

}  // namespace

TLCrashes::Environment TLCrashes::Environment::standard() {
  Environment environment;
  environment.settings = &TLUserDefaults::shared();
  environment.clock = &dispatch::Clock::system();
  environment.processingQueue = &dispatch::GlobalPool::shared();
  environment.mainQueue = &dispatch::MainQueue::shared();
  environment.isDebuggerAttached = [] { return TLBeacon::isDebuggerAttached(); };
  environment.makeReporter = [](std::uint64_t signalHandlerType, bool registerUncaughtExceptionHandler) {
    return std::make_unique<crash::TLCrashReporter>(crash::TLCrashReporterConfig(
        signalHandlerType, crash::TLCrashReporterSymbolicationStrategyNone, registerUncaughtExceptionHandler));
  };
  environment.watchMemoryPressure = [](std::function<void()> onPressure) {
    return std::make_unique<TLMemoryPressureSource>(dispatch::MainQueue::shared(), std::move(onPressure));
  };
  return environment;
}

TLCrashes::TLCrashes() : TLCrashes(Environment::standard()) {}

TLCrashes::TLCrashes(Environment environment)
    : TLServiceAbstract(environment.settings ? *environment.settings : TLUserDefaults::shared()),
      environment_(std::move(environment)),
      crashesPathComponent_(TLCrashesUtil::crashesDir()),
      logBufferPathComponent_(TLCrashesUtil::logBufferDir()),
      targetTokenEncrypter_(std::make_unique<TLEncrypter>()),
      reporterSetup_(environment_.makeReporter, environment_.isDebuggerAttached) {
  if (!environment_.settings) environment_.settings = &TLUserDefaults::shared();
  registerCrashesArchiveClasses();
  processor_ = std::make_unique<TLCrashReportProcessor>(processorEnvironment(), crashesPathComponent_);
  setupLogBuffer();
}

TLCrashes::~TLCrashes() {
  // The delayed run and the pressure watcher call into the instance: they go first.
  delayedProcessing_.cancel();
  memoryPressureSource_.reset();
}

// --- Shared instance and class methods

std::shared_ptr<TLCrashes> TLCrashes::sharedInstance() {
  auto& holder = shared();
  std::lock_guard guard(holder.lock);
  if (!holder.instance) holder.instance = std::make_shared<TLCrashes>();
  return holder.instance;
}

void TLCrashes::resetSharedInstance(std::shared_ptr<TLCrashes> replacement) {
  std::shared_ptr<TLCrashes> previous;
  {
    auto& holder = shared();
    std::lock_guard guard(holder.lock);
    previous = std::exchange(holder.instance, std::move(replacement));
  }
}

void TLCrashes::generateTestCrash() { sharedInstance()->generateTestCrashInstance(); }
bool TLCrashes::hasCrashedInLastSession() { return sharedInstance()->didCrashInLastSession(); }
bool TLCrashes::hasReceivedMemoryWarningInLastSession() {
  return sharedInstance()->didReceiveMemoryWarningInLastSession();
}
std::shared_ptr<TLErrorReport> TLCrashes::lastSessionCrashReport() { return sharedInstance()->getLastSessionCrashReport(); }
void TLCrashes::setDelegate(std::shared_ptr<TLCrashesDelegate> delegate) {
  sharedInstance()->setDelegateInstance(std::move(delegate));
}
void TLCrashes::setUserConfirmationHandler(UserConfirmationHandler handler) {
  sharedInstance()->setUserConfirmationHandlerInstance(std::move(handler));
}
void TLCrashes::notifyWithUserConfirmation(TLUserConfirmation confirmation) {
  sharedInstance()->notifyWithUserConfirmationInstance(confirmation);
}
void TLCrashes::disableMachExceptionHandler() { sharedInstance()->setEnableMachExceptionHandler(false); }
void TLCrashes::trackModelException(const std::shared_ptr<TLException>& exception) {
  sharedInstance()->trackModelExceptionInstance(exception, std::nullopt);
}
void TLCrashes::trackModelException(const std::shared_ptr<TLException>& exception,
                                    const std::optional<TLStringProperties>& properties) {
  sharedInstance()->trackModelExceptionInstance(exception, properties);
}
void TLCrashes::sendErrorAttachments(const Attachments& attachments, const std::string& incidentIdentifier) {
  sharedInstance()->sendErrorAttachmentsInstance(attachments, incidentIdentifier);
}

// --- Start

std::optional<TLChannelUnitConfiguration> TLCrashes::channelUnitConfiguration() const {
  // Priority 2, flush every second, one crash per batch, three batches in flight.
  return TLChannelUnitConfiguration(std::string(kGroupId), 2, 1, 1, 3);
}

void TLCrashes::startWithChannelGroup(const std::shared_ptr<TLChannelGroupProtocol>& channelGroup,
                                      const std::optional<std::string>& appSecret,
                                      const std::optional<std::string>& transmissionTargetToken, bool fromApplication) {
  TLServiceAbstract::startWithChannelGroup(channelGroup, appSecret, transmissionTargetToken, fromApplication);
  if (channelGroup) channelGroup->addDelegate(shared_from_this());
  processLogBufferAfterCrash();
  processMemoryWarningInLastSession();
  TL_LOG_VERBOSE(kCrashesLogTag, "Started crash service.");
}

void TLCrashes::updateConfigurationWithAppSecret(const std::optional<std::string>& appSecret,
                                                 const std::optional<std::string>& transmissionTargetToken) {
  processLogBufferAfterCrash();
  TLServiceAbstract::updateConfigurationWithAppSecret(appSecret, transmissionTargetToken);
}

// --- Switch

void TLCrashes::applyEnabledState(bool isEnabled) {
  TLServiceAbstract::applyEnabledState(isEnabled);
  if (isEnabled) {
    auto setup = TLWrapperCrashesHelper::getCrashHandlerSetupDelegate();
    bool enableUncaughtExceptionHandler = true;
    if (setup) {
      if (auto answer = setup->shouldEnableUncaughtExceptionHandler()) enableUncaughtExceptionHandler = *answer;
      setup->willSetUpCrashHandlers();
    }
    configureCrashReporterWithUncaughtExceptionHandlerEnabled(enableUncaughtExceptionHandler);
    if (setup) setup->didSetUpCrashHandlers();

    if (environment_.watchMemoryPressure) {
      std::weak_ptr<TLCrashes> weak = weak_from_this();
      auto source = environment_.watchMemoryPressure([weak] {
        if (auto strong = weak.lock()) strong->didReceiveMemoryWarning();
      });
      std::lock_guard guard(lock_);
      memoryPressureSource_ = std::move(source);
    }

    // The stored switch still holds the old state here: off means this enabling ends a disabled
    // period, and a crash of that period is never reported.
    if (!TLServiceAbstract::isEnabled()) reporterSetup_.purgePendingCrashReports();
    if (reporterSetup_.hasPendingCrashReport()) {
      didCrashInLastSession_.store(true);
      TL_LOG_DEBUG(kCrashesLogTag, "The application crashed in the last session.");
      std::shared_ptr<TLErrorReport> report = processor_->handleLatestCrashReport();
      std::lock_guard guard(lock_);
      if (report) lastSessionCrashReport_ = std::move(report);
    }
    processor_->setCrashFiles(processor_->persistedCrashReports());
    const bool noStoredCrash = processor_->crashFiles().empty();
    if (noStoredCrash) {
      delayedProcessingSemaphore_.release();
      clearContextHistoryUnlessReportPending();
    } else {
      startDelayedCrashProcessing();
    }
    if (environment_.isDebuggerAttached && environment_.isDebuggerAttached()) {
      TL_LOG_INFO(kCrashesLogTag,
                  "Crashes service has been enabled but the service cannot detect crashes due to running the "
                  "application with a debugger attached.");
    } else {
      TL_LOG_INFO(kCrashesLogTag, "Crashes service has been enabled.");
    }
    return;
  }

  std::unique_ptr<TLMemoryPressureSource> source;
  {
    std::lock_guard guard(lock_);
    source = std::move(memoryPressureSource_);
    delayedProcessing_.cancel();
  }
  source.reset();
  TL_LOG_DEBUG(kCrashesLogTag, "Cleaning up all crash files.");
  TLWrapperExceptionManager::deleteAllWrapperExceptions();
  processor_->deleteAllFromCrashesDirectory();
  emptyLogBufferFiles();
  processor_->removeAnalyzerFile();
  reporterSetup_.purgePendingCrashReports();
  processor_->clearUnprocessedReports();
  clearContextHistoryAndKeepCurrentSession();
  environment_.settings->removeObjectForKey(kMemoryWarningKey);
  TL_LOG_INFO(kCrashesLogTag, "Crashes service has been disabled.");
}

void TLCrashes::shutdown() {
  std::unique_ptr<TLMemoryPressureSource> source;
  std::shared_ptr<TLChannelUnitProtocol> buffer;
  {
    std::lock_guard guard(lock_);
    delayedProcessing_.cancel();
    source = std::move(memoryPressureSource_);
    buffer = std::move(bufferChannelUnit_);
  }
  source.reset();  // stops the watcher's thread
  {
    // A run the cancelled timer had already begun goes on: it is waited for, so no processing
    // thread reads the settings or hands a crash to the channel once the client has stopped
    // (the program's static objects may go next). On the main thread the wait serves the main
    // queue's sync requests, where the run asks the host's confirmation handler; a run that
    // shuts the client down itself (from a host callback) is not waited for.
    std::unique_lock gate(processingRunLock_);
    processingClosed_ = true;
    if (processingRunThread_ != std::this_thread::get_id()) {
      dispatch::MainQueue::blockingWait(gate, processingRunEnded_, [this] { return !processingRunThread_; });
    }
  }
  TLServiceAbstract::shutdown();
}

// --- Crash reporter

void TLCrashes::configureCrashReporterWithUncaughtExceptionHandlerEnabled(bool enableUncaughtExceptionHandler) {
  reporterSetup_.configure(isMachExceptionHandlerEnabled(), enableUncaughtExceptionHandler);
}

crash::TLCrashReporter* TLCrashes::crashReporter() const { return reporterSetup_.reporter(); }

// --- Last session

std::shared_ptr<TLErrorReport> TLCrashes::getLastSessionCrashReport() const {
  std::lock_guard guard(lock_);
  return lastSessionCrashReport_;
}

void TLCrashes::processMemoryWarningInLastSession() {
  if (!TLServiceAbstract::isEnabled()) return;
  const bool warned = storedBoolean(*environment_.settings, kMemoryWarningKey, false);
  didReceiveMemoryWarningInLastSession_.store(warned);
  if (warned) TL_LOG_DEBUG(kCrashesLogTag, "The application received a low memory warning in the last session.");
  environment_.settings->removeObjectForKey(kMemoryWarningKey);
}

void TLCrashes::didReceiveMemoryWarning() {
  TL_LOG_DEBUG(kCrashesLogTag, "The application received a low memory warning.");
  environment_.settings->setObject(foundation::PlistValue(true), kMemoryWarningKey);
}

void TLCrashes::clearContextHistoryAndKeepCurrentSession() {
  TLDeviceTracker::sharedInstance()->clearDevices();
  TLSessionContext::sharedInstance()->clearSessionHistoryAndKeepCurrentSession(true);
  TLUserIdContext::sharedInstance()->clearUserIdHistory();
}

void TLCrashes::clearContextHistoryUnlessReportPending() {
  if (reporterSetup_.hasPendingCrashReport()) {
    TL_LOG_DEBUG(kCrashesLogTag, "A crash report is still pending; the session and user histories are kept for it.");
    return;
  }
  clearContextHistoryAndKeepCurrentSession();
}

// --- Host

std::shared_ptr<TLCrashesDelegate> TLCrashes::delegate() const {
  std::lock_guard guard(lock_);
  return delegate_.lock();
}

void TLCrashes::setDelegateInstance(std::shared_ptr<TLCrashesDelegate> delegate) {
  std::lock_guard guard(lock_);
  delegate_ = delegate;
}

TLCrashes::UserConfirmationHandler TLCrashes::userConfirmationHandler() const {
  std::lock_guard guard(lock_);
  return userConfirmationHandler_;
}

void TLCrashes::setUserConfirmationHandlerInstance(UserConfirmationHandler handler) {
  std::lock_guard guard(lock_);
  userConfirmationHandler_ = std::move(handler);
}

void TLCrashes::trackModelExceptionInstance(const std::shared_ptr<TLException>& exception,
                                            const std::optional<TLStringProperties>& properties) {
  if (!canBeUsed() || !TLServiceAbstract::isEnabled()) return;
  // No lock: the channel runs its prepare delegates on this thread.
  auto log = std::make_shared<TLHandledErrorLog>();
  log->setUserId(TLUserIdContext::sharedInstance()->userId());
  log->errorId = foundation::Uuid::random().string();
  log->exception = exception;
  if (properties && !properties->empty()) {
    log->properties = TLUtility::validateProperties(*properties, "ErrorLog: " + *log->errorId, *log->type());
  }
  if (auto unit = channelUnit()) unit->enqueueItem(log, TLCrashReportProcessor::kNormalFlags);
}

void TLCrashes::generateTestCrashInstance() {
  std::lock_guard guard(lock_);
  if (!canBeUsed()) return;
  if (TLUtility::currentAppEnvironment() == 0) {
    TL_LOG_WARNING(kCrashesLogTag, "GenerateTestCrash was just called in an App Store environment. The call will be ignored.");
    return;
  }
  if (environment_.isDebuggerAttached && environment_.isDebuggerAttached()) {
    TL_LOG_WARNING(kCrashesLogTag, "The debugger is attached. The following crash cannot be detected by the SDK!");
  }
  __builtin_trap();
}

// --- Crash log buffer

void TLCrashes::setupLogBuffer() { TLCrashesLogBuffer::shared().setup(logBufferPathComponent_); }

void TLCrashes::processLogBufferAfterCrash() {
  std::shared_ptr<TLChannelUnitProtocol> unit;
  if (auto group = channelGroup()) {
    // Priority 2, flush every second, batches of 50, one batch in flight.
    unit = group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration(std::string(kBufferGroupId), 2, 1, 50, 1));
  }
  {
    std::lock_guard guard(lock_);
    bufferChannelUnit_ = unit;
  }
  TLCrashesLogBuffer::processLogBufferAfterCrash(
      logBufferPathComponent_, [this](const std::string& text) { return targetTokenEncrypter_->decryptString(text); },
      [unit](std::shared_ptr<TLAbstractLog> log) {
        if (unit) unit->enqueueItem(log, TLCrashReportProcessor::kNormalFlags);
      });
}

void TLCrashes::emptyLogBufferFiles() { TLCrashesLogBuffer::emptyLogBufferFiles(logBufferPathComponent_); }

std::shared_ptr<TLChannelUnitProtocol> TLCrashes::bufferChannelUnit() const {
  std::lock_guard guard(lock_);
  return bufferChannelUnit_;
}

// --- Channel callbacks

void TLCrashes::channelDidPrepareLog(TLChannelProtocol&, const Log& log, const std::string& internalId, std::uint64_t) {
  if (!log || !TLServiceAbstract::isEnabled()) return;
  TLCrashesLogBuffer::shared().didPrepareLog(
      *log, internalId, [this](const std::string& token) { return targetTokenEncrypter_->encryptString(token); });
}

void TLCrashes::channelDidCompleteEnqueueingLog(TLChannelProtocol&, const Log& log, const std::string& internalId) {
  if (!log) return;
  TLCrashesLogBuffer::shared().didCompleteEnqueueingLog(*log, internalId);
  if (dynamic_cast<const TLAppleErrorLog*>(log.get())) processor_->didCompleteEnqueueingLog(log.get());
}

void TLCrashes::channelWillSendLog(TLChannelProtocol&, const Log& log) {
  auto* errorLog = dynamic_cast<const TLAppleErrorLog*>(log.get());
  auto host = delegate();
  if (!errorLog || !host) return;
  host->crashesWillSendErrorReport(*this, *TLErrorLogFormatter::errorReportFromLog(*errorLog));
}

void TLCrashes::channelDidSucceedSendingLog(TLChannelProtocol&, const Log& log) {
  auto* errorLog = dynamic_cast<const TLAppleErrorLog*>(log.get());
  auto host = delegate();
  if (!errorLog || !host) return;
  host->crashesDidSucceedSendingErrorReport(*this, *TLErrorLogFormatter::errorReportFromLog(*errorLog));
}

void TLCrashes::channelDidFailSendingLog(TLChannelProtocol&, const Log& log,
                                         const std::optional<foundation::Error>& error) {
  auto* errorLog = dynamic_cast<const TLAppleErrorLog*>(log.get());
  if (!errorLog) return;
  // A crash log that fails before its enqueueing is complete was refused, not sent.
  processor_->didFailEnqueueingLog(log.get());
  if (auto host = delegate()) {
    host->crashesDidFailSendingErrorReport(*this, *TLErrorLogFormatter::errorReportFromLog(*errorLog), error);
  }
}

}  // namespace ml::beacon
