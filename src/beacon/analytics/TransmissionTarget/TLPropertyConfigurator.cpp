#include "beacon/analytics/TransmissionTarget/TLPropertyConfigurator.h"

#include <cctype>
#include <fstream>

#include "beacon/analytics/TLAnalytics.h"
#include "beacon/analytics/TLAnalyticsConstants.h"
#include "beacon/analytics/TransmissionTarget/TLAnalyticsTransmissionTarget.h"
#include "beacon/core/CommonSchema/TLCommonSchemaLog.h"
#include "beacon/core/Context/TLUserIdContext.h"
#include "beacon/core/TLLogger.h"
#include "platform/foundation/Uuid.h"

namespace ml::beacon {

TLPropertyConfigurator::TLPropertyConfigurator(const std::weak_ptr<TLAnalyticsTransmissionTarget>& target)
    : target_(target) {}

#define ML_CONFIGURATOR_FIELD(Getter, Setter, member)                          \
  std::optional<std::string> TLPropertyConfigurator::Getter() const {         \
    std::lock_guard guard(lock_);                                              \
    return member;                                                             \
  }                                                                            \
  void TLPropertyConfigurator::Setter(std::optional<std::string> value) {      \
    std::lock_guard guard(lock_);                                              \
    member = std::move(value);                                                 \
  }
ML_CONFIGURATOR_FIELD(appVersion, setAppVersion, appVersion_)
ML_CONFIGURATOR_FIELD(appName, setAppName, appName_)
ML_CONFIGURATOR_FIELD(appLocale, setAppLocale, appLocale_)
#undef ML_CONFIGURATOR_FIELD

std::optional<std::string> TLPropertyConfigurator::userId() const {
  std::lock_guard guard(lock_);
  return userId_;
}

void TLPropertyConfigurator::setUserId(const std::optional<std::string>& userId) {
  if (!TLUserIdContext::isUserIdValidForCommonCollector(userId)) return;
  std::lock_guard guard(lock_);
  userId_ = TLUserIdContext::prefixedUserIdFromUserId(userId);
}

std::optional<std::string> TLPropertyConfigurator::deviceId() const {
  std::lock_guard guard(lock_);
  return deviceId_;
}

void TLPropertyConfigurator::collectDeviceId() {
  auto identifier = getDeviceIdentifier();
  std::lock_guard guard(lock_);
  deviceId_ = std::move(identifier);
}

std::optional<std::string> TLPropertyConfigurator::getDeviceIdentifier() {
  // The machine's stable id: 32 hexadecimal digits on one line.
  for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    std::ifstream file(path);
    std::string hex;
    if (!(file >> hex) || hex.size() != 32) continue;
    std::string text = hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" + hex.substr(16, 4) +
                       "-" + hex.substr(20);
    if (auto uuid = foundation::Uuid::parse(text)) return "u:" + uuid->string();
  }
  return std::nullopt;
}

void TLPropertyConfigurator::setEventPropertyString(const std::optional<std::string>& value,
                                                    const std::optional<std::string>& key) {
  std::lock_guard guard(TLAnalytics::sharedInstance()->serviceLock());
  eventProperties_.setString(value, key);
}

void TLPropertyConfigurator::setEventPropertyDouble(double value, const std::optional<std::string>& key) {
  std::lock_guard guard(TLAnalytics::sharedInstance()->serviceLock());
  eventProperties_.setDouble(value, key);
}

void TLPropertyConfigurator::setEventPropertyInt64(std::int64_t value, const std::optional<std::string>& key) {
  std::lock_guard guard(TLAnalytics::sharedInstance()->serviceLock());
  eventProperties_.setInt64(value, key);
}

void TLPropertyConfigurator::setEventPropertyBool(bool value, const std::optional<std::string>& key) {
  std::lock_guard guard(TLAnalytics::sharedInstance()->serviceLock());
  eventProperties_.setBool(value, key);
}

void TLPropertyConfigurator::setEventPropertyDate(const std::optional<Date>& value,
                                                  const std::optional<std::string>& key) {
  std::lock_guard guard(TLAnalytics::sharedInstance()->serviceLock());
  eventProperties_.setDate(value, key);
}

void TLPropertyConfigurator::removeEventPropertyForKey(const std::optional<std::string>& key) {
  if (!key) {
    TL_LOG_ERROR(kBeaconAnalyticsLogTag, "Event property key to remove cannot be nil.");
    return;
  }
  std::lock_guard guard(TLAnalytics::sharedInstance()->serviceLock());
  eventProperties_.remove(*key);
}

TLEventProperties TLPropertyConfigurator::eventProperties() const {
  std::lock_guard guard(TLAnalytics::sharedInstance()->serviceLock());
  return eventProperties_;
}

void TLPropertyConfigurator::mergeTypedPropertiesWith(TLEventProperties& bag) const {
  std::lock_guard guard(TLAnalytics::sharedInstance()->serviceLock());
  for (const auto& [name, property] : eventProperties_.properties()) {
    if (!bag.contains(name)) bag.put(name, property);
  }
}

namespace {

// The first value `field` gives on the way from `target` up to its root.
std::optional<std::string> nearest(const std::shared_ptr<TLAnalyticsTransmissionTarget>& target,
                                   std::optional<std::string> (TLPropertyConfigurator::*field)() const) {
  for (auto current = target; current; current = current->parentTarget()) {
    if (auto value = (current->propertyConfigurator().get()->*field)()) return value;
  }
  return std::nullopt;
}

}  // namespace

void TLPropertyConfigurator::channelPrepareLog(TLChannelProtocol&, const Log& log) {
  auto target = target_.lock();
  if (!target) return;
  auto* csLog = dynamic_cast<TLCommonSchemaLog*>(log.get());
  if (!csLog || !target->isEnabled() || log->tag() != std::static_pointer_cast<const void>(target)) return;
  if (!csLog->ext) csLog->ext = std::make_shared<TLCSExtensions>();
  auto& ext = *csLog->ext;
  if (!ext.appExt) ext.appExt = std::make_shared<TLAppExtension>();
  if (!ext.userExt) ext.userExt = std::make_shared<TLUserExtension>();
  if (!ext.deviceExt) ext.deviceExt = std::make_shared<TLDeviceExtension>();
  if (auto value = nearest(target, &TLPropertyConfigurator::appVersion)) ext.appExt->ver = value;
  if (auto value = nearest(target, &TLPropertyConfigurator::appName)) ext.appExt->name = value;
  if (auto value = nearest(target, &TLPropertyConfigurator::appLocale)) ext.appExt->locale = value;
  if (auto value = nearest(target, &TLPropertyConfigurator::userId)) ext.userExt->localId = value;
  ext.deviceExt->localId = deviceId();
}

}  // namespace ml::beacon
