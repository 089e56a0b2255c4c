// A small program that enables the crash reporter and then crashes in the way its arguments
// name, for the crash matrix tests: `crashcapture_helper <crash> <bsd|mach>`. Built without debug
// information, so `addr2line -f` names its frames from the symbol table, as the reporter does.
// Exit status 2 means bad arguments; 90 is a failed enabling (see CrashScenarios.h).
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <thread>

#include "../CrashScenarios.h"

#ifdef ML_WITH_QT
#include <QThread>
#endif

using namespace ml::crash;
using namespace ml::crash::test;

namespace {

constexpr size_t kParkedThreads = 8;

// Sanitizer runtimes install fault handlers before main; the reporter's must be the only ones.
void resetSignals() {
  for (int signo : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT}) {
    struct sigaction fallback{};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signo, &fallback, nullptr);
  }
}

void overflow() { crashcapture_overflow(0); }

#ifdef ML_WITH_QT
class OverflowingThread : public QThread {
 protected:
  void run() override { overflow(); }
};
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string_view crash = argv[1];
  const std::string_view mode = argv[2];
  if (mode != "bsd" && mode != "mach") return 2;
  resetSignals();

  // A thread that runs before the reporter is enabled: enabling has to give it a stack.
  std::atomic<bool> go{false};
  std::thread early;
  if (crash == "overflow-early-thread") {
    early = std::thread([&go] {
      while (!go.load()) std::this_thread::yield();
      overflow();
    });
  }

  TLCrashReporter reporter = makeReporter(mode == "bsd" ? TLCrashReporterSignalHandlerTypeBSD
                                                        : TLCrashReporterSignalHandlerTypeMach);
  enableOrExit(reporter);

  if (crash == "segv") crashcapture_null_read();
  if (crash == "bus") crashcapture_bus_error();
  if (crash == "fpe") crashcapture_divide(1, 0);
  if (crash == "ill") crashcapture_illegal_instruction();
  if (crash == "trap") crashcapture_breakpoint();
  if (crash == "abort") crashcapture_abort();
  if (crash == "null-call") crashcapture_null_call();
  if (crash == "together") faultTogether(2);
  if (crash == "parked") {
    startBlockedThreads(kParkedThreads);
    crashcapture_null_read();
  }
  if (crash == "overflow-early-thread") {
    go.store(true);
    early.join();
  }
  if (crash == "overflow-thread") std::thread(overflow).join();
#ifdef ML_WITH_QT
  if (crash == "overflow-qthread") {
    OverflowingThread thread;
    thread.start();
    thread.wait();
  }
#endif
  std::fprintf(stderr, "no crash for '%s'\n", argv[1]);
  return 3;
}
