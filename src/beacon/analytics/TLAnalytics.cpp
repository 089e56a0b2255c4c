#include "beacon/analytics/TLAnalytics.h"

#include "beacon/analytics/Model/TLEventLog.h"
#include "beacon/analytics/Model/TLPageLog.h"
#include "beacon/analytics/TLAnalyticsCategory.h"
#include "beacon/analytics/TLAnalyticsLogClasses.h"
#include "beacon/analytics/TLAnalyticsValidation.h"
#include "beacon/analytics/TransmissionTarget/TLAnalyticsTransmissionTarget.h"
#include "beacon/core/Channel/TLChannelGroupProtocol.h"
#include "beacon/core/Channel/TLChannelUnitProtocol.h"
#include "beacon/core/Context/TLSessionContext.h"
#include "beacon/core/Context/TLUserIdContext.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLNeverDestroyed.h"
#include "beacon/core/TLUserDefaults.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Uuid.h"

namespace ml::beacon {

namespace {

auto& shared() { return TLSharedInstanceSlot<TLAnalytics>::get(); }

}  // namespace

TLAnalytics::TLAnalytics() : TLAnalytics(TLUserDefaults::shared(), TLSessionTracker::Environment::standard()) {}

TLAnalytics::TLAnalytics(TLUserDefaults& settings, TLSessionTracker::Environment trackerEnvironment)
    : TLServiceAbstract(settings), sessionTracker_(std::make_shared<TLSessionTracker>(std::move(trackerEnvironment))) {
  registerAnalyticsArchiveClasses();
}

// --- Shared instance

std::shared_ptr<TLAnalytics> TLAnalytics::sharedInstance() {
  auto& holder = shared();
  std::lock_guard guard(holder.lock);
  if (!holder.instance) {
    holder.instance = std::make_shared<TLAnalytics>();
    holder.instance->sessionTracker_->setDelegate(holder.instance);
  }
  return holder.instance;
}

void TLAnalytics::resetSharedInstance(std::shared_ptr<TLAnalytics> replacement) {
  if (replacement) replacement->sessionTracker_->setDelegate(replacement);
  std::shared_ptr<TLAnalytics> previous;  // let go of outside the lock
  auto& holder = shared();
  std::lock_guard guard(holder.lock);
  previous = std::exchange(holder.instance, std::move(replacement));
}

// --- Class methods

void TLAnalytics::trackEvent(const std::string& name) { sharedInstance()->trackEvent(name, std::nullopt, nullptr, kFlagsNormal); }

void TLAnalytics::trackEvent(const std::string& name, const TLStringProperties& properties, std::uint64_t flags) {
  sharedInstance()->trackEvent(name, properties, nullptr, flags);
}

void TLAnalytics::trackEvent(const std::string& name, const TLEventProperties& typedProperties, std::uint64_t flags) {
  sharedInstance()->trackEventWithTypedProperties(name, std::make_shared<TLEventProperties>(typedProperties), nullptr,
                                                  flags);
}

void TLAnalytics::trackPage(const std::string& name) { sharedInstance()->trackPageWithProperties(name, std::nullopt); }

void TLAnalytics::trackPage(const std::string& name, const TLStringProperties& properties) {
  sharedInstance()->trackPageWithProperties(name, properties);
}

void TLAnalytics::pause() { sharedInstance()->pauseInstance(); }
void TLAnalytics::resume() { sharedInstance()->resumeInstance(); }
void TLAnalytics::setAutoPageTrackingEnabled(bool isEnabled) {
  sharedInstance()->setAutoPageTrackingEnabledInstance(isEnabled);
}
bool TLAnalytics::isAutoPageTrackingEnabled() { return sharedInstance()->autoPageTrackingEnabled(); }
void TLAnalytics::setTransmissionInterval(std::uint64_t seconds) {
  sharedInstance()->setTransmissionIntervalInstance(seconds);
}
void TLAnalytics::setDelegate(std::shared_ptr<TLAnalyticsDelegate> delegate) {
  sharedInstance()->setDelegateInstance(std::move(delegate));
}

// --- Start and switch

std::optional<TLChannelUnitConfiguration> TLAnalytics::channelUnitConfiguration() const {
  std::lock_guard guard(serviceLock_);
  return channelUnitConfiguration_;
}

std::shared_ptr<TLChannelUnitProtocol> TLAnalytics::criticalChannelUnit() const {
  std::lock_guard guard(serviceLock_);
  return criticalChannelUnit_;
}

void TLAnalytics::startWithChannelGroup(const std::shared_ptr<TLChannelGroupProtocol>& channelGroup,
                                        const std::optional<std::string>& appSecret,
                                        const std::optional<std::string>& transmissionTargetToken,
                                        bool fromApplication) {
  {
    std::lock_guard guard(serviceLock_);
    channelUnitConfiguration_ = TLChannelUnitConfiguration::defaultConfiguration(std::string(kGroupId), flushInterval());
  }
  // The base's enable pass runs before the critical unit exists: that unit starts in a unit's
  // initial state.
  TLServiceAbstract::startWithChannelGroup(channelGroup, appSecret, transmissionTargetToken, fromApplication);
  if (transmissionTargetToken) {
    auto target = createTransmissionTargetForToken(*transmissionTargetToken);
    std::lock_guard guard(serviceLock_);
    defaultTransmissionTarget_ = std::move(target);
  }
  if (channelGroup) {
    auto critical =
        channelGroup->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration(std::string(kCriticalGroupId)));
    std::lock_guard guard(serviceLock_);
    criticalChannelUnit_ = std::move(critical);
  }
  TLAnalyticsCategory::activateCategory();
  TL_LOG_VERBOSE(kBeaconAnalyticsLogTag, "Started Analytics service.");
}

void TLAnalytics::updateConfigurationWithAppSecret(const std::optional<std::string>& appSecret,
                                                   const std::optional<std::string>& transmissionTargetToken) {
  TLServiceAbstract::updateConfigurationWithAppSecret(appSecret, transmissionTargetToken);
  if (transmissionTargetToken && !defaultTransmissionTarget()) {
    auto target = createTransmissionTargetForToken(*transmissionTargetToken);
    std::lock_guard guard(serviceLock_);
    defaultTransmissionTarget_ = std::move(target);
  }
}

void TLAnalytics::setEnabled(bool isEnabled) {
  TLServiceAbstract::setEnabled(isEnabled);
  std::map<std::string, std::shared_ptr<TLAnalyticsTransmissionTarget>> targets;
  {
    std::lock_guard guard(serviceLock_);
    targets = transmissionTargets_;
  }
  for (const auto& entry : targets) entry.second->setEnabled(isEnabled);
}

void TLAnalytics::applyEnabledState(bool isEnabled) {
  TLServiceAbstract::applyEnabledState(isEnabled);
  if (auto critical = criticalChannelUnit()) critical->setEnabled(isEnabled, true);
  auto group = channelGroup();
  if (isEnabled) {
    if (isStartedFromApplication()) {
      resumeInstance();
      sessionTracker_->start();
      if (group) {
        group->addDelegate(sessionTracker_);
        group->addDelegate(shared_from_this());
      }
      if (autoPageTrackingEnabled()) {
        dispatch::MainQueue::shared().async([] {
          auto missed = TLAnalyticsCategory::missedPageViewName();
          if (missed && !missed->empty()) TLAnalytics::trackPage(*missed);
        });
      }
    }
    TL_LOG_INFO(kBeaconAnalyticsLogTag, "Analytics service has been enabled.");
  } else {
    if (isStartedFromApplication()) {
      if (group) {
        group->removeDelegate(sessionTracker_);
        group->removeDelegate(shared_from_this());
      }
      sessionTracker_->stop();
      if (auto context = sessionTracker_->context()) context->clearSessionHistoryAndKeepCurrentSession(false);
    }
    TL_LOG_INFO(kBeaconAnalyticsLogTag, "Analytics service has been disabled.");
  }
}

void TLAnalytics::shutdown() {
  sessionTracker_->stop();
  std::shared_ptr<TLChannelUnitProtocol> critical;
  std::shared_ptr<TLChannelUnitProtocol> collector;
  std::shared_ptr<TLChannelUnitProtocol> collectorCritical;
  std::map<std::string, std::shared_ptr<TLAnalyticsTransmissionTarget>> targets;
  std::shared_ptr<TLAnalyticsTransmissionTarget> defaultTarget;
  {
    std::lock_guard guard(serviceLock_);
    critical = std::move(criticalChannelUnit_);
    collector = std::move(commonCollectorChannelUnit_);
    collectorCritical = std::move(commonCollectorCriticalChannelUnit_);
    targets = std::move(transmissionTargets_);
    defaultTarget = std::move(defaultTransmissionTarget_);
  }
  TLServiceAbstract::shutdown();
}

void TLAnalytics::setTransmissionIntervalInstance(std::uint64_t seconds) {
  if (isStarted()) {
    TL_LOG_ERROR(kBeaconAnalyticsLogTag,
                 "The transmission interval should be set before the TLAnalytics service is started.");
    return;
  }
  if (seconds < kMinimumTransmissionInterval || seconds > kMaximumTransmissionInterval) {
    TL_LOG_ERROR(kBeaconAnalyticsLogTag, "The transmission interval is not valid, it should be between "
                                             << kMinimumTransmissionInterval << " second(s) and "
                                             << kMaximumTransmissionInterval << " second(s) (1 day).");
    return;
  }
  flushInterval_.store(seconds);
  TL_LOG_DEBUG(kBeaconAnalyticsLogTag, "Transmission interval set to " << seconds << " second(s)");
}

void TLAnalytics::setDelegateInstance(std::shared_ptr<TLAnalyticsDelegate> delegate) {
  std::lock_guard guard(delegateLock_);
  delegate_ = std::move(delegate);
}

std::shared_ptr<TLAnalyticsDelegate> TLAnalytics::delegate() const {
  std::lock_guard guard(delegateLock_);
  return delegate_;
}

// --- Tracking

void TLAnalytics::trackEvent(const std::string& name, const std::optional<TLStringProperties>& properties,
                             const std::shared_ptr<TLAnalyticsTransmissionTarget>& target, std::uint64_t flags) {
  // A string map cannot hold a key or value that is not a string: nothing to remove here.
  trackEventWithTypedProperties(name, std::make_shared<TLEventProperties>(properties.value_or(TLStringProperties{})),
                                target, flags);
}

void TLAnalytics::trackEventWithTypedProperties(const std::string& name,
                                                const std::shared_ptr<const TLEventProperties>& typedProperties,
                                                const std::shared_ptr<TLAnalyticsTransmissionTarget>& target,
                                                std::uint64_t flags) {
  std::shared_ptr<TLEventLog> log;
  std::uint64_t persistence = flags & 0xFF;
  {
    std::lock_guard guard(serviceLock_);
    log = makeEventLog(name, typedProperties, target, persistence);
  }
  // Handed over outside the lock: the channel runs the prepare delegates (the host's
  // authentication provider among them) on this thread.
  if (log) sendLog(log, persistence);
}

std::shared_ptr<TLEventLog> TLAnalytics::makeEventLog(const std::string& name,
                                                      const std::shared_ptr<const TLEventProperties>& typedProperties,
                                                      const std::shared_ptr<TLAnalyticsTransmissionTarget>& target,
                                                      std::uint64_t& persistence) {
  if (!canBeUsed() || !isEnabled()) return nullptr;
  std::shared_ptr<TLAnalyticsTransmissionTarget> effectiveTarget = target ? target : defaultTransmissionTarget_;
  if (persistence != kFlagsNormal && persistence != kFlagsCritical) {
    TL_LOG_WARNING(kBeaconAnalyticsLogTag,
                   "Invalid flags (" << persistence << ") received, using normal as a default.");
    persistence = kFlagsNormal;
  }
  auto log = std::make_shared<TLEventLog>();
  std::shared_ptr<TLEventProperties> properties;
  if (effectiveTarget) {
    if (!effectiveTarget->isEnabled()) {
      TL_LOG_ERROR(kBeaconAnalyticsLogTag, "This transmission target is disabled.");
      return nullptr;
    }
    log->addTransmissionTargetToken(effectiveTarget->transmissionTargetToken());
    log->setTag(effectiveTarget);
    if (effectiveTarget == defaultTransmissionTarget_) log->setUserId(TLUserIdContext::sharedInstance()->userId());
    // Target properties are the caller's own, unchecked; the log gets a bag of its own.
    if (typedProperties) properties = std::make_shared<TLEventProperties>(*typedProperties);
  } else {
    properties = TLAnalyticsValidation::validateBeaconEventProperties(typedProperties.get());
  }
  log->name = name;
  log->eventId = foundation::Uuid::random().string();
  if (properties && !properties->isEmpty()) log->typedProperties = std::move(properties);
  return log;
}

void TLAnalytics::trackPageWithProperties(const std::string& name, const std::optional<TLStringProperties>& properties) {
  {
    std::lock_guard guard(serviceLock_);
    if (!canBeUsed() || !isEnabled()) return;
  }
  auto log = std::make_shared<TLPageLog>();
  log->name = name;
  if (properties && !properties->empty()) log->properties = *properties;
  sendLog(log, kFlagsNormal);
}

void TLAnalytics::sendLog(const std::shared_ptr<TLAbstractLog>& log, std::uint64_t flags) {
  auto unit = (flags & kFlagsCritical) ? criticalChannelUnit() : channelUnit();
  if (unit) unit->enqueueItem(log, flags);
}

void TLAnalytics::pauseInstance() {
  if (!canBeUsed()) return;
  TLIdentifyingObject self = shared_from_this();
  if (auto unit = channelUnit()) unit->pauseWithIdentifyingObject(self);
  if (auto critical = criticalChannelUnit()) critical->pauseWithIdentifyingObject(self);
}

void TLAnalytics::resumeInstance() {
  if (!canBeUsed()) return;
  TLIdentifyingObject self = shared_from_this();
  if (auto unit = channelUnit()) unit->resumeWithIdentifyingObject(self);
  if (auto critical = criticalChannelUnit()) critical->resumeWithIdentifyingObject(self);
}

void TLAnalytics::sessionTrackerProcessLog(TLSessionTracker& tracker, const std::shared_ptr<TLAbstractLog>& log) {
  (void)tracker;
  sendLog(log, kFlagsNormal);
}

// --- Channel delegate

bool TLAnalytics::channelUnitShouldFilterLog(TLChannelUnitProtocol& channelUnit, const Log& log) {
  (void)channelUnit;
  if (!dynamic_cast<TLEventLog*>(log.get()) && !dynamic_cast<TLPageLog*>(log.get())) return false;
  return !TLAnalyticsValidation::validateLog(static_cast<TLLogWithNameAndProperties&>(*log));
}

void TLAnalytics::channelWillSendLog(TLChannelProtocol& channel, const Log& log) {
  (void)channel;
  auto receiver = delegate();
  if (!receiver) return;
  if (auto event = std::dynamic_pointer_cast<TLEventLog>(log)) {
    receiver->analyticsWillSendEventLog(*this, event);
  } else if (auto page = std::dynamic_pointer_cast<TLPageLog>(log)) {
    receiver->analyticsWillSendPageLog(*this, page);
  }
}

void TLAnalytics::channelDidSucceedSendingLog(TLChannelProtocol& channel, const Log& log) {
  (void)channel;
  auto receiver = delegate();
  if (!receiver) return;
  if (auto event = std::dynamic_pointer_cast<TLEventLog>(log)) {
    receiver->analyticsDidSucceedSendingEventLog(*this, event);
  } else if (auto page = std::dynamic_pointer_cast<TLPageLog>(log)) {
    receiver->analyticsDidSucceedSendingPageLog(*this, page);
  }
}

void TLAnalytics::channelDidFailSendingLog(TLChannelProtocol& channel, const Log& log,
                                           const std::optional<foundation::Error>& error) {
  (void)channel;
  auto receiver = delegate();
  if (!receiver) return;
  if (auto event = std::dynamic_pointer_cast<TLEventLog>(log)) {
    receiver->analyticsDidFailSendingEventLog(*this, event, error);
  } else if (auto page = std::dynamic_pointer_cast<TLPageLog>(log)) {
    receiver->analyticsDidFailSendingPageLog(*this, page, error);
  }
}

// --- Transmission targets

std::shared_ptr<TLAnalyticsTransmissionTarget> TLAnalytics::transmissionTargetForToken(const std::string& token) {
  {
    std::lock_guard guard(serviceLock_);
    if (auto found = transmissionTargets_.find(token); found != transmissionTargets_.end()) {
      TL_LOG_DEBUG(kBeaconAnalyticsLogTag, "Returning transmission target found with id "
                                               << TLUtility::targetKeyFromTargetToken(token).value_or("") << ".");
      return found->second;
    }
  }
  // Made outside the lock: making a target asks the service's switch and joins the channel
  // group. Of two threads making the same token's target the first kept wins.
  auto target = createTransmissionTargetForToken(token);
  std::lock_guard guard(serviceLock_);
  return transmissionTargets_.try_emplace(token, std::move(target)).first->second;
}

std::shared_ptr<TLAnalyticsTransmissionTarget> TLAnalytics::createTransmissionTargetForToken(const std::string& token) {
  auto target = TLAnalyticsTransmissionTarget::make(token, nullptr, channelGroup());
  TL_LOG_DEBUG(kBeaconAnalyticsLogTag, "Created transmission target with target key "
                                           << TLUtility::targetKeyFromTargetToken(token).value_or("") << ".");
  return target;
}

std::shared_ptr<TLAnalyticsTransmissionTarget> TLAnalytics::defaultTransmissionTarget() const {
  std::lock_guard guard(serviceLock_);
  return defaultTransmissionTarget_;
}

std::shared_ptr<TLChannelUnitProtocol> TLAnalytics::commonCollectorChannelUnit() {
  std::lock_guard guard(serviceLock_);
  if (!commonCollectorChannelUnit_) {
    if (auto group = channelGroup()) commonCollectorChannelUnit_ = group->channelUnitForGroupId(std::string(kCommonCollectorGroupId));
  }
  return commonCollectorChannelUnit_;
}

std::shared_ptr<TLChannelUnitProtocol> TLAnalytics::commonCollectorCriticalChannelUnit() {
  std::lock_guard guard(serviceLock_);
  if (!commonCollectorCriticalChannelUnit_) {
    if (auto group = channelGroup()) {
      commonCollectorCriticalChannelUnit_ = group->channelUnitForGroupId(std::string(kCommonCollectorCriticalGroupId));
    }
  }
  return commonCollectorCriticalChannelUnit_;
}

void TLAnalytics::pauseTransmissionTargetForToken(const std::string& token) {
  if (auto unit = commonCollectorChannelUnit()) unit->pauseSendingLogsWithToken(token);
  if (auto unit = commonCollectorCriticalChannelUnit()) unit->pauseSendingLogsWithToken(token);
}

void TLAnalytics::resumeTransmissionTargetForToken(const std::string& token) {
  if (auto unit = commonCollectorChannelUnit()) unit->resumeSendingLogsWithToken(token);
  if (auto unit = commonCollectorCriticalChannelUnit()) unit->resumeSendingLogsWithToken(token);
}

}  // namespace ml::beacon
