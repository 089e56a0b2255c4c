// The telemetry client as the application runs it, for the store damage tests:
//   StoreChild <log url> <tag> <count>
// tracks <count> events "store.event" with the properties "tag" and "index" (0, 1, ...), then
// runs until SIGTERM and returns from main (a normal exit). Lives in its environment's XDG folders.
#include <csignal>
#include <string>

#include "beacon/analytics/TLAnalytics.h"
#include "beacon/core/Service/TLBeacon.h"

int main(int argc, char** argv) {
  using namespace ml::beacon;
  if (argc < 4) return 2;
  sigset_t stop;  // blocked before the client's threads start, so only sigwait takes it
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  TLBeacon::setLogLevel(TLLogLevel::warning);
  TLBeacon::setLogUrl(argv[1]);
  TLBeacon::start(std::string("5c2e9a417d3b4f08b6e12a9d04c7f3e5"), {TLServiceClass::of<TLAnalytics>()});
  for (int i = 0; i < std::stoi(argv[3]); ++i) {
    TLAnalytics::trackEvent("store.event", TLStringProperties{{"tag", argv[2]}, {"index", std::to_string(i)}});
  }
  int received = 0;
  sigwait(&stop, &received);
  return 0;
}
