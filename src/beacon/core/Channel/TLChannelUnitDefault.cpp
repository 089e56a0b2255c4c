#include "beacon/core/Channel/TLChannelUnitDefault.h"

#include <algorithm>
#include <chrono>

#include "beacon/core/Channel/TLChannelDelegate.h"
#include "beacon/core/Context/TLAuthTokenContext.h"
#include "beacon/core/Context/TLDeviceTracker.h"
#include "beacon/core/Ingestion/TLHttpUtil.h"
#include "beacon/core/Storage/TLStorage.h"
#include "beacon/core/TLAbstractLog.h"
#include "beacon/core/TLConstants.h"
#include "beacon/core/TLLogContainer.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUserDefaults.h"
#include "beacon/core/TLUtility.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/foundation/Uuid.h"

namespace ml::beacon {

namespace {

bool sameObject(const std::weak_ptr<const void>& a, const TLIdentifyingObject& b) {
  return !a.owner_before(b) && !b.owner_before(a);
}

template <class T>
bool sameObject(const std::weak_ptr<T>& a, const std::shared_ptr<T>& b) {
  return !a.owner_before(b) && !b.owner_before(a);
}

std::string typeOf(const TLAbstractLog& log) { return log.type().value_or("(null)"); }

// The sending lines and their pretty-printed payloads cost a JSON serialisation per log: built
// only when someone can see them.
bool isDebugLoggingOn() { return static_cast<int>(TLLogger::currentLogLevel()) < static_cast<int>(TLLogLevel::info); }

}  // namespace

// Relays the auth-token context's news to the unit without keeping it alive (the context holds
// its listeners strongly).
class TLChannelUnitDefault::AuthTokenListener final : public TLAuthTokenContextDelegate {
 public:
  std::weak_ptr<TLChannelUnitDefault> unit;

  void authTokenContextDidUpdateAuthToken(TLAuthTokenContext&, const std::optional<std::string>&) override {
    if (auto strong = unit.lock()) strong->authTokenDidUpdate();
  }
};

std::shared_ptr<TLChannelUnitDefault> TLChannelUnitDefault::make(std::shared_ptr<TLIngestionProtocol> ingestion,
                                                                 std::shared_ptr<TLStorage> storage,
                                                                 TLChannelUnitConfiguration configuration,
                                                                 std::shared_ptr<dispatch::Queue> logsDispatchQueue,
                                                                 TLChannelEnvironment environment) {
  auto unit = std::make_shared<TLChannelUnitDefault>(Passkey(), std::move(ingestion), std::move(storage),
                                                     std::move(configuration), std::move(logsDispatchQueue),
                                                     std::move(environment));
  unit->authTokenListener_->unit = unit;
  if (unit->ingestion_) {
    unit->ingestion_->addDelegate(unit);
    if (unit->ingestion_->isPaused()) unit->pauseWithIdentifyingObject(unit->ingestion_);
  }
  return unit;
}

TLChannelUnitDefault::TLChannelUnitDefault(Passkey, std::shared_ptr<TLIngestionProtocol> ingestion,
                                           std::shared_ptr<TLStorage> storage, TLChannelUnitConfiguration configuration,
                                           std::shared_ptr<dispatch::Queue> logsDispatchQueue,
                                           TLChannelEnvironment environment)
    : configuration_(std::move(configuration)),
      queue_(std::move(logsDispatchQueue)),
      ingestion_(std::move(ingestion)),
      storage_(std::move(storage)),
      environment_(std::move(environment)),
      authTokenListener_(std::make_shared<AuthTokenListener>()) {}

TLChannelUnitDefault::~TLChannelUnitDefault() {
  if (environment_.authTokenContext) environment_.authTokenContext->removeDelegate(authTokenListener_);
}

std::shared_ptr<TLAuthTokenContextDelegate> TLChannelUnitDefault::authTokenContextDelegate() const {
  return authTokenListener_;
}

foundation::Error TLChannelUnitDefault::logsDroppedError() {
  return foundation::Error::make(std::string(kTLReverseDomainPrefix), kLogsDroppedErrorCode,
                                 std::string(kLogsDroppedErrorDescription));
}

foundation::Error TLChannelUnitDefault::logsEvictedError() {
  return foundation::Error::make(std::string(kTLReverseDomainPrefix), kLogsEvictedErrorCode,
                                 std::string(kLogsEvictedErrorDescription));
}

std::string TLChannelUnitDefault::startTimerKey(const std::string& groupId) {
  return std::string(kStartTimerKey) + ":" + groupId;
}

TLChannelUnitDefault::State TLChannelUnitDefault::state() const {
  ML_ASSERT_ON_QUEUE(*queue_);
  return {enabled_,         paused_,           discardLogs_,      availableBatchFromStorage_,
          pendingBatchQueueFull_, itemsCount_, pendingBatchIds_, pausedTargetKeys_,
          timer_.isValid()};
}

// --- Delegates

void TLChannelUnitDefault::addDelegate(const std::shared_ptr<TLChannelDelegate>& delegate) {
  if (!delegate) return;
  std::lock_guard guard(delegatesLock_);
  std::erase_if(delegates_, [](const auto& entry) { return entry.expired(); });
  for (const auto& entry : delegates_) {
    if (sameObject(entry, delegate)) return;
  }
  delegates_.push_back(delegate);
}

void TLChannelUnitDefault::removeDelegate(const std::shared_ptr<TLChannelDelegate>& delegate) {
  std::lock_guard guard(delegatesLock_);
  std::erase_if(delegates_, [&](const auto& entry) { return entry.expired() || sameObject(entry, delegate); });
}

std::vector<std::shared_ptr<TLChannelDelegate>> TLChannelUnitDefault::delegateSnapshot() const {
  std::lock_guard guard(delegatesLock_);
  std::vector<std::shared_ptr<TLChannelDelegate>> live;
  live.reserve(delegates_.size());
  for (const auto& entry : delegates_) {
    if (auto delegate = entry.lock()) live.push_back(std::move(delegate));
  }
  return live;
}

template <class Call>
void TLChannelUnitDefault::enumerateDelegates(Call call) const {
  for (const auto& delegate : delegateSnapshot()) call(*delegate);
}

// --- Enqueueing

void TLChannelUnitDefault::enqueueItem(const Log& log, std::uint64_t flags) {
  if (!log) {
    TL_LOG_WARNING(kBeaconLogTag, "Log is not valid.");
    return;
  }
  if (!log->timestamp()) log->setTimestamp(environment_.clock->now());
  if (!log->device() && environment_.deviceTracker) log->setDevice(environment_.deviceTracker->device());
  if (!log->isValid()) {
    TL_LOG_WARNING(kBeaconLogTag, "Log is not valid.");
    return;
  }
  enumerateDelegates([&](TLChannelDelegate& delegate) { delegate.channelPrepareLog(*this, log); });
  std::string internalId = foundation::Uuid::random().string();
  enumerateDelegates(
      [&](TLChannelDelegate& delegate) { delegate.channelDidPrepareLog(*this, log, internalId, flags); });
  queue_->async([self = self(), log, internalId = std::move(internalId), flags] {
    self->enqueueOnQueue(log, internalId, flags);
  });
}

void TLChannelUnitDefault::enqueueOnQueue(const Log& log, const std::string& internalId, std::uint64_t flags) {
  ML_ASSERT_ON_QUEUE(*queue_);
  auto complete = [&] {
    enumerateDelegates(
        [&](TLChannelDelegate& delegate) { delegate.channelDidCompleteEnqueueingLog(*this, log, internalId); });
  };
  bool filtered = false;
  for (const auto& delegate : delegateSnapshot()) {
    if (delegate->channelUnitShouldFilterLog(*this, log)) {
      filtered = true;
      break;
    }
  }
  if (filtered) {
    TL_LOG_DEBUG(kBeaconLogTag, "Log of type '" << typeOf(*log) << "' was filtered out by delegate(s)");
    complete();
    return;
  }
  if (!ingestion_ || !ingestion_->isReadyToSend()) {
    TL_LOG_DEBUG(kBeaconLogTag, "Log of type '" << typeOf(*log)
                                                << "' was not filtered out by delegate(s) but ingestion is not ready "
                                                   "to send it.");
    // The log is dropped: say so, so that a sender keeping a copy (a stored crash report) keeps it.
    notifyFailureBeforeSendingForItem(log, logsDroppedError());
    complete();
    return;
  }
  if (discardLogs_) {
    TL_LOG_WARNING(kBeaconLogTag,
                   "Channel " << configuration_.groupId << " disabled in log discarding mode, discard this log.");
    notifyFailureBeforeSendingForItem(log, logsDroppedError());
    complete();
    return;
  }
  TL_LOG_DEBUG(kBeaconLogTag, "Saving log, type: " << typeOf(*log) << ", flags: " << flags << ".");
  bool saved = storage_->saveLog(log, configuration_.groupId, flags);
  if (!saved) notifyFailureBeforeSendingForItem(log, logsDroppedError());
  complete();
  if (saved) {
    ++itemsCount_;
    checkPendingLogs();
  }
}

// --- Deciding when to flush

void TLChannelUnitDefault::adoptStoredLogs() {
  ML_ASSERT_ON_QUEUE(*queue_);
  itemsCount_ = storage_ ? storage_->countLogsWithGroupId(configuration_.groupId) : 0;
  checkPendingLogs();
}

void TLChannelUnitDefault::checkPendingLogs() {
  ML_ASSERT_ON_QUEUE(*queue_);
  if (!paused_ && configuration_.flushInterval == TLChannelUnitConfiguration::kDefaultFlushInterval &&
      itemsCount_ >= configuration_.batchSizeLimit) {
    flushQueue();
    return;
  }
  if (itemsCount_ == 0) return;
  std::uint64_t interval = resolveFlushInterval();
  if (paused_) return;
  if (interval == 0) {
    flushQueue();
  } else {
    startTimer(interval);
  }
}

std::uint64_t TLChannelUnitDefault::resolveFlushInterval() {
  ML_ASSERT_ON_QUEUE(*queue_);
  const std::uint64_t interval = configuration_.flushInterval;
  if (interval < kPersistedIntervalMinimum) return interval;
  TLUserDefaults& settings = *environment_.settings;
  const std::string key = startTimerKey(configuration_.groupId);
  const auto now = environment_.clock->now();
  std::optional<foundation::PlistValue::Date> start;
  if (auto stored = settings.objectForKey(key)) start = stored->date();
  if (start && now >= *start) {
    const auto elapsed = now - *start;
    if (elapsed <= std::chrono::seconds(interval)) {
      auto wholeSeconds = static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
      return interval - wholeSeconds;
    }
    // Overdue (the oldest log waited longer than the interval, for example across a restart).
    settings.removeObjectForKey(key);
    return 0;
  }
  // No start yet, or one in the future (the clock was set back): the interval starts now.
  settings.setObject(foundation::PlistValue(now), key);
  return interval;
}

void TLChannelUnitDefault::startTimer(std::uint64_t seconds) {
  ML_ASSERT_ON_QUEUE(*queue_);
  if (!enabled_) return;
  resetTimer();
  std::weak_ptr<TLChannelUnitDefault> weak = weak_from_this();
  timer_ = dispatch::Timer::oneShot(*environment_.clock, *queue_, std::chrono::seconds(seconds), [weak] {
    auto unit = weak.lock();
    if (!unit) return;
    // Reset before flushing: a flush that finds the store sent by another process starts the
    // timer again.
    unit->resetTimer();
    unit->environment_.settings->removeObjectForKey(startTimerKey(unit->configuration_.groupId));
    if (unit->itemsCount_ > 0) unit->flushQueue();
  });
}

void TLChannelUnitDefault::resetTimer() {
  ML_ASSERT_ON_QUEUE(*queue_);
  timer_.cancel();
}

// --- Flushing

void TLChannelUnitDefault::flushQueue() {
  ML_ASSERT_ON_QUEUE(*queue_);
  if (!ingestion_ || !enabled_ || !ingestion_->isReadyToSend()) return;
  resetTimer();
  if (!paused_ && !pendingBatchQueueFull_) {
    itemsCount_ = 0;
    TokenWindows tokens;
    if (environment_.authTokenContext) tokens = environment_.authTokenContext->authTokenValidityArray();
    if (tokens.empty()) tokens.emplace_back();  // no context: one window without bounds or token
    flushQueueForTokenArray(tokens, 0);
  } else if (itemsCount_ >= configuration_.batchSizeLimit) {
    // Picked up when a slot frees or the unit resumes.
    availableBatchFromStorage_ = true;
    itemsCount_ = 0;
  }
}

void TLChannelUnitDefault::flushQueueForTokenArray(const TokenWindows& tokens, std::size_t index) {
  ML_ASSERT_ON_QUEUE(*queue_);
  loadBatch(tokens, index);
  flushNextBatchFromQueueForTokenArray(tokens, index);
}

void TLChannelUnitDefault::loadBatch(const TokenWindows& tokens, std::size_t index) {
  ML_ASSERT_ON_QUEUE(*queue_);
  const TLAuthTokenValidityInfo& window = tokens[index];
  std::vector<std::string> excludedTargetKeys(pausedTargetKeys_.begin(), pausedTargetKeys_.end());
  availableBatchFromStorage_ = storage_->loadLogsWithGroupId(
      configuration_.groupId, configuration_.batchSizeLimit, excludedTargetKeys, window.startTime, window.endTime,
      [&](const TLStorage::Logs& logs, const std::optional<std::string>& batchId) {
        if (environment_.authTokenContext) environment_.authTokenContext->checkIfTokenNeedsToBeRefreshed(window);
        if (!logs.empty() && batchId) {
          sendLogContainer(std::make_shared<TLLogContainer>(*batchId, logs), tokens, index);
        } else if (storage_->isSendingElsewhere()) {
          // Another process sends from the store now; this unit's logs are there for it, and
          // this unit looks again after its interval (the other may be gone by then).
          itemsCount_ = std::max<std::uint64_t>(itemsCount_, 1);
          if (!timer_.isValid()) startTimer(std::max<std::uint64_t>(configuration_.flushInterval, 1));
        } else if (logs.empty() && index == 0 && tokens[0].endTime && environment_.authTokenContext) {
          // Nothing of this window is left to send: its token is no longer needed.
          if (storage_->countLogsBeforeDate(*tokens[index].endTime) == 0) {
            environment_.authTokenContext->removeAuthToken(tokens[index].authToken);
          }
        }
      });
}

// Iterative form of "load the next batch of this window, or move to the next window", so a long
// backlog cannot deepen the stack.
void TLChannelUnitDefault::flushNextBatchFromQueueForTokenArray(const TokenWindows& tokens, std::size_t index) {
  ML_ASSERT_ON_QUEUE(*queue_);
  while (!pendingBatchQueueFull_) {
    if (availableBatchFromStorage_) {
      loadBatch(tokens, index);
    } else if (index + 1 < tokens.size()) {
      ++index;
      loadBatch(tokens, index);
    } else {
      return;
    }
  }
}

void TLChannelUnitDefault::sendLogContainer(const std::shared_ptr<TLLogContainer>& container,
                                            const TokenWindows& tokens, std::size_t index) {
  ML_ASSERT_ON_QUEUE(*queue_);
  pendingBatchIds_.push_back(container->batchId);
  if (pendingBatchIds_.size() >= configuration_.pendingBatchesLimit) pendingBatchQueueFull_ = true;

  if (isDebugLoggingOn()) {
    const std::size_t count = container->logs.size();
    for (std::size_t i = 0; i < count; ++i) {
      const auto& log = container->logs[i];
      TL_LOG_DEBUG(kBeaconLogTag, "Sending " << (i + 1) << "/" << count << " log, group Id: " << configuration_.groupId
                                             << ", batch Id: " << container->batchId
                                             << ", session Id: " << log->sid().value_or("(null)") << ", payload:\n"
                                             << log->serializeLogWithPrettyPrinting(true).value_or("(null)"));
    }
  }
  for (const auto& log : container->logs) {
    enumerateDelegates([&](TLChannelDelegate& delegate) { delegate.channelWillSendLog(*this, log); });
  }

  std::weak_ptr<TLChannelUnitDefault> weak = weak_from_this();
  ingestion_->sendAsync(
      container, tokens[index].authToken,
      [weak, container, tokens, index](const std::string&, std::optional<int> statusCode,
                                       const std::vector<std::uint8_t>&,
                                       const std::optional<foundation::Error>& error) {
        // Runs on the ingestion's thread: only hand over.
        auto unit = weak.lock();
        if (!unit) return;
        unit->queue_->async([unit, container, status = statusCode.value_or(0), error, tokens, index] {
          unit->handleSendResult(container, status, error, tokens, index);
        });
      });
}

void TLChannelUnitDefault::handleSendResult(const std::shared_ptr<TLLogContainer>& container, int statusCode,
                                            const std::optional<foundation::Error>& error,
                                            const TokenWindows& tokens, std::size_t index) {
  ML_ASSERT_ON_QUEUE(*queue_);
  const std::string& batchId = container->batchId;
  auto pending = std::find(pendingBatchIds_.begin(), pendingBatchIds_.end(), batchId);
  if (pending == pendingBatchIds_.end()) {
    TL_LOG_WARNING(kBeaconLogTag, "Batch Id " << batchId << " not expected, ignore.");
    return;
  }
  // Any 2xx means the server took the batch; only then do its rows go.
  const bool succeeded = TLHttpUtil::isSuccessStatusCode(statusCode);
  if (!succeeded) {
    TL_LOG_ERROR(kBeaconLogTag, "Log(s) sent with failure, batch Id:" << batchId << ", status code:" << statusCode);
    for (const auto& log : container->logs) {
      enumerateDelegates([&](TLChannelDelegate& delegate) { delegate.channelDidFailSendingLog(*this, log, error); });
    }
  } else {
    TL_LOG_DEBUG(kBeaconLogTag, "Log(s) sent with success, batch Id:" << batchId << ".");
    // The rows go before anyone hears of the success: a process that dies in between must not
    // send the batch again at its next launch.
    storage_->deleteLogsWithBatchId(batchId, configuration_.groupId);
    for (const auto& log : container->logs) {
      enumerateDelegates([&](TLChannelDelegate& delegate) { delegate.channelDidSucceedSendingLog(*this, log); });
    }
  }
  // Found again: a delegate may have changed the list meanwhile.
  std::erase(pendingBatchIds_, batchId);
  if (pendingBatchQueueFull_ && pendingBatchIds_.size() < configuration_.pendingBatchesLimit) {
    pendingBatchQueueFull_ = false;
    if (succeeded) flushNextBatchFromQueueForTokenArray(tokens, index);
  }
}

// --- Switching and pausing

void TLChannelUnitDefault::setEnabled(bool isEnabled, bool deleteDataOnDisabled) {
  queue_->async([self = self(), isEnabled, deleteDataOnDisabled] { self->setEnabledSync(isEnabled, deleteDataOnDisabled); });
}

void TLChannelUnitDefault::setEnabledSync(bool isEnabled, bool deleteDataOnDisabled) {
  ML_ASSERT_ON_QUEUE(*queue_);
  if (enabled_ != isEnabled) {
    enabled_ = isEnabled;
    if (isEnabled) {
      resumeWithIdentifyingObjectSync(self());
    } else {
      pauseWithIdentifyingObjectSync(self());
    }
  }
  if (isEnabled || !deleteDataOnDisabled) {
    discardLogs_ = false;
  } else {
    TL_LOG_DEBUG(kBeaconLogTag, "Delete all logs for group Id " << configuration_.groupId);
    deleteAllLogsWithErrorSync(logsDroppedError());
    itemsCount_ = 0;
    availableBatchFromStorage_ = false;
    pendingBatchQueueFull_ = false;
    environment_.settings->removeObjectForKey(startTimerKey(configuration_.groupId));
    discardLogs_ = true;
  }
  enumerateDelegates([&](TLChannelDelegate& delegate) {
    delegate.channelDidSetEnabled(*this, isEnabled, deleteDataOnDisabled);
  });
}

void TLChannelUnitDefault::pauseWithIdentifyingObject(const TLIdentifyingObject& identifyingObject) {
  queue_->async([self = self(), identifyingObject] { self->pauseWithIdentifyingObjectSync(identifyingObject); });
}

void TLChannelUnitDefault::resumeWithIdentifyingObject(const TLIdentifyingObject& identifyingObject) {
  queue_->async([self = self(), identifyingObject] { self->resumeWithIdentifyingObjectSync(identifyingObject); });
}

void TLChannelUnitDefault::pauseWithIdentifyingObjectSync(const TLIdentifyingObject& identifyingObject) {
  ML_ASSERT_ON_QUEUE(*queue_);
  if (!identifyingObject) return;
  std::erase_if(pausedIdentifyingObjects_, [](const auto& entry) { return entry.expired(); });
  bool present = std::any_of(pausedIdentifyingObjects_.begin(), pausedIdentifyingObjects_.end(),
                             [&](const auto& entry) { return sameObject(entry, identifyingObject); });
  if (!present) pausedIdentifyingObjects_.push_back(identifyingObject);
  TL_LOG_VERBOSE(kBeaconLogTag, "Identifying object " << identifyingObject.get() << " added to pause lane for channel "
                                                      << configuration_.groupId << ".");
  if (!paused_) {
    TL_LOG_DEBUG(kBeaconLogTag, "Pause channel " << configuration_.groupId << ".");
    paused_ = true;
    resetTimer();
  }
  enumerateDelegates([&](TLChannelDelegate& delegate) { delegate.channelDidPause(*this, identifyingObject); });
}

void TLChannelUnitDefault::resumeWithIdentifyingObjectSync(const TLIdentifyingObject& identifyingObject) {
  ML_ASSERT_ON_QUEUE(*queue_);
  if (!identifyingObject) return;
  std::erase_if(pausedIdentifyingObjects_,
                [&](const auto& entry) { return entry.expired() || sameObject(entry, identifyingObject); });
  TL_LOG_VERBOSE(kBeaconLogTag, "Identifying object " << identifyingObject.get()
                                                      << " removed from pause lane for channel "
                                                      << configuration_.groupId << ".");
  if (pausedIdentifyingObjects_.empty()) {
    TL_LOG_DEBUG(kBeaconLogTag, "Resume channel " << configuration_.groupId << ".");
    paused_ = false;
    checkPendingLogs();
  }
  enumerateDelegates([&](TLChannelDelegate& delegate) { delegate.channelDidResume(*this, identifyingObject); });
}

void TLChannelUnitDefault::pauseSendingLogsWithToken(const std::string& token) {
  queue_->async([self = self(), token] {
    auto targetKey = TLUtility::targetKeyFromTargetToken(token);
    if (!targetKey) return;  // no key to pause
    TL_LOG_DEBUG(kBeaconLogTag, "Pause channel for target key " << *targetKey << ".");
    self->pausedTargetKeys_.insert(*targetKey);
  });
}

void TLChannelUnitDefault::resumeSendingLogsWithToken(const std::string& token) {
  queue_->async([self = self(), token] {
    auto targetKey = TLUtility::targetKeyFromTargetToken(token);
    if (!targetKey) return;
    TL_LOG_DEBUG(kBeaconLogTag, "Resume channel for target key " << *targetKey << ".");
    self->pausedTargetKeys_.erase(*targetKey);
    self->itemsCount_ = self->storage_->countLogs();
    self->checkPendingLogs();
  });
}

// --- Dropping logs

void TLChannelUnitDefault::deleteAllLogsWithError(foundation::Error error) {
  queue_->async([self = self(), error = std::move(error)] { self->deleteAllLogsWithErrorSync(error); });
}

void TLChannelUnitDefault::deleteAllLogsWithErrorSync(const foundation::Error& error) {
  ML_ASSERT_ON_QUEUE(*queue_);
  for (const auto& batchId : pendingBatchIds_) storage_->deleteLogsWithBatchId(batchId, configuration_.groupId);
  for (const auto& log : storage_->deleteLogsWithGroupId(configuration_.groupId)) {
    notifyFailureBeforeSendingForItem(log, error);
  }
}

void TLChannelUnitDefault::notifyLogsEvicted(const std::vector<Log>& logs) {
  ML_ASSERT_ON_QUEUE(*queue_);
  const foundation::Error error = logsEvictedError();
  for (const auto& log : logs) notifyFailureBeforeSendingForItem(log, error);
}

void TLChannelUnitDefault::notifyFailureBeforeSendingForItem(const Log& log, const foundation::Error& error) {
  ML_ASSERT_ON_QUEUE(*queue_);
  enumerateDelegates([&](TLChannelDelegate& delegate) {
    delegate.channelWillSendLog(*this, log);
    delegate.channelDidFailSendingLog(*this, log, error);
  });
}

// --- Listeners

void TLChannelUnitDefault::ingestionDidPause(TLIngestionProtocol&) { pauseWithIdentifyingObject(ingestion_); }

void TLChannelUnitDefault::ingestionDidResume(TLIngestionProtocol&) { resumeWithIdentifyingObject(ingestion_); }

void TLChannelUnitDefault::ingestionDidReceiveFatalError(TLIngestionProtocol&) { setEnabled(false, true); }

void TLChannelUnitDefault::authTokenDidUpdate() {
  queue_->async([self = self()] {
    TL_LOG_INFO(kBeaconLogTag, "New auth token received, flushing queue.");
    self->checkPendingLogs();
  });
}

}  // namespace ml::beacon
