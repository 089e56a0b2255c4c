#include "app/BeaconTelemetry.h"

#include <cstdlib>

#include "beacon/analytics/TLAnalytics.h"
#include "beacon/core/Service/TLBeacon.h"
#include "platform/logging/Log.h"

namespace ml::app {

void BeaconTelemetryStarter::provide(shell::TelemetryService service, beacon::TLServiceClass serviceClass) {
  provided_[service] = std::move(serviceClass);
}

void BeaconTelemetryStarter::setTransmissionInterval(unsigned seconds) {
  beacon::TLAnalytics::setTransmissionInterval(seconds);
}

void BeaconTelemetryStarter::start(const std::string& appSecret, const std::vector<shell::TelemetryService>& services) {
  if (const char* logUrl = std::getenv(kLogUrlVariable); logUrl && *logUrl) {
    LOG_INFO("telemetry log url from the environment. url=" << logUrl);
    beacon::TLBeacon::setLogUrl(logUrl);
  }
  // With the debug logs on, the telemetry client's own lines go to standard error from verbose
  // up (secrets masked); otherwise it keeps its default of warnings and errors.
  if (debugLogs_) beacon::TLBeacon::setLogLevel(beacon::TLLogLevel::verbose);
  std::vector<beacon::TLServiceClass> classes;
  for (auto service : services) {
    auto found = provided_.find(service);
    if (found == provided_.end()) {
      LOG_DEBUG("telemetry service not part of this build; not started. service="
                << (service == shell::TelemetryService::crashes ? "crashes" : "analytics"));
      continue;
    }
    classes.push_back(found->second);
  }
  beacon::TLBeacon::start(appSecret, classes);
}

void AnalyticsUsageEvents::trackEvent(const std::string& name, const std::map<std::string, std::string>& properties) {
  beacon::TLAnalytics::trackEvent(name, properties);
}

}  // namespace ml::app
