// The telemetry client as the application runs it, for the store damage tests:
//   StoreChild <log url> <tag> <count>
// tracks <count> events "store.event" with the properties "tag" and "index" (0, 1, ...), then
// runs until SIGTERM and returns from main (a normal exit). Lives in its environment's XDG folders.
// With STORE_CHILD_NO_LOCKS set, every open-file-description lock fails with ENOLCK, as on a file
// system without them.
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <string>

#include "beacon/analytics/TLAnalytics.h"
#include "beacon/core/Service/TLBeacon.h"

// Takes the place of the system's fcntl for the client linked into this program; everything but
// the locks goes to the system call.
extern "C" int fcntl(int fd, int command, ...) {
  va_list arguments;
  va_start(arguments, command);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  static const bool noLocks = std::getenv("STORE_CHILD_NO_LOCKS") != nullptr;
  if (noLocks && (command == F_OFD_SETLK || command == F_OFD_SETLKW)) {
    errno = ENOLCK;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_fcntl, fd, command, argument));
}

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
