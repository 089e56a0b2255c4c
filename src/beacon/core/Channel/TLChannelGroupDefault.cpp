#include "beacon/core/Channel/TLChannelGroupDefault.h"

#include "beacon/core/Channel/TLChannelUnitDefault.h"
#include "beacon/core/Context/TLAuthTokenContext.h"
#include "beacon/core/Storage/TLLogDBStorage.h"
#include "beacon/core/TLConstants.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/dispatch/SerialQueue.h"

namespace ml::beacon {

namespace {

bool sameObject(const std::weak_ptr<TLChannelDelegate>& a, const std::shared_ptr<TLChannelDelegate>& b) {
  return !a.owner_before(b) && !b.owner_before(a);
}

}  // namespace

std::string TLChannelGroupDefault::queueLabel() {
  return std::string(kTLReverseDomainPrefix) + std::string(kQueueLabelSuffix);
}

std::shared_ptr<TLChannelGroupDefault> TLChannelGroupDefault::make(DefaultIngestion ingestion) {
  return make(std::move(ingestion), std::make_shared<TLLogDBStorage>(),
              std::make_shared<dispatch::SerialQueue>(queueLabel()), TLChannelEnvironment::shared());
}

std::shared_ptr<TLChannelGroupDefault> TLChannelGroupDefault::make(DefaultIngestion ingestion,
                                                                   std::shared_ptr<TLStorage> storage,
                                                                   std::shared_ptr<dispatch::Queue> logsDispatchQueue,
                                                                   TLChannelEnvironment environment) {
  auto group = std::make_shared<TLChannelGroupDefault>(Passkey(), std::move(ingestion), std::move(storage),
                                                       std::move(logsDispatchQueue), std::move(environment));
  // Logs the full store deletes to make room go to their own group's listeners as failures. Runs
  // on the queue, inside the save that evicted them.
  if (group->storage_) {
    std::weak_ptr<TLChannelGroupDefault> weak = group;
    group->storage_->setEvictionHandler([weak](const std::string& groupId, const TLStorage::Logs& logs) {
      auto strong = weak.lock();
      if (!strong) return;
      for (const auto& unit : strong->channels()) {
        if (unit->configuration().groupId == groupId) unit->notifyLogsEvicted(logs);
      }
    });
  }
  return group;
}

TLChannelGroupDefault::TLChannelGroupDefault(Passkey, DefaultIngestion ingestion,
                                             std::shared_ptr<TLStorage> storage,
                                             std::shared_ptr<dispatch::Queue> logsDispatchQueue,
                                             TLChannelEnvironment environment)
    : ingestion_(std::move(ingestion)),
      storage_(std::move(storage)),
      queue_(std::move(logsDispatchQueue)),
      environment_(std::move(environment)) {}

// --- Units

std::shared_ptr<TLChannelUnitProtocol> TLChannelGroupDefault::addChannelUnitWithConfiguration(
    const TLChannelUnitConfiguration& configuration) {
  return addChannelUnitWithConfiguration(configuration, ingestion_.ingestion);
}

std::shared_ptr<TLChannelUnitProtocol> TLChannelGroupDefault::addChannelUnitWithConfiguration(
    const TLChannelUnitConfiguration& configuration, const std::shared_ptr<TLIngestionProtocol>& ingestion) {
  auto unit = TLChannelUnitDefault::make(ingestion ? ingestion : ingestion_.ingestion, storage_, configuration, queue_,
                                         environment_);
  unit->addDelegate(shared_from_this());
  // Logs an earlier run stored under the group count as waiting, so they go out on the group's
  // schedule even when this run saves nothing new there. The first decision stays on the queue,
  // behind everything already posted.
  queue_->async([unit] { unit->adoptStoredLogs(); });
  {
    std::lock_guard guard(lock_);
    channels_.push_back(unit);
  }
  std::shared_ptr<TLChannelUnitProtocol> added = unit;
  enumerateDelegates([&](TLChannelDelegate& delegate) { delegate.channelGroupDidAddChannelUnit(*this, added); });
  if (environment_.authTokenContext) environment_.authTokenContext->addDelegate(unit->authTokenContextDelegate());
  return added;
}

std::shared_ptr<TLChannelUnitProtocol> TLChannelGroupDefault::channelUnitForGroupId(const std::string& groupId) {
  std::lock_guard guard(lock_);
  for (const auto& unit : channels_) {
    if (unit->configuration().groupId == groupId) return unit;
  }
  return nullptr;
}

std::vector<std::shared_ptr<TLChannelUnitDefault>> TLChannelGroupDefault::channels() const {
  std::lock_guard guard(lock_);
  return channels_;
}

// --- Switches

void TLChannelGroupDefault::setLogUrl(const std::string& logUrl) {
  if (ingestion_.setBaseURL) ingestion_.setBaseURL(logUrl);
}

void TLChannelGroupDefault::setAppSecret(const std::optional<std::string>& appSecret) {
  if (ingestion_.setAppSecret) ingestion_.setAppSecret(appSecret);
}

void TLChannelGroupDefault::setMaxStorageSize(std::int64_t sizeInBytes, std::function<void(bool)> completionHandler) {
  queue_->async([storage = storage_, sizeInBytes, completionHandler = std::move(completionHandler)] {
    storage->setMaxStorageSize(sizeInBytes, completionHandler);
  });
}

void TLChannelGroupDefault::setEnabled(bool isEnabled, bool deleteDataOnDisabled) {
  if (ingestion_.ingestion) ingestion_.ingestion->setEnabled(isEnabled, deleteDataOnDisabled);
  for (const auto& unit : channels()) unit->setEnabled(isEnabled, deleteDataOnDisabled);
  enumerateDelegates(
      [&](TLChannelDelegate& delegate) { delegate.channelDidSetEnabled(*this, isEnabled, deleteDataOnDisabled); });
}

void TLChannelGroupDefault::pauseWithIdentifyingObject(const TLIdentifyingObject& identifyingObject) {
  if (ingestion_.ingestion) ingestion_.ingestion->setEnabled(false, false);
  for (const auto& unit : channels()) unit->pauseWithIdentifyingObject(identifyingObject);
}

void TLChannelGroupDefault::resumeWithIdentifyingObject(const TLIdentifyingObject& identifyingObject) {
  if (ingestion_.ingestion) ingestion_.ingestion->setEnabled(true, false);
  for (const auto& unit : channels()) unit->resumeWithIdentifyingObject(identifyingObject);
}

// --- Delegates

void TLChannelGroupDefault::addDelegate(const std::shared_ptr<TLChannelDelegate>& delegate) {
  if (!delegate) return;
  std::lock_guard guard(lock_);
  std::erase_if(delegates_, [](const auto& entry) { return entry.expired(); });
  for (const auto& entry : delegates_) {
    if (sameObject(entry, delegate)) return;
  }
  delegates_.push_back(delegate);
}

void TLChannelGroupDefault::removeDelegate(const std::shared_ptr<TLChannelDelegate>& delegate) {
  std::lock_guard guard(lock_);
  std::erase_if(delegates_, [&](const auto& entry) { return entry.expired() || sameObject(entry, delegate); });
}

std::vector<std::shared_ptr<TLChannelDelegate>> TLChannelGroupDefault::delegateSnapshot() const {
  std::lock_guard guard(lock_);
  std::vector<std::shared_ptr<TLChannelDelegate>> live;
  live.reserve(delegates_.size());
  for (const auto& entry : delegates_) {
    if (auto delegate = entry.lock()) live.push_back(std::move(delegate));
  }
  return live;
}

template <class Call>
void TLChannelGroupDefault::enumerateDelegates(Call call) const {
  for (const auto& delegate : delegateSnapshot()) call(*delegate);
}

void TLChannelGroupDefault::channelPrepareLog(TLChannelProtocol& channel, const Log& log) {
  enumerateDelegates([&](TLChannelDelegate& delegate) { delegate.channelPrepareLog(channel, log); });
}

void TLChannelGroupDefault::channelDidPrepareLog(TLChannelProtocol& channel, const Log& log,
                                                 const std::string& internalId, std::uint64_t flags) {
  enumerateDelegates(
      [&](TLChannelDelegate& delegate) { delegate.channelDidPrepareLog(channel, log, internalId, flags); });
}

void TLChannelGroupDefault::channelDidCompleteEnqueueingLog(TLChannelProtocol& channel, const Log& log,
                                                            const std::string& internalId) {
  ML_ASSERT_ON_QUEUE(*queue_);
  enumerateDelegates(
      [&](TLChannelDelegate& delegate) { delegate.channelDidCompleteEnqueueingLog(channel, log, internalId); });
}

void TLChannelGroupDefault::channelWillSendLog(TLChannelProtocol& channel, const Log& log) {
  ML_ASSERT_ON_QUEUE(*queue_);
  enumerateDelegates([&](TLChannelDelegate& delegate) { delegate.channelWillSendLog(channel, log); });
}

void TLChannelGroupDefault::channelDidSucceedSendingLog(TLChannelProtocol& channel, const Log& log) {
  ML_ASSERT_ON_QUEUE(*queue_);
  enumerateDelegates([&](TLChannelDelegate& delegate) { delegate.channelDidSucceedSendingLog(channel, log); });
}

void TLChannelGroupDefault::channelDidFailSendingLog(TLChannelProtocol& channel, const Log& log,
                                                     const std::optional<foundation::Error>& error) {
  ML_ASSERT_ON_QUEUE(*queue_);
  enumerateDelegates([&](TLChannelDelegate& delegate) { delegate.channelDidFailSendingLog(channel, log, error); });
}

void TLChannelGroupDefault::channelDidSetEnabled(TLChannelProtocol& channel, bool isEnabled,
                                                 bool deleteDataOnDisabled) {
  ML_ASSERT_ON_QUEUE(*queue_);
  enumerateDelegates(
      [&](TLChannelDelegate& delegate) { delegate.channelDidSetEnabled(channel, isEnabled, deleteDataOnDisabled); });
}

void TLChannelGroupDefault::channelDidPause(TLChannelProtocol& channel, const TLIdentifyingObject& identifyingObject) {
  ML_ASSERT_ON_QUEUE(*queue_);
  enumerateDelegates([&](TLChannelDelegate& delegate) { delegate.channelDidPause(channel, identifyingObject); });
}

void TLChannelGroupDefault::channelDidResume(TLChannelProtocol& channel, const TLIdentifyingObject& identifyingObject) {
  ML_ASSERT_ON_QUEUE(*queue_);
  enumerateDelegates([&](TLChannelDelegate& delegate) { delegate.channelDidResume(channel, identifyingObject); });
}

bool TLChannelGroupDefault::channelUnitShouldFilterLog(TLChannelUnitProtocol& channelUnit, const Log& log) {
  ML_ASSERT_ON_QUEUE(*queue_);
  for (const auto& delegate : delegateSnapshot()) {
    if (delegate->channelUnitShouldFilterLog(channelUnit, log)) return true;
  }
  return false;
}

}  // namespace ml::beacon
