// The crashes service's side of processing stored crash reports: the surroundings it gives the
// report processor (channel unit, contexts, settings, reporter, host hooks), the delayed run, the
// confirmation prompt on the main queue, and the entry points of wrappers and hosts that reach
// the processor. The processor guards its own state; nothing here holds a lock while the host,
// the channel or the client is called.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "beacon/core/Channel/TLChannelUnitProtocol.h"
#include "beacon/core/Context/TLSessionContext.h"
#include "beacon/core/Context/TLUserIdContext.h"
#include "beacon/core/Service/TLStoredBoolean.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUserDefaults.h"
#include "beacon/core/TLUtilityApplication.h"
#include "beacon/crashes/TLCrashes.h"
#include "platform/dispatch/MainQueue.h"

namespace ml::beacon {

// --- Processing

TLCrashReportProcessor::Environment TLCrashes::processorEnvironment() {
  TLCrashReportProcessor::Environment env;
  env.isEnabled = [this] { return TLServiceAbstract::isEnabled(); };
  env.enqueue = [this](std::shared_ptr<TLAbstractLog> log, std::uint32_t flags) {
    // Without a unit the log never completes, and its file stays for the next run.
    if (auto unit = channelUnit()) unit->enqueueItem(log, flags);
  };
  env.sessionIdAt = [](TLCrashReportProcessor::Date date) { return TLSessionContext::sharedInstance()->sessionIdAt(date); };
  env.userIdAt = [](TLCrashReportProcessor::Date date) { return TLUserIdContext::sharedInstance()->userIdAt(date); };
  env.clearContextHistory = [this] { clearContextHistoryUnlessReportPending(); };
  env.pendingCrashReportPaths = [this] { return reporterSetup_.pendingCrashReportPaths(); };
  env.loadPendingCrashReport = [this](const std::string& path) { return reporterSetup_.loadPendingCrashReport(path); };
  env.purgePendingCrashReport = [this](const std::string& path) { return reporterSetup_.purgePendingCrashReport(path); };
  env.loadSentIncidents = [this] {
    std::vector<std::string> incidents;
    auto stored = environment_.settings->objectForKey(kSentCrashReportsKey);
    if (const auto* list = stored ? stored->array() : nullptr) {
      for (const auto& item : *list) {
        if (const auto* text = item.string()) incidents.push_back(*text);
      }
    }
    return incidents;
  };
  env.storeSentIncidents = [this](const std::vector<std::string>& incidents) {
    if (incidents.empty()) {
      environment_.settings->removeObjectForKey(kSentCrashReportsKey);
      return;
    }
    foundation::PlistValue::Array list(incidents.begin(), incidents.end());
    environment_.settings->setObject(foundation::PlistValue(std::move(list)), kSentCrashReportsKey);
  };
  env.shouldAlwaysSend = [this] { return storedBoolean(*environment_.settings, kUserConfirmationKey, false); };
  env.setAlwaysSend = [this] { environment_.settings->setObject(foundation::PlistValue(true), kUserConfirmationKey); };
  env.shouldProcessErrorReport = [this](const TLErrorReport& report) {
    auto host = delegate();
    return host ? host->crashesShouldProcessErrorReport(*this, report) : true;
  };
  env.attachmentsForErrorReport = [this](const TLErrorReport& report) -> std::optional<Attachments> {
    auto host = delegate();
    if (!host) return std::nullopt;
    return host->attachmentsWithCrashes(*this, report);
  };
  env.userConfirmationHandler = [this](const TLCrashReportProcessor::Reports& reports) {
    return promptForConfirmation(reports);
  };
  return env;
}

bool TLCrashes::promptForConfirmation(const std::vector<std::shared_ptr<TLErrorReport>>& reports) {
  UserConfirmationHandler handler = userConfirmationHandler();
  if (!handler) return false;
  if (dispatch::MainQueue::isMainThread() || !environment_.mainQueue) return handler(reports);
  return dispatch::MainQueue::sync([&] { return handler(reports); });
}

void TLCrashes::startDelayedCrashProcessing() {
  std::weak_ptr<TLCrashes> weak = weak_from_this();
  auto run = [weak] {
    auto strong = weak.lock();
    if (!strong) return;
    {
      std::lock_guard gate(strong->processingRunLock_);
      if (strong->processingClosed_) return;
      strong->processingRunThread_ = std::this_thread::get_id();
    }
    // The run is under way until this goes, also when processing throws: shutdown() never waits
    // for a run that has ended.
    struct UnderWay {
      TLCrashes& crashes;
      ~UnderWay() {
        {
          std::lock_guard gate(crashes.processingRunLock_);
          crashes.processingRunThread_.reset();
        }
        crashes.processingRunEnded_.notify_all();
      }
    } underWay{*strong};
    strong->startCrashProcessing();
    std::lock_guard guard(strong->lock_);
    if (strong->shouldReleaseProcessingSemaphore_.exchange(false)) strong->delayedProcessingSemaphore_.release();
  };
  {
    std::lock_guard gate(processingRunLock_);
    processingClosed_ = false;
  }
  std::lock_guard guard(lock_);
  delayedProcessing_ = dispatch::Timer::oneShot(*environment_.clock, *environment_.processingQueue, kProcessingDelay,
                                                std::move(run));
}

void TLCrashes::startCrashProcessing() {
  if (isAutomaticProcessingEnabled() && TLUtilityApplication::applicationState() == TLUtilityApplication::kBackground) {
    TL_LOG_WARNING(kCrashesLogTag, "Crashes will not be processed because the application is in the background.");
    return;
  }
  TL_LOG_DEBUG(kCrashesLogTag, "Start delayed CrashManager processing");
  const crash::TLUncaughtExceptionHandler expected = reporterSetup_.exceptionHandler();
  if (expected && expected != crash::tl_get_uncaught_exception_handler()) {
    TL_LOG_WARNING(kCrashesLogTag,
                   "Another exception handler was added. If this invokes any kind of exit() after processing the "
                   "exception, which causes any subsequent error handler not to be invoked, these crashes will NOT "
                   "be reported to Beacon!");
  }
  processor_->processCrashReports();
}

std::vector<std::shared_ptr<TLErrorReport>> TLCrashes::unprocessedCrashReports() {
  delayedProcessingSemaphore_.acquire();
  delayedProcessingSemaphore_.release();
  return processor_->unprocessedReports().value_or(std::vector<std::shared_ptr<TLErrorReport>>{});
}

bool TLCrashes::sendCrashReportsOrAwaitUserConfirmationForFilteredIds(
    const std::vector<std::string>& incidentIdentifiers) {
  return processor_->sendCrashReportsOrAwaitUserConfirmationForFilteredIds(incidentIdentifiers);
}

void TLCrashes::notifyWithUserConfirmationInstance(TLUserConfirmation confirmation) {
  const bool hasHandler = static_cast<bool>(userConfirmationHandler());
  if (!hasHandler && !processor_->unprocessedReports()) {
    TL_LOG_ERROR(kCrashesLogTag,
                 "Incorrect usage of notifyWithUserConfirmation: it should only be called from userConfirmationHandler. "
                 "For more information refer to the documentation.");
    return;
  }
  processor_->handleUserConfirmation(confirmation);
}

void TLCrashes::sendErrorAttachmentsInstance(const Attachments& attachments, const std::string& incidentIdentifier) {
  processor_->sendErrorAttachments(attachments, incidentIdentifier);
}

void TLCrashes::setAutomaticProcessingEnabled(bool enabled) { processor_->setAutomaticProcessingEnabled(enabled); }

bool TLCrashes::isAutomaticProcessingEnabled() const { return processor_->isAutomaticProcessingEnabled(); }

std::vector<std::filesystem::path> TLCrashes::crashFiles() const { return processor_->crashFiles(); }

}  // namespace ml::beacon
