#pragma once
// The shell's telemetry needs met by the telemetry client: the start at launch and the usage
// events.
//
// BeaconTelemetryStarter starts TLBeacon with the services the application provides. The shell
// asks for its services by kind (crash reporting, analytics) in its order; a kind without a
// provided service class is skipped with a debug line. Before the client starts, the log URL
// is taken from the environment variable MARROWLANE_LOG_URL when it is set and not empty
// (tests and private deployments), else the client's default endpoint stays.
//
// AnalyticsUsageEvents hands each usage event to TLAnalytics (dropped there while analytics is
// not started or is disabled).
//
// Threads: start and setTransmissionInterval run on the main thread at launch; trackEvent from
// any thread.
#include <map>
#include <string>
#include <vector>

#include "beacon/core/Service/TLServiceClass.h"
#include "shell/core/Telemetry.h"

namespace ml::app {

inline constexpr const char* kLogUrlVariable = "MARROWLANE_LOG_URL";

class BeaconTelemetryStarter final : public shell::TelemetryStarter {
 public:
  // The service class that stands for a kind the shell names.
  void provide(shell::TelemetryService service, beacon::TLServiceClass serviceClass);
  // Whether the user turned the debug logs on (the telemetry client then logs verbosely).
  void setDebugLogs(bool debugLogs) { debugLogs_ = debugLogs; }

  void setTransmissionInterval(unsigned seconds) override;
  void start(const std::string& appSecret, const std::vector<shell::TelemetryService>& services) override;

 private:
  std::map<shell::TelemetryService, beacon::TLServiceClass> provided_;
  bool debugLogs_ = false;
};

class AnalyticsUsageEvents final : public shell::UsageEvents {
 public:
  void trackEvent(const std::string& name, const std::map<std::string, std::string>& properties) override;
};

}  // namespace ml::app
