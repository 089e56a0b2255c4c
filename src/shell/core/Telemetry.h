#pragma once
// What the shell asks of the telemetry client: its start at launch and usage events. The
// application's composition root fills these in over the telemetry client; without them (tests,
// a build without telemetry) nothing is started or sent.
//
// Thread safety: every call may come from any thread (usage events come from the global store's
// reducer) and returns at once.
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ml::shell {

enum class TelemetryService { crashes, analytics };

class TelemetryStarter {
 public:
  virtual ~TelemetryStarter() = default;
  // Seconds between analytics transmissions; honoured only before the analytics service starts.
  virtual void setTransmissionInterval(unsigned seconds) = 0;
  // Configures the client with the app secret and starts the services in the given order.
  virtual void start(const std::string& appSecret, const std::vector<TelemetryService>& services) = 0;
};

class UsageEvents {
 public:
  virtual ~UsageEvents() = default;
  virtual void trackEvent(const std::string& name, const std::map<std::string, std::string>& properties) = 0;
};

// The application's app secret for the telemetry client.
inline constexpr const char* kTelemetryAppSecret = "5c2e9a417d3b4f08b6e12a9d04c7f3e5";
// Seconds between analytics transmissions.
inline constexpr unsigned kAnalyticsTransmissionInterval = 30;

}  // namespace ml::shell
