// The telemetry client as the application runs it (production pipeline, analytics service), for
// the tests of a damaged store. Usage:
//   StoreChild <log url> <tag> <count>
// tracks <count> events "store.event" with the properties "tag" = <tag> and "index" = 0, 1, ...,
// prints "enqueued", and then runs until SIGTERM, on which it returns from main (the normal exit,
// static teardown included). Lives in the XDG folders of its environment.
#include <csignal>
#include <cstdio>
#include <string>

#include "beacon/analytics/TLAnalytics.h"
#include "beacon/core/Service/TLBeacon.h"

int main(int argc, char** argv) {
  using namespace ml::beacon;
  if (argc < 4) return 2;
  // Blocked before the client starts its threads, so they inherit the mask and only sigwait
  // below takes the signal.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  TLBeacon::setLogLevel(TLLogLevel::warning);
  TLBeacon::setLogUrl(argv[1]);
  TLBeacon::start(std::string("5c2e9a417d3b4f08b6e12a9d04c7f3e5"), {TLServiceClass::of<TLAnalytics>()});
  const std::string tag = argv[2];
  const int count = std::stoi(argv[3]);
  for (int i = 0; i < count; ++i) {
    TLAnalytics::trackEvent("store.event", TLStringProperties{{"tag", tag}, {"index", std::to_string(i)}});
  }
  std::puts("enqueued");
  std::fflush(stdout);
  int received = 0;
  sigwait(&stop, &received);
  return 0;
}
