#pragma once
// The telemetry client's entry point and core singleton.
//
// The application calls TLBeacon::start once at launch with its app secret and the service
// classes to start (crash reporting and analytics). The client then configures itself once
// (secret, install id, channel group with the core's "Beacon" unit, enabled state, log level),
// starts each service in descending initialization priority, and sends one start-service log
// naming the services that started. It also owns the client-wide switch (persisted under
// "TLBeaconIsEnabled"), the install id (persisted under "TLInstallId"), the ingestion's base
// URL, the cap on the log store, the user id and custom properties, and the debugger test.
//
// Public operations are class methods over the shared instance. None throws or blocks on I/O;
// misuse is reported through the telemetry logger under the tag "Beacon".
//
// Threads: callable from any thread. Configuration, service starts, the switch, the log URL,
// the start-service log and the storage cap are serialised by the operation lock (recursive),
// the outermost lock of the client: it is taken only at those entry points and never while any
// other lock of the client is held, so the services it calls may take theirs. The fields are
// guarded by a lock of their own that is never held while calling out; the install id and every
// other field services read from their own work take only that one, and the flags services read
// (configured, propagating the switch) are atomics. So a service's work never waits for the
// client's switch. Channel work goes to the channel group's queue.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "beacon/core/Ingestion/TLHttpIngestion.h"
#include "beacon/core/Service/TLServiceClass.h"
#include "beacon/core/TLLogger.h"
#include "platform/foundation/Uuid.h"

namespace ml::beacon {

class TLChannelGroupProtocol;
class TLChannelUnitProtocol;
class TLCommonCollectorChannelDelegate;
class TLCustomProperties;
class TLUserDefaults;
class TLWrapperSdk;

class TLBeacon {
 public:
  static constexpr std::string_view kGroupId = "Beacon";
  static constexpr std::string_view kIsEnabledKey = "TLBeaconIsEnabled";
  static constexpr std::string_view kInstallIdKey = "TLInstallId";
  static constexpr std::int64_t kMinimumStorageSize = 24 * 1024;  // bytes
  static constexpr std::string_view kDefaultLogUrl = "https://in.telemetry.marrowlane.org";
  static constexpr std::string_view kDisableVariable = "BEACON_DISABLE";
  static constexpr std::string_view kTestCloudVariable = "RUNNING_IN_BEACON";

  // What the client builds its pipeline from. standard() is the production wiring: a channel
  // group over the log store in the client folder and a TLBeaconIngestion, and the Common
  // Collector delegate over its own ingestion; both ingestions take their clock, retry queue and
  // HTTP session from `environment` (the system's when empty). Tests give their own settings
  // store and channel group, and may leave the Common Collector delegate out.
  struct Dependencies {
    TLUserDefaults* settings = nullptr;
    // The channel group for the install id and the ingestion's base URL.
    std::function<std::shared_ptr<TLChannelGroupProtocol>(const foundation::Uuid& installId, const std::string& logUrl)>
        makeChannelGroup;
    // The Common Collector delegate for the install id and its base URL (none: its default).
    std::function<std::shared_ptr<TLCommonCollectorChannelDelegate>(const foundation::Uuid& installId,
                                                                    const std::optional<std::string>& baseUrl)>
        makeCommonCollectorChannelDelegate;
    // Stops the threads of what the two factories made, once the client holds none of it: the
    // ingestions end their transfers and threads, then the group's queue runs the work posted so
    // far and its thread ends. Empty: the pipeline's threads are the caller's.
    std::function<void()> stopPipeline;

    static Dependencies standard(TLHttpIngestionEnvironment environment = {});
  };

  explicit TLBeacon(Dependencies dependencies = Dependencies::standard());
  TLBeacon(const TLBeacon&) = delete;
  TLBeacon& operator=(const TLBeacon&) = delete;

  // ===== Class methods

  // The singleton, made on first use.
  static std::shared_ptr<TLBeacon> sharedInstance();
  // Drops the singleton: the next sharedInstance() makes a fresh one, or answers `replacement`.
  static void resetSharedInstance(std::shared_ptr<TLBeacon> replacement = nullptr);
  // Stops every queue and thread of the client: each started service stops its own work and
  // lets go of the channel, the ingestions cancel their transfers in flight and end their
  // threads, then the channel group's queue runs what was posted to it and ends (later work is
  // dropped; unsent logs stay in the store). The singleton is dropped. The application calls it
  // when its run loop ends, before main returns and static objects go.
  // The first start also registers it to run at exit, for a host that does not call it (that
  // run comes after statics built later than the start are gone). Safe to call again.
  static void shutdown();

  // Configures the client from the application with the secret string (a bare app secret, or
  // ";"-separated "appsecret=" and "target=" parts) and starts the services.
  static void start(const std::optional<std::string>& secretString, const std::vector<TLServiceClass>& services);
  static void startWithServices(const std::vector<TLServiceClass>& services);
  static void startFromLibraryWithServices(const std::vector<TLServiceClass>& services);
  // Starts one more service with the stored secret and token, and sends its start-service log.
  static void startService(const TLServiceClass& service);
  static void configureWithAppSecret(const std::string& secretString);
  static void configure();
  // Configured, and from the application.
  static bool isConfigured();

  static void setEnabled(bool isEnabled);
  // Configured (canBeUsed) and not switched off.
  static bool isEnabled();
  static std::optional<foundation::Uuid> installId();
  static void setLogUrl(const std::string& logUrl);
  // Caps the log store (at least 24576 bytes); at most once per process and only before the
  // application configures the client. The completion hears whether the cap was applied.
  static void setMaxStorageSize(std::int64_t sizeInBytes, std::function<void(bool)> completionHandler);
  static void setUserId(const std::optional<std::string>& userId);
  static void setCustomProperties(const TLCustomProperties& customProperties);

  static TLLogLevel logLevel();
  // Also releases the buffered traces of the delegate forwarder.
  static void setLogLevel(TLLogLevel level);
  static void setLogHandler(TLLogHandler handler);
  static void setWrapperSdk(std::shared_ptr<const TLWrapperSdk> wrapperSdk);
  static void setCountryCode(std::optional<std::string> countryCode);
  static bool isAppDelegateForwarderEnabled();
  static bool isRunningInBeaconTestCloud();
  // Whether a tracer is attached to this process ("TracerPid" of /proc/self/status), computed
  // once. An unreadable status answers false with a line on standard error.
  static bool isDebuggerAttached();
  static std::string sdkVersion();
  static std::string_view logTag() { return kGroupId; }
  static std::string_view groupId() { return kGroupId; }

  // The app secret and the target token of a secret string (either may be absent).
  static std::optional<std::string> appSecretFrom(std::string_view secretString);
  static std::optional<std::string> transmissionTargetTokenFrom(std::string_view secretString);
  // Whether "BEACON_DISABLE" names the service (or "All"): comma-separated, trimmed, exact case.
  static bool shouldDisable(std::string_view serviceName);

  // ===== Instance operations other telemetry parts use

  // True when configured; otherwise logs how to configure and answers false.
  bool canBeUsed();
  bool isSdkConfigured() const { return sdkConfigured_; }
  bool isConfiguredFromApplication() const { return configuredFromApplication_; }
  bool isEnabledStateUpdating() const { return enabledStateUpdating_; }
  std::optional<std::string> appSecret() const;
  std::optional<std::string> defaultTransmissionTargetToken() const;
  std::shared_ptr<TLChannelGroupProtocol> channelGroup() const;
  std::shared_ptr<TLChannelUnitProtocol> channelUnit() const;
  std::shared_ptr<TLCommonCollectorChannelDelegate> commonCollectorChannelDelegate() const;
  // The started services, in start order.
  std::vector<std::shared_ptr<TLServiceCommon>> services() const;
  std::optional<std::string> logUrl() const;

 private:
  void startWithServices(const std::optional<std::string>& secretString, const std::vector<TLServiceClass>& services,
                         bool fromApplication);
  void stop();
  bool configureWithAppSecret(const std::optional<std::string>& appSecret,
                              const std::optional<std::string>& transmissionTargetToken, bool fromApplication);
  void initializeChannelGroup();
  bool startService(const TLServiceClass& service, const std::optional<std::string>& appSecret,
                    const std::optional<std::string>& transmissionTargetToken, bool sendLog, bool fromApplication);
  static std::vector<TLServiceClass> sortServices(const std::vector<TLServiceClass>& services);
  void sendStartServiceLog(const std::vector<std::string>& serviceNames);
  void applyPipelineEnabledState(bool isEnabled);
  // The stored switch alone.
  bool isEnabledInstance() const;
  void setEnabledInstance(bool isEnabled);
  foundation::Uuid installIdInstance();
  void setLogUrlInstance(const std::string& logUrl);
  void setMaxStorageSizeInstance(std::int64_t sizeInBytes, std::function<void(bool)> completionHandler);
  void setUserIdInstance(const std::optional<std::string>& userId);
  void setCustomPropertiesInstance(const TLCustomProperties& customProperties);

  Dependencies dependencies_;
  std::recursive_mutex operationLock_;  // outermost; see the header's comment
  mutable std::mutex fieldsLock_;       // the fields below; never held while calling out
  std::atomic<bool> sdkConfigured_ = false;
  std::atomic<bool> configuredFromApplication_ = false;
  std::atomic<bool> enabledStateUpdating_ = false;
  bool setMaxStorageSizeHasBeenCalled_ = false;
  std::optional<foundation::Uuid> installId_;
  std::optional<std::string> logUrl_;
  std::shared_ptr<TLChannelUnitProtocol> channelUnit_;
  std::shared_ptr<TLChannelGroupProtocol> channelGroup_;
  // Owned here: the group holds its delegates weakly.
  std::shared_ptr<TLCommonCollectorChannelDelegate> commonCollectorChannelDelegate_;
  std::vector<std::shared_ptr<TLServiceCommon>> services_;
  std::optional<std::vector<std::string>> startedServiceNames_;
  std::optional<std::string> appSecret_;
  std::optional<std::string> defaultTransmissionTargetToken_;
  std::optional<std::int64_t> requestedMaxStorageSizeInBytes_;
  std::function<void(bool)> maxStorageSizeCompletionHandler_;
};

}  // namespace ml::beacon
