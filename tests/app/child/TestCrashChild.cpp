// A process that starts the telemetry client the way the application does (the application's
// secret given as the argument, the crashes then the analytics service, the log URL from
// MARROWLANE_LOG_URL, the client's own storage in the XDG folders of its environment) and then
// asks the crashes service for its test crash. The application offers no command for that crash,
// so the tests reach it here; the application's next launch finds the report in the same folders.
//   TestCrashChild <app secret>
#include <cstdlib>
#include <string>

#include "beacon/analytics/TLAnalytics.h"
#include "beacon/core/Service/TLBeacon.h"
#include "beacon/crashes/TLCrashes.h"

int main(int argc, char** argv) {
  using namespace ml::beacon;
  if (argc < 2) return 2;
  if (const char* logUrl = std::getenv("MARROWLANE_LOG_URL"); logUrl && *logUrl) TLBeacon::setLogUrl(logUrl);
  TLBeacon::start(std::string(argv[1]), {TLServiceClass::of<TLCrashes>(), TLServiceClass::of<TLAnalytics>()});
  TLCrashes::generateTestCrash();
  return 3;  // reached only when the test crash did not happen
}
