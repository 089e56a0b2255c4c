#include "beacon/core/Service/TLBeacon.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "beacon/core/Channel/TLChannelEnvironment.h"
#include "beacon/core/Channel/TLChannelGroupDefault.h"
#include "beacon/core/Channel/TLChannelUnitProtocol.h"
#include "beacon/core/CommonSchema/TLCommonCollectorChannelDelegate.h"
#include "beacon/core/Context/TLAuthTokenContext.h"
#include "beacon/core/Context/TLDeviceTracker.h"
#include "beacon/core/Context/TLSessionContext.h"
#include "beacon/core/Context/TLUserIdContext.h"
#include "beacon/core/Ingestion/TLBeaconIngestion.h"
#include "beacon/core/Service/TLAppDelegateForwarder.h"
#include "beacon/core/Service/TLCustomProperties.h"
#include "beacon/core/Service/TLStoppableQueue.h"
#include "beacon/core/Service/TLStoredBoolean.h"
#include "beacon/core/Storage/TLLogDBStorage.h"
#include "beacon/core/TLCustomPropertiesLog.h"
#include "beacon/core/TLNeverDestroyed.h"
#include "beacon/core/TLStartServiceLog.h"
#include "beacon/core/TLUserDefaults.h"
#include "beacon/core/TLUtility.h"

namespace ml::beacon {

namespace {

auto& shared() { return TLSharedInstanceSlot<TLBeacon>::get(); }

std::string_view trimmed(std::string_view text) {
  constexpr std::string_view kSpace = " \t\n\r\f\v";
  auto first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  auto last = text.find_last_not_of(kSpace);
  return text.substr(first, last - first + 1);
}

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const auto& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}

const char* origin(bool fromApplication) { return fromApplication ? "" : "from a library "; }

}  // namespace

TLBeacon::Dependencies TLBeacon::Dependencies::standard(TLHttpIngestionEnvironment environment) {
  Dependencies dependencies;
  dependencies.settings = &TLUserDefaults::shared();
  // The parts of the pipeline that run threads of their own, kept here so that stopping them is
  // the client's own doing: the group's queue, and the ingestions (weakly: they belong to the
  // group, its units and the Common Collector delegate). The factories and the stop are called
  // under the client's operation lock, which keeps them apart.
  struct Pipeline {
    std::shared_ptr<TLStoppableQueue> queue;
    std::vector<std::weak_ptr<TLHttpIngestion>> ingestions;
  };
  auto pipeline = std::make_shared<Pipeline>();
  dependencies.makeChannelGroup = [environment, pipeline](
                                      const foundation::Uuid& installId,
                                      const std::string& logUrl) -> std::shared_ptr<TLChannelGroupProtocol> {
    auto ingestion = TLBeaconIngestion::create(logUrl, installId, environment);
    pipeline->ingestions.push_back(ingestion);
    TLChannelGroupDefault::DefaultIngestion defaultIngestion;
    defaultIngestion.ingestion = ingestion;
    defaultIngestion.setBaseURL = [ingestion](const std::string& baseUrl) { ingestion->setBaseURL(baseUrl); };
    defaultIngestion.setAppSecret = [ingestion](const std::optional<std::string>& appSecret) {
      ingestion->setAppSecret(appSecret);
    };
    auto queue = std::make_shared<TLStoppableQueue>(TLChannelGroupDefault::queueLabel());
    pipeline->queue = queue;
    return TLChannelGroupDefault::make(std::move(defaultIngestion), std::make_shared<TLLogDBStorage>(), queue,
                                       TLChannelEnvironment::shared());
  };
  dependencies.makeCommonCollectorChannelDelegate = [environment, pipeline](const foundation::Uuid& installId,
                                                                            const std::optional<std::string>& baseUrl) {
    auto collector = std::make_shared<TLCommonCollectorChannelDelegate>(installId, baseUrl, environment);
    pipeline->ingestions.push_back(collector->commonCollectorIngestion());
    return collector;
  };
  dependencies.stopPipeline = [pipeline] {
    // The ingestions first: their transfers in flight are cancelled and their threads end, so no
    // answer reaches a unit, and no unit's last holder is an ingestion's thread, from here on
    // (the batches stay in the store for the next launch). Then the queue runs what was posted
    // to it (logs enqueued so far are stored; what it would send is dropped) and its thread ends.
    for (const auto& weak : std::exchange(pipeline->ingestions, {})) {
      if (auto ingestion = weak.lock()) ingestion->shutdown();
    }
    if (auto queue = std::exchange(pipeline->queue, nullptr)) queue->stop();
  };
  return dependencies;
}

TLBeacon::TLBeacon(Dependencies dependencies) : dependencies_(std::move(dependencies)) {
  // The forwarder reads its switch when the client is first used and queues its trace line for
  // the first log level.
  TLAppDelegateForwarder::sharedInstance();
}

// ===== Singleton

std::shared_ptr<TLBeacon> TLBeacon::sharedInstance() {
  auto& holder = shared();
  std::lock_guard guard(holder.lock);
  if (!holder.instance) holder.instance = std::make_shared<TLBeacon>();
  return holder.instance;
}

void TLBeacon::shutdown() {
  std::shared_ptr<TLBeacon> client;
  {
    auto& holder = shared();
    std::lock_guard guard(holder.lock);
    client = std::move(holder.instance);
  }
  if (client) client->stop();
}

void TLBeacon::stop() {
  std::lock_guard operation(operationLock_);
  std::vector<std::shared_ptr<TLServiceCommon>> services;
  std::shared_ptr<TLChannelUnitProtocol> unit;
  std::shared_ptr<TLChannelGroupProtocol> group;
  std::shared_ptr<TLCommonCollectorChannelDelegate> collector;
  {
    std::lock_guard guard(fieldsLock_);
    services = std::move(services_);
    unit = std::move(channelUnit_);
    group = std::move(channelGroup_);
    collector = std::move(commonCollectorChannelDelegate_);
  }
  for (const auto& service : services) service->shutdown();
  services.clear();
  unit.reset();
  collector.reset();
  group.reset();
  if (dependencies_.stopPipeline) dependencies_.stopPipeline();
}

void TLBeacon::resetSharedInstance(std::shared_ptr<TLBeacon> replacement) {
  std::shared_ptr<TLBeacon> old;
  {
    auto& holder = shared();
    std::lock_guard guard(holder.lock);
    old = std::move(holder.instance);
    holder.instance = std::move(replacement);
  }
  // `old` goes outside the holder's lock: its channel group may take a while to wind down.
}

// ===== Secret strings and the disable list

std::optional<std::string> TLBeacon::appSecretFrom(std::string_view secretString) {
  return TLUtility::appSecretFrom(secretString);
}

std::optional<std::string> TLBeacon::transmissionTargetTokenFrom(std::string_view secretString) {
  return TLUtility::transmissionTargetTokenFrom(secretString);
}

bool TLBeacon::shouldDisable(std::string_view serviceName) {
  const char* value = std::getenv(std::string(kDisableVariable).c_str());
  if (!value) return false;
  std::string_view list(value);
  while (true) {
    auto comma = list.find(',');
    std::string_view part = trimmed(list.substr(0, comma));
    if (part == serviceName || part == "All") return true;
    if (comma == std::string_view::npos) return false;
    list.remove_prefix(comma + 1);
  }
}

// ===== Start

void TLBeacon::start(const std::optional<std::string>& secretString, const std::vector<TLServiceClass>& services) {
  sharedInstance()->startWithServices(secretString, services, true);
}

namespace {

// Once per process, at the first start: a net for a host that does not call shutdown() itself.
// It runs before the static objects built until the start are torn down (later ones go first).
void registerShutdownAtExit() {
  static std::atomic<bool> registered = false;
  if (!registered.exchange(true)) std::atexit([] { TLBeacon::shutdown(); });
}

}  // namespace

void TLBeacon::startWithServices(const std::vector<TLServiceClass>& services) {
  sharedInstance()->startWithServices(std::nullopt, services, true);
}

void TLBeacon::startFromLibraryWithServices(const std::vector<TLServiceClass>& services) {
  sharedInstance()->startWithServices(std::nullopt, services, false);
}

void TLBeacon::startService(const TLServiceClass& service) {
  auto client = sharedInstance();
  client->startService(service, client->appSecret(), client->defaultTransmissionTargetToken(), true, true);
}

void TLBeacon::configureWithAppSecret(const std::string& secretString) {
  sharedInstance()->configureWithAppSecret(appSecretFrom(secretString), transmissionTargetTokenFrom(secretString),
                                           true);
}

void TLBeacon::configure() { sharedInstance()->configureWithAppSecret(std::nullopt, std::nullopt, true); }

bool TLBeacon::isConfigured() {
  auto client = sharedInstance();
  return client->isSdkConfigured() && client->isConfiguredFromApplication();
}

void TLBeacon::startWithServices(const std::optional<std::string>& secretString,
                                 const std::vector<TLServiceClass>& services, bool fromApplication) {
  std::optional<std::string> appSecret;
  std::optional<std::string> token;
  if (secretString) {
    appSecret = appSecretFrom(*secretString);
    token = transmissionTargetTokenFrom(*secretString);
  }
  if (!configureWithAppSecret(appSecret, token, fromApplication)) return;
  registerShutdownAtExit();

  std::vector<TLServiceClass> sorted = sortServices(services);
  std::vector<std::string> classNames;
  for (const auto& service : sorted) classNames.push_back(service.className);
  TL_LOG_VERBOSE(kBeaconLogTag,
                 "Start services " << joined(classNames) << " from " << (fromApplication ? "an application" : "a library"));

  std::vector<std::string> startedNames;
  for (const auto& service : sorted) {
    if (startService(service, this->appSecret(), defaultTransmissionTargetToken(), false, fromApplication)) {
      startedNames.push_back(service.sharedInstance()->serviceName());
    }
  }
  TLAuthTokenContext::sharedInstance()->finishInitialize();
  if (!startedNames.empty()) {
    if (fromApplication) sendStartServiceLog(startedNames);
  } else {
    TL_LOG_DEBUG(kBeaconLogTag, "No services have been started.");
  }
}

std::vector<TLServiceClass> TLBeacon::sortServices(const std::vector<TLServiceClass>& services) {
  if (services.size() < 2) return services;
  struct Entry {
    TLServiceClass service;
    std::int64_t priority;
  };
  std::vector<Entry> entries;
  for (const auto& service : services) {
    auto instance = service.sharedInstance ? service.sharedInstance() : nullptr;
    // Something that is not a service goes last, where starting it reports the error.
    entries.push_back({service, instance ? instance->initializationPriority() : INT64_MIN});
  }
  // Stable: of two equal priorities the first listed starts first.
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.priority > b.priority; });
  std::vector<TLServiceClass> sorted;
  for (auto& entry : entries) sorted.push_back(std::move(entry.service));
  return sorted;
}

bool TLBeacon::configureWithAppSecret(const std::optional<std::string>& appSecret,
                                      const std::optional<std::string>& transmissionTargetToken, bool fromApplication) {
  std::lock_guard operation(operationLock_);
  if (fromApplication && configuredFromApplication_) {
    TL_LOG_ASSERT(kBeaconLogTag, "Beacon SDK has already been configured.");
    TL_LOG_ASSERT(kBeaconLogTag, "Beacon SDK configuration " << origin(fromApplication) << "failed.");
    return false;
  }
  bool firstSecret = false;
  {
    std::lock_guard guard(fieldsLock_);
    if (!appSecret_) {
      appSecret_ = appSecret;
      firstSecret = true;
    }
    if (!defaultTransmissionTargetToken_) defaultTransmissionTargetToken_ = transmissionTargetToken;
  }
  if (firstSecret) TLSessionContext::sharedInstance()->setSessionId(std::nullopt);
  TLUserIdContext::sharedInstance();

  initializeChannelGroup();
  applyPipelineEnabledState(isEnabledInstance());

  sdkConfigured_ = true;
  configuredFromApplication_ = configuredFromApplication_ || fromApplication;

  if (!TLLogger::isUserDefinedLogLevel() && TLUtility::currentAppEnvironment() == TLUtility::kAppEnvironmentOther) {
    setLogLevel(TLLogLevel::warning);
  }
  TL_LOG_INFO(kBeaconLogTag, "Beacon SDK configured " << origin(fromApplication) << "successfully.");
  return true;
}

void TLBeacon::initializeChannelGroup() {
  // The fields are written under their lock; the pipeline is built and called outside it, and
  // only the operation lock (held by the caller) keeps two configurations apart.
  std::lock_guard operation(operationLock_);
  const auto secret = appSecret();
  const auto url = logUrl();
  if (!commonCollectorChannelDelegate() && dependencies_.makeCommonCollectorChannelDelegate) {
    // With an app secret the log URL is the client's own endpoint's, not the collector's.
    auto made = dependencies_.makeCommonCollectorChannelDelegate(installIdInstance(), secret ? std::nullopt : url);
    std::lock_guard guard(fieldsLock_);
    commonCollectorChannelDelegate_ = std::move(made);
  }
  auto group = channelGroup();
  if (!group) {
    group = dependencies_.makeChannelGroup(installIdInstance(), url.value_or(std::string(kDefaultLogUrl)));
    // Before any unit, so that every unit gets its Common Collector companion.
    if (auto collector = commonCollectorChannelDelegate()) group->addDelegate(collector);
    std::optional<std::int64_t> requested;
    std::function<void(bool)> completion;
    {
      std::lock_guard guard(fieldsLock_);
      channelGroup_ = group;
      requested = requestedMaxStorageSizeInBytes_;
      completion = maxStorageSizeCompletionHandler_;
    }
    if (requested) group->setMaxStorageSize(*requested, completion);
  }
  group->setAppSecret(secret);
  if (!channelUnit()) {
    auto unit =
        group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration(std::string(kGroupId)));
    std::lock_guard guard(fieldsLock_);
    channelUnit_ = std::move(unit);
  }
}

bool TLBeacon::startService(const TLServiceClass& service, const std::optional<std::string>& appSecret,
                            const std::optional<std::string>& transmissionTargetToken, bool sendLog,
                            bool fromApplication) {
  std::lock_guard operation(operationLock_);
  auto instance = service.sharedInstance ? service.sharedInstance() : nullptr;
  if (!instance) {
    TL_LOG_ERROR(kBeaconLogTag, "Cannot start service " << (service.className.empty() ? "(null)" : service.className)
                                                        << ". Provided value is nil or invalid.");
    return false;
  }
  if (!sdkConfigured_ || (fromApplication && !configuredFromApplication_)) {
    TL_LOG_ERROR(kBeaconLogTag, "Beacon has not been configured so it couldn't start the service.");
    return false;
  }
  if (fromApplication && instance->isAvailable() && instance->isStartedFromApplication()) return false;
  if (instance->isAppSecretRequired() && (!appSecret || appSecret->empty())) {
    TL_LOG_ERROR(kBeaconLogTag, "Cannot start service " << service.className
                                                        << ". Beacon was started without app secret, but the service "
                                                           "requires it.");
    return false;
  }
  if (shouldDisable(instance->serviceName())) {
    TL_LOG_DEBUG(kBeaconLogTag,
                 "Environment variable to disable service has been set; not starting service " << service.className);
    return false;
  }
  // A service started before is re-configured, never started twice: a second start would add a
  // second unit of its group (a disabled service is started but not available).
  if (instance->isStarted()) {
    if (!fromApplication) return true;
    instance->updateConfigurationWithAppSecret(appSecret, transmissionTargetToken);
  } else {
    {
      std::lock_guard guard(fieldsLock_);
      services_.push_back(instance);
    }
    instance->startWithChannelGroup(channelGroup(), appSecret, transmissionTargetToken, fromApplication);
    if (instance->classIsEnabled() && !isEnabledInstance()) {
      enabledStateUpdating_ = true;
      instance->classSetEnabled(false);
      enabledStateUpdating_ = false;
    }
  }
  if (sendLog && fromApplication) sendStartServiceLog({instance->serviceName()});
  return true;
}

void TLBeacon::sendStartServiceLog(const std::vector<std::string>& serviceNames) {
  std::lock_guard operation(operationLock_);
  if (isEnabledInstance()) {
    auto log = std::make_shared<TLStartServiceLog>();
    log->services = serviceNames;
    if (auto unit = channelUnit()) unit->enqueueItem(log, kTLFlagsNormal);
  } else {
    std::lock_guard guard(fieldsLock_);
    if (!startedServiceNames_) startedServiceNames_.emplace();
    startedServiceNames_->insert(startedServiceNames_->end(), serviceNames.begin(), serviceNames.end());
  }
}

// ===== Switch

bool TLBeacon::isEnabled() {
  auto client = sharedInstance();
  return client->canBeUsed() && client->isEnabledInstance();
}

void TLBeacon::setEnabled(bool isEnabled) { sharedInstance()->setEnabledInstance(isEnabled); }

bool TLBeacon::isEnabledInstance() const { return storedBoolean(*dependencies_.settings, kIsEnabledKey, true); }

void TLBeacon::setEnabledInstance(bool isEnabled) {
  std::lock_guard operation(operationLock_);
  if (!canBeUsed()) return;
  enabledStateUpdating_ = true;
  if (isEnabledInstance() != isEnabled) {
    dependencies_.settings->setObject(foundation::PlistValue(isEnabled), kIsEnabledKey);
    applyPipelineEnabledState(isEnabled);
  }
  for (const auto& service : services()) service->classSetEnabled(isEnabled);
  enabledStateUpdating_ = false;
  TL_LOG_INFO(kBeaconLogTag, "Beacon SDK " << (isEnabled ? "enabled" : "disabled") << ".");
}

void TLBeacon::applyPipelineEnabledState(bool isEnabled) {
  if (!isEnabled) {
    TLDeviceTracker::sharedInstance()->clearDevices();
    TLSessionContext::sharedInstance()->clearSessionHistoryAndKeepCurrentSession(false);
    TLUserIdContext::sharedInstance()->clearUserIdHistory();
  }
  std::lock_guard operation(operationLock_);
  if (auto group = channelGroup()) group->setEnabled(isEnabled, true);
  if (!isEnabled) return;
  std::optional<std::vector<std::string>> names;
  {
    std::lock_guard guard(fieldsLock_);
    names = std::exchange(startedServiceNames_, std::nullopt);
  }
  if (names) sendStartServiceLog(*names);
}

bool TLBeacon::canBeUsed() {
  if (sdkConfigured_) return true;
  TL_LOG_ERROR(kBeaconLogTag, "Beacon SDK hasn't been configured. You need to call [TLBeacon "
                              "start:YOUR_APP_SECRET withServices:LIST_OF_SERVICES] first.");
  return false;
}

// ===== Install id, log URL, storage cap

std::optional<foundation::Uuid> TLBeacon::installId() { return sharedInstance()->installIdInstance(); }

foundation::Uuid TLBeacon::installIdInstance() {
  // Under the fields' lock alone: services ask for it from their own work (formatting a crash
  // report) while the client's switch may be calling into them.
  std::lock_guard guard(fieldsLock_);
  if (!installId_) {
    if (auto stored = dependencies_.settings->objectForKey(kInstallIdKey); stored && stored->string()) {
      installId_ = foundation::Uuid::parse(*stored->string());
    }
    if (!installId_) {
      installId_ = foundation::Uuid::random();
      dependencies_.settings->setObject(foundation::PlistValue(installId_->string()), kInstallIdKey);
    }
  }
  return *installId_;
}

void TLBeacon::setLogUrl(const std::string& logUrl) { sharedInstance()->setLogUrlInstance(logUrl); }

void TLBeacon::setLogUrlInstance(const std::string& logUrl) {
  std::lock_guard operation(operationLock_);
  {
    std::lock_guard guard(fieldsLock_);
    logUrl_ = logUrl;
  }
  auto group = channelGroup();
  if (!group) return;  // used when the group is made
  if (appSecret()) {
    TL_LOG_INFO(kBeaconLogTag, "The log url of Beacon endpoint was changed to " << logUrl);
    group->setLogUrl(logUrl);
  } else {
    TL_LOG_INFO(kBeaconLogTag, "The log url of Common Collector endpoint was changed to " << logUrl);
    if (auto collector = commonCollectorChannelDelegate()) collector->setLogUrl(logUrl);
  }
}

void TLBeacon::setMaxStorageSize(std::int64_t sizeInBytes, std::function<void(bool)> completionHandler) {
  sharedInstance()->setMaxStorageSizeInstance(sizeInBytes, std::move(completionHandler));
}

void TLBeacon::setMaxStorageSizeInstance(std::int64_t sizeInBytes, std::function<void(bool)> completionHandler) {
  if (sizeInBytes < kMinimumStorageSize) {
    if (completionHandler) completionHandler(false);
    TL_LOG_WARNING(kBeaconLogTag, "Cannot set storage size to " << sizeInBytes << " bytes, minimum value is "
                                                                << kMinimumStorageSize << " bytes");
    return;
  }
  enum class Refusal { none, secondCall, configured };
  Refusal refusal = Refusal::none;
  {
    std::lock_guard operation(operationLock_);
    std::shared_ptr<TLChannelGroupProtocol> group;
    {
      std::lock_guard guard(fieldsLock_);
      if (setMaxStorageSizeHasBeenCalled_) {
        refusal = Refusal::secondCall;
      } else {
        setMaxStorageSizeHasBeenCalled_ = true;
        if (configuredFromApplication_) {
          refusal = Refusal::configured;
        } else {
          requestedMaxStorageSizeInBytes_ = sizeInBytes;
          maxStorageSizeCompletionHandler_ = completionHandler;
          group = channelGroup_;
        }
      }
    }
    if (group) group->setMaxStorageSize(sizeInBytes, completionHandler);
  }
  if (refusal == Refusal::secondCall) {
    TL_LOG_WARNING(kBeaconLogTag, "setMaxStorageSize:completionHandler: may only be called once per app launch");
  } else if (refusal == Refusal::configured) {
    TL_LOG_WARNING(kBeaconLogTag, "Unable to set storage size after the application has configured Beacon");
  }
  const bool failed = refusal != Refusal::none;
  if (failed && completionHandler) completionHandler(false);
}

// ===== User id, custom properties

void TLBeacon::setUserId(const std::optional<std::string>& userId) { sharedInstance()->setUserIdInstance(userId); }

void TLBeacon::setUserIdInstance(const std::optional<std::string>& userId) {
  if (!configuredFromApplication_) {
    TL_LOG_ERROR(kBeaconLogTag, "Beacon must be configured from application, libraries cannot call setUserId.");
    return;
  }
  auto secret = appSecret();
  auto token = defaultTransmissionTargetToken();
  if (!secret && !token) {
    TL_LOG_ERROR(kBeaconLogTag, "Beacon must be configured with a secret from application to call setUserId.");
    return;
  }
  if (userId) {
    if (secret && !TLUserIdContext::isUserIdValidForBeacon(userId)) return;
    if (token && !TLUserIdContext::isUserIdValidForCommonCollector(userId)) return;
  }
  TLUserIdContext::sharedInstance()->setUserId(userId);
}

void TLBeacon::setCustomProperties(const TLCustomProperties& customProperties) {
  sharedInstance()->setCustomPropertiesInstance(customProperties);
}

void TLBeacon::setCustomPropertiesInstance(const TLCustomProperties& customProperties) {
  auto properties = customProperties.propertiesImmutableCopy();
  if (properties.empty()) {
    TL_LOG_ERROR(kBeaconLogTag, "Custom properties may not be null or empty");
    return;
  }
  if (!canBeUsed()) return;
  auto log = std::make_shared<TLCustomPropertiesLog>();
  log->properties = std::move(properties);
  if (auto unit = channelUnit()) unit->enqueueItem(log, kTLFlagsNormal);
}

// ===== Logging, context pass-throughs, environment

TLLogLevel TLBeacon::logLevel() { return TLLogger::currentLogLevel(); }

void TLBeacon::setLogLevel(TLLogLevel level) {
  TLLogger::setCurrentLogLevel(level);
  TLDelegateForwarder::flushTraceBuffer();
}

void TLBeacon::setLogHandler(TLLogHandler handler) { TLLogger::setLogHandler(std::move(handler)); }

void TLBeacon::setWrapperSdk(std::shared_ptr<const TLWrapperSdk> wrapperSdk) {
  TLDeviceTracker::sharedInstance()->setWrapperSdk(std::move(wrapperSdk));
}

void TLBeacon::setCountryCode(std::optional<std::string> countryCode) {
  TLDeviceTracker::sharedInstance()->setCountryCode(std::move(countryCode));
}

bool TLBeacon::isAppDelegateForwarderEnabled() { return TLAppDelegateForwarder::sharedInstance()->isEnabled(); }

bool TLBeacon::isRunningInBeaconTestCloud() {
  const char* value = std::getenv(std::string(kTestCloudVariable).c_str());
  return value && std::string_view(value) == "1";
}

bool TLBeacon::isDebuggerAttached() {
  static const bool attached = [] {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (status && std::getline(status, line)) {
      constexpr std::string_view kField = "TracerPid:";
      if (line.rfind(kField, 0) != 0) continue;
      std::istringstream value(line.substr(kField.size()));
      long pid = 0;
      if (value >> pid) return pid != 0;
      break;
    }
    std::fputs("[TLCrashes] ERROR: Checking for a running debugger via sysctl() failed.\n", stderr);
    return false;
  }();
  return attached;
}

std::string TLBeacon::sdkVersion() { return TLUtility::sdkVersion(); }

// ===== Fields

std::optional<std::string> TLBeacon::appSecret() const {
  std::lock_guard guard(fieldsLock_);
  return appSecret_;
}

std::optional<std::string> TLBeacon::defaultTransmissionTargetToken() const {
  std::lock_guard guard(fieldsLock_);
  return defaultTransmissionTargetToken_;
}

std::shared_ptr<TLChannelGroupProtocol> TLBeacon::channelGroup() const {
  std::lock_guard guard(fieldsLock_);
  return channelGroup_;
}

std::shared_ptr<TLChannelUnitProtocol> TLBeacon::channelUnit() const {
  std::lock_guard guard(fieldsLock_);
  return channelUnit_;
}

std::shared_ptr<TLCommonCollectorChannelDelegate> TLBeacon::commonCollectorChannelDelegate() const {
  std::lock_guard guard(fieldsLock_);
  return commonCollectorChannelDelegate_;
}

std::vector<std::shared_ptr<TLServiceCommon>> TLBeacon::services() const {
  std::lock_guard guard(fieldsLock_);
  return services_;
}

std::optional<std::string> TLBeacon::logUrl() const {
  std::lock_guard guard(fieldsLock_);
  return logUrl_;
}

}  // namespace ml::beacon
