#pragma once
// What the client's start-up needs of a telemetry service (analytics, crash reporting): its
// priority, its requirements, its start and re-configuration, and its switches. Implemented by
// TLServiceAbstract; a service is reached through its class (TLServiceClass).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "beacon/core/Channel/TLChannelUnitConfiguration.h"

namespace ml::beacon {

class TLChannelGroupProtocol;
class TLChannelUnitProtocol;

class TLServiceCommon {
 public:
  virtual ~TLServiceCommon() = default;

  // Hooks a service's state to the switch (its unit, and whatever the service adds).
  virtual void applyEnabledState(bool isEnabled) = 0;
  // Logs why it cannot and answers false when the client is not configured or the service not
  // started.
  virtual bool canBeUsed() = 0;
  virtual void startWithChannelGroup(const std::shared_ptr<TLChannelGroupProtocol>& channelGroup,
                                     const std::optional<std::string>& appSecret,
                                     const std::optional<std::string>& transmissionTargetToken,
                                     bool fromApplication) = 0;
  virtual void updateConfigurationWithAppSecret(const std::optional<std::string>& appSecret,
                                                const std::optional<std::string>& transmissionTargetToken) = 0;
  virtual bool isAppSecretRequired() const = 0;
  virtual bool isStarted() const = 0;
  virtual bool isStartedFromApplication() const = 0;
  // Enabled and started.
  virtual bool isAvailable() = 0;
  // The service's persisted switch (on when never set).
  virtual bool isEnabled() = 0;
  virtual void setEnabled(bool isEnabled) = 0;
  virtual std::shared_ptr<TLChannelGroupProtocol> channelGroup() const = 0;
  virtual std::shared_ptr<TLChannelUnitProtocol> channelUnit() const = 0;
  virtual std::optional<std::string> appSecret() const = 0;
  virtual std::optional<std::string> defaultTransmissionTargetToken() const = 0;
  // Services start in descending priority.
  virtual std::int64_t initializationPriority() const = 0;
  // Stops the service's own timers and watchers and lets go of the channel group and its units,
  // so that the client can stop the group's queue (the client's shutdown at exit).
  virtual void shutdown() = 0;
  // The configuration of the service's own unit; none: the service has no unit of its own.
  virtual std::optional<TLChannelUnitConfiguration> channelUnitConfiguration() const { return std::nullopt; }

  // --- Members of the service's class, run on its shared instance.
  // The name "BEACON_DISABLE" lists ("Analytics", "Crashes").
  virtual std::string serviceName() const = 0;
  // The class-level switch: refused (with an error line) while the whole client is disabled,
  // except while the client propagates its own switch.
  virtual void classSetEnabled(bool isEnabled) = 0;
  // canBeUsed() and isEnabled().
  virtual bool classIsEnabled() = 0;
};

}  // namespace ml::beacon
