// The program the crashes service's end-to-end tests run as child processes.
//
//   crashing_child crash <segv|cxx-main|cxx-thread|test-crash> <log url> [bsd]
//     starts the client with the crashes service (the exception server, or signal handlers with
//     "bsd"), leaves one log in flight on a stalled channel, prints "throw-site <start> <size>"
//     (hex, of the function that throws) and dies of the chosen crash.
//   crashing_child collect <log url> [refuse|crash-only]
//     starts the client with the crashes service against the log url and waits until the crash
//     log and the log that was in flight (not with "crash-only") have been delivered and no
//     stored crash file is left, then prints "sent" and exits 0 (3 when that took too long).
//     With "refuse" the service's channel drops every log instead: it waits three seconds and
//     prints "stored <number of stored crash files>".
// Warnings and errors of the telemetry logger go to standard error as "<tag>: <message>".
#include <dlfcn.h>
#include <link.h>
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
#include <thread>

#include "beacon/core/Channel/TLChannelDelegate.h"
#include "beacon/core/Channel/TLChannelGroupDefault.h"
#include "beacon/core/Channel/TLChannelGroupProtocol.h"
#include "beacon/core/Channel/TLChannelUnitProtocol.h"
#include "beacon/core/Service/TLBeacon.h"
#include "beacon/core/Ingestion/TLBeaconIngestion.h"
#include "beacon/core/TLLogWithProperties.h"
#include "beacon/core/TLUserDefaults.h"
#include "beacon/crashes/Model/TLAppleErrorLog.h"
#include "beacon/crashes/TLCrashes.h"
#include "platform/dispatch/Queue.h"

namespace {

using namespace ml::beacon;

constexpr const char* kSecret = "0b7e6c1d2a954f38a1c2d3e4f5a6b7c8";

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
    if (dynamic_cast<const TLAppleErrorLog*>(log.get())) crashSent.store(true);
    auto* withProperties = dynamic_cast<const TLLogWithProperties*>(log.get());
    if (withProperties && withProperties->properties && withProperties->properties->count("name") &&
        withProperties->properties->at("name") == "in-flight") {
      bufferedSent.store(true);
    }
  }
  std::atomic<bool> crashSent{false};
  std::atomic<bool> bufferedSent{false};
};

int collect(bool refuse, bool crashOnly) {
  auto watcher = std::make_shared<DeliveryWatcher>();
  TLBeacon::sharedInstance()->channelGroup()->addDelegate(watcher);
  auto crashes = TLCrashes::sharedInstance();
  if (refuse) {
    crashes->channelUnit()->setEnabled(false, true);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    std::printf("stored %zu\n", crashes->crashFiles().size());
    return 0;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    if (watcher->crashSent.load() && (crashOnly || watcher->bufferedSent.load()) && crashes->crashFiles().empty()) {
      std::printf("sent\n");
      return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::printf("timed out: crash %d, buffered %d, stored %zu\n", watcher->crashSent.load(), watcher->bufferedSent.load(),
              crashes->crashFiles().size());
  return 3;
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
    status = crash(argv[2]);
  } else if (mode == "collect") {
    startClient(argv[2]);
    const std::string option = argc >= 4 ? argv[3] : "";
    status = collect(option == "refuse", option == "crash-only");
  }
  std::fflush(stdout);
  std::fflush(stderr);
  // The client's threads stay up to the end: no destructors of its singletons under them.
  std::_Exit(status);
}
