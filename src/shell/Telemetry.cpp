#include "shell/Telemetry.h"

#include "platform/logging/Log.h"

namespace ml::shell {

namespace {
const char* serviceName(TelemetryService service) {
  return service == TelemetryService::crashes ? "crashes" : "analytics";
}
}  // namespace

void LoggingTelemetryStarter::setTransmissionInterval(unsigned seconds) {
  LOG_DEBUG("no telemetry client installed; transmission interval not set. seconds=" << seconds);
}

void LoggingTelemetryStarter::start(const std::string&, const std::vector<TelemetryService>& services) {
  std::string names;
  for (auto service : services) names += std::string(names.empty() ? "" : ", ") + serviceName(service);
  LOG_INFO("no telemetry client installed; telemetry not started. services=[" << names << "]");
}

void LoggingUsageEvents::trackEvent(const std::string& name, const std::map<std::string, std::string>& properties) {
  std::string text;
  for (const auto& [key, value] : properties) text += (text.empty() ? "" : ", ") + key + "=" + value;
  LOG_DEBUG("no telemetry client installed; usage event not sent. name=" << name << " properties=[" << text << "]");
}

}  // namespace ml::shell
