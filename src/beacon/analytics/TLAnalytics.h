#pragma once
// The usage-analytics service of the telemetry client: turns the application's events and page
// views into event and page logs, checks their names and properties, sends them through two
// channel units of the client's channel group ("Analytics", and "Analytics_critical" for the
// critical persistence flag), runs the session tracker, and passes the send outcome of its logs
// on to an optional delegate.
//
// The application uses:
//   TLAnalytics::setTransmissionInterval(30);                         // before the client starts
//   TLBeacon::start(secret, {crashes, TLServiceClass::of<TLAnalytics>()});
//   TLAnalytics::trackEvent("Info window opened");
//   TLAnalytics::trackEvent("Rename failed", {{"reason", "exists"}});
// The service switch is the base's class-level one: sharedInstance()->classSetEnabled(bool),
// classIsEnabled().
//
// Flags: the low byte of a track call's flags is its persistence, 1 normal or 2 critical;
// anything else is taken as normal with a warning.
//
// Failures are reported through the telemetry logger under "BeaconAnalytics" (the start check
// under "Beacon"), never to the caller.
//
// Threads: track calls run on the caller's thread; their checks and the building of the log run
// under the service's recursive lock (serviceLock()), and the log is handed to the channel after
// it is released, so the channel's prepare delegates (the host's authentication provider among
// them) run without it. No lock of the service is held while another service or the host is
// called, except the base's switch lock, which is outermost; a target's switch keeps serviceLock()
// while it resumes its token's sending, which the channel only posts to its queue. The lock order
// is: the client's operation lock, the service's switch lock, serviceLock(), then the channel's
// and the contexts' own locks. The channel filter and the send callbacks run on the channel's
// queue and take no service lock. setTransmissionInterval and setDelegate take no service lock.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "beacon/analytics/Model/TLEventProperties.h"
#include "beacon/analytics/Session/TLSessionTracker.h"
#include "beacon/analytics/TLAnalyticsConstants.h"
#include "beacon/analytics/TLAnalyticsDelegate.h"
#include "beacon/core/Channel/TLChannelDelegate.h"
#include "beacon/core/Service/TLServiceAbstract.h"
#include "beacon/core/TLUtility.h"

namespace ml::beacon {

class TLAbstractLog;
class TLAnalyticsTransmissionTarget;
class TLEventLog;

class TLAnalytics final : public TLServiceAbstract,
                          public TLSessionTrackerDelegate,
                          public TLChannelDelegate,
                          public std::enable_shared_from_this<TLAnalytics> {
 public:
  static constexpr std::string_view kClassName = "TLAnalytics";
  static constexpr std::string_view kServiceName = "Analytics";
  static constexpr std::string_view kGroupId = "Analytics";
  static constexpr std::string_view kCriticalGroupId = "Analytics_critical";
  static constexpr std::string_view kCommonCollectorGroupId = "Analytics/one";
  static constexpr std::string_view kCommonCollectorCriticalGroupId = "Analytics_critical/one";
  static constexpr std::uint64_t kDefaultTransmissionInterval = 3;      // seconds
  static constexpr std::uint64_t kMinimumTransmissionInterval = 3;      // seconds
  static constexpr std::uint64_t kMaximumTransmissionInterval = 86400;  // seconds (one day)
  static constexpr std::uint64_t kFlagsNormal = 1;
  static constexpr std::uint64_t kFlagsCritical = 2;

  // Over the shared settings and the standard session-tracker environment.
  TLAnalytics();
  TLAnalytics(TLUserDefaults& settings, TLSessionTracker::Environment trackerEnvironment);

  // ===== Class methods (over the shared instance)

  static std::shared_ptr<TLAnalytics> sharedInstance();
  // Drops the shared instance; the next sharedInstance() makes a new one, or answers `replacement`.
  static void resetSharedInstance(std::shared_ptr<TLAnalytics> replacement = nullptr);

  static void trackEvent(const std::string& name);
  static void trackEvent(const std::string& name, const TLStringProperties& properties,
                         std::uint64_t flags = kFlagsNormal);
  static void trackEvent(const std::string& name, const TLEventProperties& typedProperties,
                         std::uint64_t flags = kFlagsNormal);
  static void trackPage(const std::string& name);
  static void trackPage(const std::string& name, const TLStringProperties& properties);
  static void pause();
  static void resume();
  static void setAutoPageTrackingEnabled(bool isEnabled);
  static bool isAutoPageTrackingEnabled();
  // 3 to 86400 seconds, before the service is started; otherwise an error line and no change.
  static void setTransmissionInterval(std::uint64_t seconds);
  static void setDelegate(std::shared_ptr<TLAnalyticsDelegate> delegate);

  // ===== Instance

  // --- TLServiceAbstract / TLServiceCommon
  std::string_view className() const override { return kClassName; }
  std::string_view logTag() const override { return kBeaconAnalyticsLogTag; }
  std::string groupId() const override { return std::string(kGroupId); }
  std::string serviceName() const override { return std::string(kServiceName); }
  bool isAppSecretRequired() const override { return false; }
  std::optional<TLChannelUnitConfiguration> channelUnitConfiguration() const override;
  void startWithChannelGroup(const std::shared_ptr<TLChannelGroupProtocol>& channelGroup,
                             const std::optional<std::string>& appSecret,
                             const std::optional<std::string>& transmissionTargetToken, bool fromApplication) override;
  void updateConfigurationWithAppSecret(const std::optional<std::string>& appSecret,
                                        const std::optional<std::string>& transmissionTargetToken) override;
  void setEnabled(bool isEnabled) override;
  void applyEnabledState(bool isEnabled) override;
  // Stops the session tracker and lets go of the units and targets.
  void shutdown() override;

  // The event road: checks, builds the event log and sends it on the unit its flags choose.
  // Without a target the typed properties are validated; with one (or with the default target)
  // the log carries the target's token and is refused when the target is disabled.
  void trackEvent(const std::string& name, const std::optional<TLStringProperties>& properties,
                  const std::shared_ptr<TLAnalyticsTransmissionTarget>& target, std::uint64_t flags);
  void trackEventWithTypedProperties(const std::string& name,
                                     const std::shared_ptr<const TLEventProperties>& typedProperties,
                                     const std::shared_ptr<TLAnalyticsTransmissionTarget>& target,
                                     std::uint64_t flags);
  void trackPageWithProperties(const std::string& name, const std::optional<TLStringProperties>& properties);
  // Enqueues on the critical unit when bit value 2 is set in the flags, else on the normal unit.
  void sendLog(const std::shared_ptr<TLAbstractLog>& log, std::uint64_t flags);
  void pauseInstance();
  void resumeInstance();
  void setTransmissionIntervalInstance(std::uint64_t seconds);
  std::uint64_t flushInterval() const { return flushInterval_.load(); }
  void setDelegateInstance(std::shared_ptr<TLAnalyticsDelegate> delegate);
  bool autoPageTrackingEnabled() const { return autoPageTrackingEnabled_.load(); }
  void setAutoPageTrackingEnabledInstance(bool isEnabled) { autoPageTrackingEnabled_.store(isEnabled); }

  // --- Transmission targets
  // The root target kept for the token, made and kept on first use.
  std::shared_ptr<TLAnalyticsTransmissionTarget> transmissionTargetForToken(const std::string& token);
  // A new root target on the service's channel group (not kept).
  std::shared_ptr<TLAnalyticsTransmissionTarget> createTransmissionTargetForToken(const std::string& token);
  // The target of the default target token the service was started with, if any.
  std::shared_ptr<TLAnalyticsTransmissionTarget> defaultTransmissionTarget() const;
  // The Common Collector units ("Analytics/one", "Analytics_critical/one"), looked up once found.
  std::shared_ptr<TLChannelUnitProtocol> commonCollectorChannelUnit();
  std::shared_ptr<TLChannelUnitProtocol> commonCollectorCriticalChannelUnit();
  // Stop (restart) sending the stored logs of the token on both Common Collector units.
  void pauseTransmissionTargetForToken(const std::string& token);
  void resumeTransmissionTargetForToken(const std::string& token);
  TLUserDefaults& analyticsSettings() const { return settings(); }

  const std::shared_ptr<TLSessionTracker>& sessionTracker() const { return sessionTracker_; }
  std::shared_ptr<TLChannelUnitProtocol> criticalChannelUnit() const;
  // The lock of the track calls; transmission targets take it for their switch and properties.
  std::recursive_mutex& serviceLock() { return serviceLock_; }

  // --- TLSessionTrackerDelegate: start-session logs go out with normal persistence.
  void sessionTrackerProcessLog(TLSessionTracker& tracker, const std::shared_ptr<TLAbstractLog>& log) override;

  // --- TLChannelDelegate
  // Event and page logs whose name fails validation are dropped; others pass.
  bool channelUnitShouldFilterLog(TLChannelUnitProtocol& channelUnit, const Log& log) override;
  void channelWillSendLog(TLChannelProtocol& channel, const Log& log) override;
  void channelDidSucceedSendingLog(TLChannelProtocol& channel, const Log& log) override;
  void channelDidFailSendingLog(TLChannelProtocol& channel, const Log& log,
                                const std::optional<foundation::Error>& error) override;

 private:
  std::shared_ptr<TLAnalyticsDelegate> delegate() const;
  // The event road's checks and log, under serviceLock_; null when nothing is to be sent.
  // `persistence` comes in as the flags' low byte and leaves as the one to use.
  std::shared_ptr<TLEventLog> makeEventLog(const std::string& name,
                                           const std::shared_ptr<const TLEventProperties>& typedProperties,
                                           const std::shared_ptr<TLAnalyticsTransmissionTarget>& target,
                                           std::uint64_t& persistence);

  mutable std::recursive_mutex serviceLock_;
  std::atomic<bool> autoPageTrackingEnabled_ = false;
  std::atomic<std::uint64_t> flushInterval_ = kDefaultTransmissionInterval;
  std::shared_ptr<TLSessionTracker> sessionTracker_;
  mutable std::mutex delegateLock_;
  std::shared_ptr<TLAnalyticsDelegate> delegate_;
  // Under serviceLock_.
  std::optional<TLChannelUnitConfiguration> channelUnitConfiguration_;
  std::shared_ptr<TLChannelUnitProtocol> criticalChannelUnit_;
  std::map<std::string, std::shared_ptr<TLAnalyticsTransmissionTarget>> transmissionTargets_;
  std::shared_ptr<TLAnalyticsTransmissionTarget> defaultTransmissionTarget_;
  std::shared_ptr<TLChannelUnitProtocol> commonCollectorChannelUnit_;
  std::shared_ptr<TLChannelUnitProtocol> commonCollectorCriticalChannelUnit_;
};

}  // namespace ml::beacon
