// A process that runs the telemetry client as the application does (production pipeline, the
// analytics service, the app secret), for the tests that kill it. Usage:
//   TelemetryBurstChild burst <log url> <count>   tracks <count> events "burst.event" with the
//                                                 property "index" = 0, 1, ..., then waits
//   TelemetryBurstChild send <log url>            only starts the client (stored logs go out)
// and then waits to be killed. Lives in the XDG folders of its environment.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "beacon/analytics/TLAnalytics.h"
#include "beacon/core/Service/TLBeacon.h"

int main(int argc, char** argv) {
  using namespace ml::beacon;
  if (argc < 3) return 2;
  const std::string mode = argv[1];
  TLBeacon::setLogUrl(argv[2]);
  TLBeacon::start(std::string("5c2e9a417d3b4f08b6e12a9d04c7f3e5"), {TLServiceClass::of<TLAnalytics>()});
  if (mode == "burst" && argc > 3) {
    const int count = std::stoi(argv[3]);
    for (int i = 0; i < count; ++i) TLAnalytics::trackEvent("burst.event", TLStringProperties{{"index", std::to_string(i)}});
    std::puts("enqueued");
    std::fflush(stdout);
  }
  while (true) ::pause();
}
