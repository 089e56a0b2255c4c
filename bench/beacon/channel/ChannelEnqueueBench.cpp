// What enqueueing a telemetry log costs the caller: the time enqueueItem spends on the caller's
// thread (completing the log, the prepare callbacks of two delegates, the hand-over to the
// channel group's queue), as throughput and as the median and 99th-percentile time of one call.
// The group's queue stores the logs in the real log database meanwhile, and batches go to an
// ingestion that answers 200 at once; the time the queue needs to catch up is reported apart.
//
// Runs in a temporary data folder of its own (XDG folders), removed after.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "beacon/core/Channel/TLChannelDelegate.h"
#include "beacon/core/Channel/TLChannelEnvironment.h"
#include "beacon/core/Channel/TLChannelGroupDefault.h"
#include "beacon/core/Channel/TLIngestionProtocol.h"
#include "beacon/core/Channel/TLChannelUnitProtocol.h"
#include "beacon/core/Context/TLAuthTokenContext.h"
#include "beacon/core/Context/TLDeviceTracker.h"
#include "beacon/core/Storage/TLLogDBStorage.h"
#include "beacon/core/TLLogContainer.h"
#include "beacon/core/TLLogWithProperties.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUserDefaults.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/SerialQueue.h"

namespace {

using namespace ml::beacon;
namespace fs = std::filesystem;

class TemporaryDataFolder {
 public:
  TemporaryDataFolder() {
    std::string pattern = (fs::temp_directory_path() / "marrowlane-channelbench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    root_ = pattern;
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
      fs::create_directories(root_ / name);
      setenv(name, (root_ / name).c_str(), 1);
    }
  }
  ~TemporaryDataFolder() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

 private:
  fs::path root_;
};

// Accepts every batch at once.
class AcceptingIngestion final : public TLIngestionProtocol {
 public:
  void sendAsync(const std::shared_ptr<TLLogContainer>& container, const std::optional<std::string>&,
                 TLIngestionCompletion completion) override {
    completion(container->batchId, 200, {}, std::nullopt);
  }
  void addDelegate(const std::shared_ptr<TLIngestionDelegate>&) override {}
  void removeDelegate(const std::shared_ptr<TLIngestionDelegate>&) override {}
  void pause() override {}
  void resume() override {}
  bool isPaused() const override { return false; }
  bool isReadyToSend() const override { return true; }
  void setEnabled(bool, bool) override {}
};

// Stands in for the session tracker: stamps every log on the caller's thread.
class StampingDelegate final : public TLChannelDelegate {
 public:
  void channelPrepareLog(TLChannelProtocol&, const Log& log) override { log->setSid("8D8A5F2C-6D58-4D55-9C0B-2F7A4F0E9B31"); }
};

std::shared_ptr<TLLogWithProperties> makeLog(int i) {
  auto log = std::make_shared<TLLogWithProperties>();
  log->setType("event");
  log->properties = std::map<std::string, std::string>{{"name", "window-opened"}, {"index", std::to_string(i)}};
  return log;
}

void BM_EnqueueOnTheCallersThread(benchmark::State& state) {
  TemporaryDataFolder folder;
  TLLogger::setCurrentLogLevel(TLLogLevel::warning);
  auto queue = std::make_shared<ml::dispatch::SerialQueue>(TLChannelGroupDefault::queueLabel());
  auto group = TLChannelGroupDefault::make(
      {std::make_shared<AcceptingIngestion>(), {}, {}}, std::make_shared<TLLogDBStorage>(), queue,
      {&ml::dispatch::Clock::system(), &TLUserDefaults::shared(), TLAuthTokenContext::sharedInstance(),
       TLDeviceTracker::sharedInstance()});
  auto stamping = std::make_shared<StampingDelegate>();
  auto second = std::make_shared<TLChannelDelegate>();
  group->addDelegate(stamping);
  group->addDelegate(second);
  auto unit = group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration("Bench"));

  std::vector<double> callMicros;
  int i = 0;
  for (auto _ : state) {
    auto log = makeLog(i++);
    auto start = std::chrono::steady_clock::now();
    unit->enqueueItem(log, kTLFlagsNormal);
    callMicros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  auto drainStart = std::chrono::steady_clock::now();
  queue->sync([] {});
  double drainSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - drainStart).count();

  std::sort(callMicros.begin(), callMicros.end());
  state.SetItemsProcessed(state.iterations());
  if (!callMicros.empty()) {
    state.counters["call_median_us"] = callMicros[callMicros.size() / 2];
    state.counters["call_p99_us"] = callMicros[callMicros.size() * 99 / 100];
  }
  state.counters["queue_catch_up_s"] = drainSeconds;
  TLAuthTokenContext::resetSharedInstance();
  TLDeviceTracker::resetSharedInstance();
}
BENCHMARK(BM_EnqueueOnTheCallersThread)->Iterations(2000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
