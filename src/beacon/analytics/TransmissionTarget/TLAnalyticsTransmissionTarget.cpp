#include "beacon/analytics/TransmissionTarget/TLAnalyticsTransmissionTarget.h"

#include "beacon/analytics/TLAnalytics.h"
#include "beacon/analytics/TLAnalyticsConstants.h"
#include "beacon/analytics/TransmissionTarget/TLAuthenticationProvider.h"
#include "beacon/analytics/TransmissionTarget/TLPropertyConfigurator.h"
#include "beacon/core/Channel/TLChannelGroupProtocol.h"
#include "beacon/core/CommonSchema/TLCommonSchemaLog.h"
#include "beacon/core/Service/TLStoredBoolean.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLNeverDestroyed.h"
#include "beacon/core/TLUserDefaults.h"

namespace ml::beacon {

namespace {

struct ProviderSlot {
  std::mutex lock;
  std::shared_ptr<TLAuthenticationProvider> provider;
};

// Never destroyed: the prepare step asks for the provider on whichever thread enqueues a log.
ProviderSlot& providerSlot() {
  static TLNeverDestroyed<ProviderSlot> slot;
  return slot.get();
}

std::string enabledKeyFor(const std::string& token) {
  return "kTL" + std::string(TLAnalytics::kGroupId) + "IsEnabledKey/" +
         TLUtility::targetKeyFromTargetToken(token).value_or("");
}

}  // namespace

TLAnalyticsTransmissionTarget::TLAnalyticsTransmissionTarget(Passkey, std::string token,
                                                             std::shared_ptr<TLAnalyticsTransmissionTarget> parent,
                                                             std::shared_ptr<TLChannelGroupProtocol> channelGroup)
    : token_(std::move(token)),
      parent_(parent),
      isRoot_(!parent),
      channelGroup_(std::move(channelGroup)),
      isEnabledKey_(enabledKeyFor(token_)) {}

std::shared_ptr<TLAnalyticsTransmissionTarget> TLAnalyticsTransmissionTarget::make(
    const std::string& token, const std::shared_ptr<TLAnalyticsTransmissionTarget>& parent,
    const std::shared_ptr<TLChannelGroupProtocol>& channelGroup) {
  auto target = std::make_shared<TLAnalyticsTransmissionTarget>(Passkey(), token, parent, channelGroup);
  target->configurator_ = std::make_shared<TLPropertyConfigurator>(target);
  if (!target->isImmediateParent()) {
    TLAnalytics::sharedInstance()->analyticsSettings().setObject(foundation::PlistValue(false), target->isEnabledKey_);
  }
  if (channelGroup) {
    channelGroup->addDelegate(target->configurator_);
    channelGroup->addDelegate(target);
  }
  return target;
}

bool TLAnalyticsTransmissionTarget::isImmediateParent() const {
  if (isRoot_) return TLAnalytics::sharedInstance()->classIsEnabled();
  auto parent = parent_.lock();
  return parent && parent->isEnabled();
}

bool TLAnalyticsTransmissionTarget::isEnabled() const {
  auto analytics = TLAnalytics::sharedInstance();
  std::lock_guard guard(analytics->serviceLock());
  return storedBoolean(analytics->analyticsSettings(), isEnabledKey_, true);
}

void TLAnalyticsTransmissionTarget::setEnabled(bool isEnabled) {
  auto analytics = TLAnalytics::sharedInstance();
  std::lock_guard guard(analytics->serviceLock());
  if (this->isEnabled() != isEnabled) {
    if (isEnabled && !isImmediateParent()) {
      TL_LOG_WARNING(kBeaconAnalyticsLogTag,
                     "Can't enable; parent transmission target and/or Analytics service is disabled.");
      return;
    }
    analytics->analyticsSettings().setObject(foundation::PlistValue(isEnabled), isEnabledKey_);
    if (isEnabled) resume();
  }
  std::map<std::string, std::shared_ptr<TLAnalyticsTransmissionTarget>> children;
  {
    std::lock_guard childrenGuard(childrenLock_);
    children = children_;
  }
  for (const auto& entry : children) entry.second->setEnabled(isEnabled);
}

void TLAnalyticsTransmissionTarget::pause() {
  if (!isEnabled()) {
    TL_LOG_ERROR(kBeaconAnalyticsLogTag, "This transmission target is disabled.");
    return;
  }
  TLAnalytics::sharedInstance()->pauseTransmissionTargetForToken(token_);
}

void TLAnalyticsTransmissionTarget::resume() {
  if (!isEnabled()) {
    TL_LOG_ERROR(kBeaconAnalyticsLogTag, "This transmission target is disabled.");
    return;
  }
  TLAnalytics::sharedInstance()->resumeTransmissionTargetForToken(token_);
}

std::shared_ptr<TLAnalyticsTransmissionTarget> TLAnalyticsTransmissionTarget::transmissionTargetForToken(
    const std::string& token) {
  {
    std::lock_guard guard(childrenLock_);
    if (auto found = children_.find(token); found != children_.end()) return found->second;
  }
  // Made outside the children's lock: making a child reads this target's switch.
  auto child = make(token, shared_from_this(), channelGroup_);
  std::lock_guard guard(childrenLock_);
  return children_.try_emplace(token, std::move(child)).first->second;
}

void TLAnalyticsTransmissionTarget::trackEvent(const std::string& name) { trackEvent(name, std::nullopt, 1); }

void TLAnalyticsTransmissionTarget::trackEvent(const std::string& name,
                                               const std::optional<TLStringProperties>& properties,
                                               std::uint64_t flags) {
  std::shared_ptr<TLEventProperties> typed;
  if (properties) {
    typed = std::make_shared<TLEventProperties>();
    for (const auto& [key, value] : *properties) typed->setString(value, key);
  }
  trackEvent(name, typed, flags);
}

void TLAnalyticsTransmissionTarget::trackEvent(const std::string& name,
                                               const std::shared_ptr<const TLEventProperties>& typedProperties,
                                               std::uint64_t flags) {
  auto merged = std::make_shared<TLEventProperties>();
  configurator_->mergeTypedPropertiesWith(*merged);
  for (auto target = parentTarget(); target; target = target->parentTarget()) {
    target->configurator_->mergeTypedPropertiesWith(*merged);
  }
  if (typedProperties) {
    merged->mergeEventProperties(*typedProperties);
  } else if (merged->isEmpty()) {
    merged = nullptr;
  }
  TLAnalytics::sharedInstance()->trackEventWithTypedProperties(name, merged, shared_from_this(), flags);
}

void TLAnalyticsTransmissionTarget::channelPrepareLog(TLChannelProtocol&, const Log& log) {
  auto* csLog = dynamic_cast<TLCommonSchemaLog*>(log.get());
  if (!csLog) return;
  auto tokens = log->transmissionTargetTokens();
  if (!tokens || !tokens->contains(token_)) return;
  if (!isEnabled()) return;
  auto provider = authenticationProvider();
  if (!provider) return;
  if (!csLog->ext) csLog->ext = std::make_shared<TLCSExtensions>();
  if (!csLog->ext->protocolExt) csLog->ext->protocolExt = std::make_shared<TLProtocolExtension>();
  csLog->ext->protocolExt->ticketKeys = std::vector<std::string>{provider->ticketKeyHash()};
  provider->checkTokenExpiry();
}

void TLAnalyticsTransmissionTarget::addAuthenticationProvider(const std::shared_ptr<TLAuthenticationProvider>& provider) {
  if (!provider) {
    TL_LOG_ERROR(kBeaconAnalyticsLogTag, "Authentication provider may not be null.");
    return;
  }
  {
    auto& slot = providerSlot();
    std::lock_guard guard(slot.lock);
    slot.provider = provider;
  }
  // The host's provider runs without the lock.
  provider->acquireTokenAsync();
}

std::shared_ptr<TLAuthenticationProvider> TLAnalyticsTransmissionTarget::authenticationProvider() {
  auto& slot = providerSlot();
  std::lock_guard guard(slot.lock);
  return slot.provider;
}

void TLAnalyticsTransmissionTarget::setAuthenticationProvider(std::shared_ptr<TLAuthenticationProvider> provider) {
  auto& slot = providerSlot();
  std::lock_guard guard(slot.lock);
  std::swap(slot.provider, provider);  // the replaced one goes outside the lock
}

}  // namespace ml::beacon
