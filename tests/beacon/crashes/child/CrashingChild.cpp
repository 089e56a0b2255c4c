// The program the crashes service's end-to-end tests run as child processes.
//
//   crashing_child crash <segv|cxx-main|cxx-thread|test-crash> <log url> [bsd]
//     starts the client with the crashes service (the exception server, or signal handlers with
//     "bsd"), leaves one log in flight on a stalled channel, prints "throw-site <start> <size>"
//     (hex, of the function that throws) and dies of the chosen crash. With CRASHING_CHILD_CRASH_WHEN
//     set to a path it prints "ready" first and crashes only once that path exists (so that
//     several children sharing one data folder crash in an order, or at once, as a test chooses).
//     Its user id is "crashing-user", and it has a session id of its own.
//   crashing_child collect <log url> [refuse|crash-only|idle] [no-file-rights]
//     starts the client with the crashes service against the log url and waits until the crash
//     log and the log that was in flight (not with "crash-only") have been delivered and no
//     stored crash file is left, then prints "sent" and exits 0 (3 when that took too long).
//     With CRASHING_CHILD_EXPECT_CRASHES=<n> it waits for n crash logs delivered, not one.
//     With "refuse" the service's channel drops every log instead: it waits three seconds and
//     prints "stored <number of stored crash files>"; "idle" waits the same and prints the same
//     without refusing. "no-file-rights" drops the capabilities that let root ignore file modes,
//     so a read-only folder is read-only for the child whoever runs it.
//   crashing_child exit <log url> [unanswered]
//     starts the client from its standard dependencies, logs through a handler that writes to a
//     function-local static sink, leaves the channel busy with many logs, shuts the client down
//     and returns from main: it aborts if a line is logged after the shutdown returned (a thread
//     of the client still at work), or reaches the sink after static teardown destroyed it.
//     Without "unanswered" it first waits (up to 30 s, else exits 3) until the server has taken
//     those logs, then fills every batch slot again right before the shutdown, so the ingestion
//     is busy as the client stops; with it the logs stay in flight. It holds a unit throughout.
// Warnings and errors of the telemetry logger go to standard error as "<tag>: <message>".
#include <dlfcn.h>
#include <link.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include "beacon/core/Channel/TLChannelDelegate.h"
#include "beacon/core/Channel/TLChannelGroupDefault.h"
#include "beacon/core/Channel/TLChannelGroupProtocol.h"
#include "beacon/core/Channel/TLChannelUnitProtocol.h"
#include "beacon/core/Context/TLSessionContext.h"
#include "beacon/core/Service/TLBeacon.h"
#include "beacon/core/Ingestion/TLBeaconIngestion.h"
#include "beacon/core/TLLogWithProperties.h"
#include "beacon/core/TLUserDefaults.h"
#include "beacon/crashes/Model/TLAppleErrorLog.h"
#include "beacon/crashes/TLCrashes.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/Uuid.h"

namespace {

using namespace ml::beacon;

constexpr const char* kSecret = "0b7e6c1d2a954f38a1c2d3e4f5a6b7c8";
constexpr std::string_view kCrashingUser = "crashing-user";  // set by every crashing launch

extern "C" __attribute__((noinline, used, visibility("default"))) void crashing_child_throw_site() {
  throw std::runtime_error("thrown by the crashing child");
}

void printThrowSite() {
  Dl_info info{};
  void* entry = nullptr;
  void* address = reinterpret_cast<void*>(&crashing_child_throw_site);
  if (dladdr1(address, &info, &entry, RTLD_DL_SYMENT) != 0 && entry) {
    const auto* symbol = static_cast<const ElfW(Sym)*>(entry);
    std::printf("throw-site %zx %zx\n", reinterpret_cast<std::size_t>(address), static_cast<std::size_t>(symbol->st_size));
  }
  std::fflush(stdout);
}

// CRASHING_CHILD_VERBOSE=1 prints every line (for looking into a failure by hand).
void logToStandardError() {
  static const bool verbose = std::getenv("CRASHING_CHILD_VERBOSE") != nullptr;
  TLBeacon::setLogLevel(verbose ? TLLogLevel::verbose : TLLogLevel::warning);
  TLBeacon::setLogHandler([](const TLLogMessageProvider& message, TLLogLevel level, std::string_view tag, const char*,
                             const char*, std::uint32_t) {
    if (!verbose && static_cast<int>(level) < static_cast<int>(TLLogLevel::warning)) return;
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(tag.size()), tag.data(), message().c_str());
  });
}

// The client over a channel group that sends through the client's own ingestion to `logUrl`.
void startClient(const std::string& logUrl) {
  TLBeacon::Dependencies dependencies;
  dependencies.settings = &TLUserDefaults::shared();
  dependencies.makeChannelGroup = [](const ml::foundation::Uuid& installId, const std::string& url) {
    auto ingestion = TLBeaconIngestion::create(url, installId);
    return std::shared_ptr<TLChannelGroupProtocol>(TLChannelGroupDefault::make(TLChannelGroupDefault::DefaultIngestion{
        ingestion, [ingestion](const std::string& base) { ingestion->setBaseURL(base); },
        [ingestion](const std::optional<std::string>& secret) { ingestion->setAppSecret(secret); }}));
  };
  TLBeacon::resetSharedInstance(std::make_shared<TLBeacon>(std::move(dependencies)));
  TLBeacon::setLogUrl(logUrl);
  TLBeacon::start(kSecret, {TLServiceClass::of<TLCrashes>()});
}

int crash(const std::string& kind) {
  // The channel's queue stalls, so the next log stays prepared but unstored: in the crash log
  // buffer when the process dies.
  auto unit = TLBeacon::sharedInstance()->channelUnit();
  std::atomic<bool> stalled{false};
  unit->logsDispatchQueue().async([&stalled] {
    stalled.store(true);
    for (;;) ::pause();
  });
  while (!stalled.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  auto log = std::make_shared<TLLogWithProperties>();
  log->setType("event");
  log->properties = std::map<std::string, std::string>{{"name", "in-flight"}};
  unit->enqueueItem(log, 1);

  printThrowSite();
  if (const char* when = std::getenv("CRASHING_CHILD_CRASH_WHEN"); when && *when) {
    std::printf("ready\n");
    std::fflush(stdout);
    for (int waited = 0; waited < 60000 && ::access(when, F_OK) != 0; ++waited) ::usleep(1000);
  }
  if (kind == "segv") {
    volatile std::uintptr_t address = 16;
    *reinterpret_cast<volatile int*>(address) = 1;
  } else if (kind == "cxx-main") {
    crashing_child_throw_site();
  } else if (kind == "cxx-thread") {
    std::thread thread(crashing_child_throw_site);
    thread.join();
  } else if (kind == "test-crash") {
    TLCrashes::generateTestCrash();
  }
  return 2;
}

// Hears what the client delivered.
class DeliveryWatcher final : public TLChannelDelegate {
 public:
  void channelDidSucceedSendingLog(TLChannelProtocol&, const Log& log) override {
    if (dynamic_cast<const TLAppleErrorLog*>(log.get())) crashesSent.fetch_add(1);
    auto* withProperties = dynamic_cast<const TLLogWithProperties*>(log.get());
    if (withProperties && withProperties->properties && withProperties->properties->count("name")) {
      const std::string& name = withProperties->properties->at("name");
      if (name == "in-flight") bufferedSent.store(true);
      if (name.starts_with("at-exit-")) atExitSent.fetch_add(1);
    }
  }
  std::atomic<int> crashesSent{0};
  std::atomic<bool> bufferedSent{false};
  std::atomic<int> atExitSent{0};
};

// Root's rights to ignore file modes and owners, dropped from the effective set.
void dropFileRights() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (::syscall(SYS_capget, &header, data) != 0) return;
  for (unsigned capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
    data[capability / 32].effective &= ~(1u << (capability % 32));
  }
  ::syscall(SYS_capset, &header, data);
}

int collect(bool refuse, bool crashOnly, bool idle) {
  auto watcher = std::make_shared<DeliveryWatcher>();
  TLBeacon::sharedInstance()->channelGroup()->addDelegate(watcher);
  auto crashes = TLCrashes::sharedInstance();
  if (refuse || idle) {
    if (refuse) crashes->channelUnit()->setEnabled(false, true);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    std::printf("stored %zu\n", crashes->crashFiles().size());
    return 0;
  }
  const char* expected = std::getenv("CRASHING_CHILD_EXPECT_CRASHES");
  const int crashLogs = expected ? std::atoi(expected) : 1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    if (watcher->crashesSent.load() >= crashLogs && (crashOnly || watcher->bufferedSent.load()) &&
        crashes->crashFiles().empty()) {
      // The channel deletes a sent batch right after telling its delegates: a task queued behind
      // that answer runs once the rows are gone, so none is sent again by the next launch.
      std::atomic<bool> drained{false};
      crashes->channelUnit()->logsDispatchQueue().async([&drained] { drained.store(true); });
      while (!drained.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::printf("sent\n");
      return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::printf("timed out: crashes %d, buffered %d, stored %zu\n", watcher->crashesSent.load(), watcher->bufferedSent.load(),
              crashes->crashFiles().size());
  return 3;
}

// The sink of the exit mode's handler: a function-local static, as an application's log is.
// Closed once the client's shutdown has returned: from then on no thread of the client may log.
struct Sink {
  std::atomic<bool> alive{true};
  std::atomic<bool> closed{false};
  std::atomic<long> lines{0};
  ~Sink() { alive.store(false); }
};

[[noreturn]] void lateLine(const char* what, const std::string& text) {
  const std::string line = std::string(what) + ": " + text + "\n";
  (void)!::write(2, line.data(), line.size());
  std::abort();
}

Sink& sink() {
  static Sink instance;
  return instance;
}

int exitWithWorkInFlight(const std::string& logUrl, bool answered) {
  sink();  // built before the client starts, so destroyed after anything the client registers
  TLBeacon::setLogLevel(TLLogLevel::verbose);
  TLBeacon::setLogHandler([](const TLLogMessageProvider& message, TLLogLevel, std::string_view, const char*,
                             const char*, std::uint32_t) {
    Sink& target = sink();
    if (!target.alive.load()) lateLine("a telemetry line reached the log sink after it was destroyed", message());
    if (target.closed.load()) lateLine("a telemetry line was logged after the client's shutdown returned", message());
    (void)message();
    target.lines.fetch_add(1);
  });
  TLBeacon::setLogUrl(logUrl);
  TLBeacon::start(kSecret, {TLServiceClass::of<TLCrashes>()});
  auto client = TLBeacon::sharedInstance();
  auto unit = client->channelUnit();
  auto watcher = std::make_shared<DeliveryWatcher>();
  client->channelGroup()->addDelegate(watcher);
  int enqueued = 0;
  auto enqueue = [&](std::uint64_t count) {
    for (std::uint64_t i = 0; i < count; ++i, ++enqueued) {
      auto log = std::make_shared<TLLogWithProperties>();
      log->setType("event");
      log->properties = std::map<std::string, std::string>{{"name", "at-exit-" + std::to_string(enqueued)}};
      unit->enqueueItem(log, 1);
    }
  };
  enqueue(300);
  if (answered) {
    // Once the server has taken all of them every batch slot is free, and as many full batches
    // more go to the ingestion at once, in about the last tasks the channel's queue runs before
    // the shutdown: the ingestion is at work on them, or on their answers, meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (watcher->atExitSent.load() < 300 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (watcher->atExitSent.load() < 300) {
      std::printf("timed out: %d sent\n", watcher->atExitSent.load());
      return 3;
    }
    std::atomic<bool> drained{false};  // the sent batches leave the unit's list after their listeners
    unit->logsDispatchQueue().async([&drained] { drained.store(true); });
    while (!drained.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    enqueue(unit->configuration().batchSizeLimit * unit->configuration().pendingBatchesLimit);
  }
  // The program keeps the unit it logged through past the shutdown, as an application may keep
  // a part of the client: the shutdown ends the work of what it still holds too.
  client.reset();
  // As the application does when its run loop ends: the client stops before main returns.
  TLBeacon::shutdown();
  sink().closed.store(true);
  std::printf("leaving\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 64;
  const std::string mode = argv[1];
  // Sanitizer builds install fault handlers before main: the crash reporter's are to be the only
  // ones, and the process is to end with the signal itself.
  for (int signal : {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGTRAP}) std::signal(signal, SIG_DFL);
  logToStandardError();
  int status = 64;
  if (mode == "crash" && argc >= 4) {
    if (argc >= 5 && std::strcmp(argv[4], "bsd") == 0) TLCrashes::disableMachExceptionHandler();
    startClient(argv[3]);
    // The launch that sends the crash tells its session and user from the histories.
    TLBeacon::setUserId(std::string(kCrashingUser));
    TLSessionContext::sharedInstance()->setSessionId(ml::foundation::Uuid::random().string());
    status = crash(argv[2]);
  } else if (mode == "collect") {
    const std::string option = argc >= 4 ? argv[3] : "";
    if (argc >= 5 && std::strcmp(argv[4], "no-file-rights") == 0) dropFileRights();
    startClient(argv[2]);
    status = collect(option == "refuse", option == "crash-only", option == "idle");
  } else if (mode == "exit") {
    // Ends as a program does: static objects are torn down after main while the client's
    // threads would still be at work, unless the client stops them first.
    status = exitWithWorkInFlight(argv[2], !(argc >= 4 && std::strcmp(argv[3], "unanswered") == 0));
    std::fflush(stdout);
    return status;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  // The client's threads stay up to the end: no destructors of its singletons under them.
  std::_Exit(status);
}
