#pragma once
// The per-target settings of a transmission target: default event properties, and overrides of
// the application version, name and locale, the user id (kept with its "c:" prefix) and the
// device id of the common-schema logs made for the target.
//
// Threads: the default properties (and the merge) take the analytics service's lock; the
// overrides are guarded by the configurator's own lock.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "beacon/analytics/Model/TLEventProperties.h"
#include "beacon/core/Channel/TLChannelDelegate.h"

namespace ml::beacon {

class TLAnalyticsTransmissionTarget;

class TLPropertyConfigurator final : public TLChannelDelegate {
 public:
  using Date = std::chrono::system_clock::time_point;

  explicit TLPropertyConfigurator(const std::weak_ptr<TLAnalyticsTransmissionTarget>& target);

  std::optional<std::string> appVersion() const;
  void setAppVersion(std::optional<std::string> appVersion);
  std::optional<std::string> appName() const;
  void setAppName(std::optional<std::string> appName);
  std::optional<std::string> appLocale() const;
  void setAppLocale(std::optional<std::string> appLocale);
  std::optional<std::string> userId() const;
  // Kept (prefixed) only when the user-id context accepts it for the Common Collector.
  void setUserId(const std::optional<std::string>& userId);
  std::optional<std::string> deviceId() const;
  // deviceId = getDeviceIdentifier().
  void collectDeviceId();
  // "u:" and the machine's id as an upper-case UUID text (from the system's machine id); nothing
  // when it cannot be read.
  static std::optional<std::string> getDeviceIdentifier();

  void setEventPropertyString(const std::optional<std::string>& value, const std::optional<std::string>& key);
  void setEventPropertyDouble(double value, const std::optional<std::string>& key);
  void setEventPropertyInt64(std::int64_t value, const std::optional<std::string>& key);
  void setEventPropertyBool(bool value, const std::optional<std::string>& key);
  void setEventPropertyDate(const std::optional<Date>& value, const std::optional<std::string>& key);
  void removeEventPropertyForKey(const std::optional<std::string>& key);
  TLEventProperties eventProperties() const;
  // Adds to `bag` every default property whose name it does not hold yet.
  void mergeTypedPropertiesWith(TLEventProperties& bag) const;

  // For a common-schema log tracked through this configurator's target (its tag is the target)
  // while the target is on: the application version, name and locale and the user id, each from
  // the nearest configurator on the way up to the root that sets it (unset everywhere: the field
  // keeps what the conversion put there), and the device id of this configurator alone.
  void channelPrepareLog(TLChannelProtocol& channel, const Log& log) override;

 private:
  std::weak_ptr<TLAnalyticsTransmissionTarget> target_;
  mutable std::mutex lock_;
  std::optional<std::string> appVersion_;
  std::optional<std::string> appName_;
  std::optional<std::string> appLocale_;
  std::optional<std::string> userId_;
  std::optional<std::string> deviceId_;
  TLEventProperties eventProperties_;
};

}  // namespace ml::beacon
