#include "beacon/core/Service/TLServiceAbstract.h"

#include "beacon/core/Channel/TLChannelGroupProtocol.h"
#include "beacon/core/Channel/TLChannelUnitProtocol.h"
#include "beacon/core/Service/TLBeacon.h"
#include "beacon/core/Service/TLStoredBoolean.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUserDefaults.h"

namespace ml::beacon {

TLServiceAbstract::TLServiceAbstract() : TLServiceAbstract(TLUserDefaults::shared()) {}

TLServiceAbstract::TLServiceAbstract(TLUserDefaults& settings) : settings_(settings) {}

std::string TLServiceAbstract::isEnabledKey() const { return "kTL" + groupId() + "IsEnabledKey"; }

std::string TLServiceAbstract::shortClassName() const {
  std::string_view name = className();
  return std::string(name.size() > 2 ? name.substr(2) : std::string_view());
}

// --- Switch

bool TLServiceAbstract::isEnabled() { return storedBoolean(settings_, isEnabledKey(), true); }

void TLServiceAbstract::setEnabled(bool isEnabled) {
  if (this->isEnabled() == isEnabled) return;
  applyEnabledState(isEnabled);
  settings_.setObject(foundation::PlistValue(isEnabled), isEnabledKey());
}

void TLServiceAbstract::applyEnabledState(bool isEnabled) {
  if (auto unit = channelUnit()) unit->setEnabled(isEnabled, true);
}

void TLServiceAbstract::classSetEnabled(bool isEnabled) {
  std::lock_guard guard(switchLock_);
  if (!canBeUsed()) return;
  if (!TLBeacon::isEnabled() && !TLBeacon::sharedInstance()->isEnabledStateUpdating()) {
    TL_LOG_ERROR(kBeaconLogTag, "The SDK is disabled. Re-enable the whole SDK from Beacon first before enabling "
                                    << shortClassName() << " service.");
    return;
  }
  setEnabled(isEnabled);
}

bool TLServiceAbstract::classIsEnabled() {
  // No lock: it is asked from under other locks (a transmission target made while tracking), and
  // a lock here would order those against the switch, which calls into them.
  return canBeUsed() && isEnabled();
}

// --- Start

bool TLServiceAbstract::canBeUsed() {
  if (TLBeacon::sharedInstance()->isSdkConfigured() && isStarted()) return true;
  if (TLBeacon::shouldDisable(serviceName())) {
    // Left out on purpose ("BEACON_DISABLE"): the host's calls are no fault of the host.
    TL_LOG_DEBUG(kBeaconLogTag, shortClassName() << " service is disabled by the environment; the call is ignored.");
    return false;
  }
  TL_LOG_ERROR(kBeaconLogTag, shortClassName() << " service hasn't been started. You need to call [TLBeacon "
                                                  "start:YOUR_APP_SECRET withServices:LIST_OF_SERVICES] first.");
  return false;
}

void TLServiceAbstract::startWithChannelGroup(const std::shared_ptr<TLChannelGroupProtocol>& channelGroup,
                                              const std::optional<std::string>& appSecret,
                                              const std::optional<std::string>& transmissionTargetToken,
                                              bool fromApplication) {
  {
    std::lock_guard guard(fieldsLock_);
    startedFromApplication_ = fromApplication;
    channelGroup_ = channelGroup;
    appSecret_ = appSecret;
    defaultTransmissionTargetToken_ = transmissionTargetToken;
    started_ = true;
  }
  if (auto configuration = channelUnitConfiguration(); configuration && channelGroup) {
    auto unit = channelGroup->addChannelUnitWithConfiguration(*configuration);
    std::lock_guard guard(fieldsLock_);
    channelUnit_ = std::move(unit);
  }
  // A disabled service keeps its new unit as units start: enabled.
  if (isEnabled()) applyEnabledState(true);
}

void TLServiceAbstract::updateConfigurationWithAppSecret(const std::optional<std::string>& appSecret,
                                                         const std::optional<std::string>& transmissionTargetToken) {
  {
    std::lock_guard guard(fieldsLock_);
    startedFromApplication_ = true;
    appSecret_ = appSecret;
    defaultTransmissionTargetToken_ = transmissionTargetToken;
  }
  if (isEnabled()) applyEnabledState(true);
}

void TLServiceAbstract::shutdown() {
  std::shared_ptr<TLChannelGroupProtocol> group;
  std::shared_ptr<TLChannelUnitProtocol> unit;
  {
    std::lock_guard guard(fieldsLock_);
    group = std::move(channelGroup_);
    unit = std::move(channelUnit_);
  }
  // Both go here, outside the lock.
}

// --- Fields

bool TLServiceAbstract::isStarted() const {
  std::lock_guard guard(fieldsLock_);
  return started_;
}

bool TLServiceAbstract::isStartedFromApplication() const {
  std::lock_guard guard(fieldsLock_);
  return startedFromApplication_;
}

bool TLServiceAbstract::isAvailable() { return isEnabled() && isStarted(); }

std::shared_ptr<TLChannelGroupProtocol> TLServiceAbstract::channelGroup() const {
  std::lock_guard guard(fieldsLock_);
  return channelGroup_;
}

std::shared_ptr<TLChannelUnitProtocol> TLServiceAbstract::channelUnit() const {
  std::lock_guard guard(fieldsLock_);
  return channelUnit_;
}

std::optional<std::string> TLServiceAbstract::appSecret() const {
  std::lock_guard guard(fieldsLock_);
  return appSecret_;
}

std::optional<std::string> TLServiceAbstract::defaultTransmissionTargetToken() const {
  std::lock_guard guard(fieldsLock_);
  return defaultTransmissionTargetToken_;
}

}  // namespace ml::beacon
