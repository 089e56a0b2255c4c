// A small program that enables the crash reporter and then crashes in the way its arguments
// name, for the crash matrix tests: `crashcapture_helper <crash> <bsd|mach>`. Built without debug
// information, so `addr2line -f` names its frames from the symbol table, as the reporter does.
// Exit status 2 means bad arguments; 90 is a failed enabling (see CrashScenarios.h).
//
// Crashes during teardown: "static-destructor" faults in the destructor of the program's first
// static object (so the last one exit destroys), "thread-after-main" has a thread fault while
// main has returned and exit waits in that destructor, "exit-while-faulting" has a thread call
// exit and the main thread fault while exit waits there, and "atexit" faults in an atexit
// handler; "exit-after-report" has a thread fault while main has returned, and exit go on to its
// end as soon as the report is written (the post-crash callback ran). "segv-on-go" says "ready" on standard output, then faults as soon as the file named by
// CRASHCAPTURE_GO exists (two helpers crash at the same instant). "forked-child-first" forks a
// child that faults (it says "forked <pid>" first), waits for it to end and faults itself;
// "vfork-child-first" does the same with a vfork child (which shares its memory), after children
// made by posix_spawn, vfork and fork that exec a program that exits 0.
// "overflow-thread-teardown" has a thread overflow its stack in the destructor of a pthread key,
// after its thread_local objects are gone.
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
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

// What the last destructor of exit does.
enum class Teardown : int { kNothing, kFault, kLetTheLateThreadFault, kFinishOnceReported };
std::atomic<Teardown> g_teardown{Teardown::kNothing};
std::atomic<bool> g_late_fault{false};
std::atomic<bool> g_reported{false};

// The post-crash callback: the report is written (the other threads are still stopped).
void noteReported(siginfo_t*, ucontext_t*, void*) { g_reported.store(true); }

// The program's first static object, and so the last one exit destroys: by then everything that
// exit destroys at all is gone.
struct LastDestroyed {
  LastDestroyed() = default;
  LastDestroyed(const LastDestroyed&) = delete;
  LastDestroyed& operator=(const LastDestroyed&) = delete;
  ~LastDestroyed() {
    switch (g_teardown.load()) {
      case Teardown::kNothing:
        return;
      case Teardown::kFault:
        crashcapture_null_read();
        return;
      case Teardown::kLetTheLateThreadFault:
        g_late_fault.store(true);
        for (;;) ::pause();  // the other thread's crash ends the process
      case Teardown::kFinishOnceReported:
        g_late_fault.store(true);
        while (!g_reported.load()) {
        }
        return;  // exit ends the process with status 0 unless the crash ended it first
    }
  }
};
__attribute__((init_priority(101))) LastDestroyed g_last_destroyed;

// Faults once exit has destroyed everything but the last object.
void faultLate() {
  while (!g_late_fault.load()) std::this_thread::yield();
  crashcapture_null_read();
}

void faultAtExit() { crashcapture_null_read(); }

// A pthread key's destructor: runs as the thread ends, after its thread_local destructors.
extern "C" void overflowOnThreadEnd(void*) { overflow(); }

[[noreturn]] void faultOnGo() {
  const char* go = std::getenv("CRASHCAPTURE_GO");
  if (go == nullptr) std::exit(2);
  std::printf("ready\n");
  std::fflush(stdout);
  while (::access(go, F_OK) != 0) {
  }
  crashcapture_null_read();
  std::exit(3);
}

// Children that exec a program that exits 0 at once, made the ways programs start one another.
void spawnExecutingChildren() {
  char program[] = "/bin/true";
  char* const arguments[] = {program, nullptr};
  pid_t children[3] = {-1, -1, -1};
  ::posix_spawn(&children[0], program, nullptr, nullptr, arguments, environ);
  if ((children[1] = ::vfork()) == 0) {
    ::execv(program, arguments);
    ::_exit(127);
  }
  if ((children[2] = ::fork()) == 0) {
    ::execv(program, arguments);
    ::_exit(127);
  }
  for (pid_t child : children) {
    if (child > 0) ::waitpid(child, nullptr, 0);
  }
}

// A vfork child faults before it could exec; its parent faults once it ended.
[[noreturn]] void vforkChildFirst() {
  spawnExecutingChildren();
  const pid_t child = ::vfork();
  if (child == 0) crashcapture_null_read();
  std::printf("forked %d\n", static_cast<int>(child));
  std::fflush(stdout);
  if (child > 0) ::waitpid(child, nullptr, 0);
  crashcapture_null_read();
  std::exit(3);
}

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
  if (crash == "exit-after-report") reporter.setCrashCallbacks({0, nullptr, noteReported});
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
  if (crash == "segv-on-go") faultOnGo();
  if (crash == "forked-child-first") {
    const pid_t child = ::fork();
    if (child == 0) crashcapture_null_read();
    std::printf("forked %d\n", static_cast<int>(child));
    std::fflush(stdout);
    int status = 0;
    if (child > 0) ::waitpid(child, &status, 0);
    crashcapture_null_read();
  }
  if (crash == "vfork-child-first") vforkChildFirst();
  if (crash == "overflow-thread-teardown") {
    std::thread([] {
      static pthread_key_t key;
      ::pthread_key_create(&key, overflowOnThreadEnd);
      ::pthread_setspecific(key, &key);
    }).join();
  }
  if (crash == "static-destructor") {
    g_teardown.store(Teardown::kFault);
    return 0;
  }
  if (crash == "thread-after-main") {
    g_teardown.store(Teardown::kLetTheLateThreadFault);
    std::thread(faultLate).detach();
    return 0;
  }
  if (crash == "exit-after-report") {
    g_teardown.store(Teardown::kFinishOnceReported);
    std::thread(faultLate).detach();
    return 0;
  }
  if (crash == "exit-while-faulting") {
    g_teardown.store(Teardown::kLetTheLateThreadFault);
    std::thread([] { std::exit(0); }).detach();
    faultLate();
  }
  if (crash == "atexit") {
    std::atexit(faultAtExit);
    return 0;
  }
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
