#pragma once
// The base of every telemetry service singleton (analytics, crash reporting): the persisted
// per-service switch, the channel group and the service's own channel unit, the app secret and
// default target token handed over at start, the start flags, and the class-level switch that
// refuses to act while the whole client is disabled.
//
// A subclass supplies its class name, service name, log tag and group id, and optionally a
// configuration for its own unit, a priority (500 here) and whether it needs an app secret (yes
// here). Its applyEnabledState override calls this one first.
//
// Threads: the fields are guarded by a lock of their own, never held while calling out. The
// class-level switch is serialised by the service's switch lock, the outermost lock of the
// service: it is taken only at the switch's entry and never while any other lock of the client
// is held, so whatever the switch calls (the channel, the service's own locks, the host's
// hooks) may take theirs. The class-level test takes no lock: it reads the client's flag and the
// persisted switch, both safe from any thread. The settings store must outlive the service.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "beacon/core/Service/TLServiceCommon.h"

namespace ml::beacon {

class TLUserDefaults;

class TLServiceAbstract : public TLServiceCommon {
 public:
  static constexpr std::int64_t kDefaultInitializationPriority = 500;

  // Over the shared settings store.
  TLServiceAbstract();
  explicit TLServiceAbstract(TLUserDefaults& settings);

  // --- Supplied by the service
  // "TLAnalytics"; messages name the service by it without its first two characters.
  virtual std::string_view className() const = 0;
  virtual std::string_view logTag() const = 0;
  virtual std::string groupId() const = 0;

  // "kTL<group id>IsEnabledKey": the settings key of the service's switch.
  std::string isEnabledKey() const;

  // --- TLServiceCommon
  // Disables with deletion of the unit's stored logs, or enables, the service's unit.
  void applyEnabledState(bool isEnabled) override;
  bool canBeUsed() override;
  // Records the arguments, adds the service's unit when it has a configuration, and applies the
  // enabled state when the service is enabled.
  void startWithChannelGroup(const std::shared_ptr<TLChannelGroupProtocol>& channelGroup,
                             const std::optional<std::string>& appSecret,
                             const std::optional<std::string>& transmissionTargetToken, bool fromApplication) override;
  void updateConfigurationWithAppSecret(const std::optional<std::string>& appSecret,
                                        const std::optional<std::string>& transmissionTargetToken) override;
  bool isAppSecretRequired() const override { return true; }
  bool isStarted() const override;
  bool isStartedFromApplication() const override;
  bool isAvailable() override;
  bool isEnabled() override;
  // A change is applied (applyEnabledState, which still sees the old stored state) and then
  // stored; setting the current state does nothing.
  void setEnabled(bool isEnabled) override;
  std::shared_ptr<TLChannelGroupProtocol> channelGroup() const override;
  std::shared_ptr<TLChannelUnitProtocol> channelUnit() const override;
  std::optional<std::string> appSecret() const override;
  std::optional<std::string> defaultTransmissionTargetToken() const override;
  std::int64_t initializationPriority() const override { return kDefaultInitializationPriority; }
  // Lets go of the channel group and the service's unit; a subclass stops its own work first.
  void shutdown() override;
  void classSetEnabled(bool isEnabled) override;
  bool classIsEnabled() override;

 protected:
  // The class name without its first two characters ("TLAnalytics" -> "Analytics").
  std::string shortClassName() const;
  TLUserDefaults& settings() const { return settings_; }

 private:
  TLUserDefaults& settings_;
  std::recursive_mutex switchLock_;  // outermost: the class-level switch
  mutable std::mutex fieldsLock_;
  bool started_ = false;
  bool startedFromApplication_ = false;
  std::shared_ptr<TLChannelGroupProtocol> channelGroup_;
  std::shared_ptr<TLChannelUnitProtocol> channelUnit_;
  std::optional<std::string> appSecret_;
  std::optional<std::string> defaultTransmissionTargetToken_;
};

}  // namespace ml::beacon
