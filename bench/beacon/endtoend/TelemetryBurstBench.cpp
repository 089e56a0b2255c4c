// A burst of 10,000 trackEvent calls through the production-configured client (the log store in a
// temporary folder, the app ingestion posting to a loopback server answering 200), measured end to
// end:
//   calls_per_second   at the caller: the call hands the log over and never waits for the disk;
//   stored_per_second  logs through the channel's queue into the store (filter, archive, insert);
//   sent_per_second    logs the server accepted and the store let go, from the first call;
//   save_p50_us, save_p99_us  the time between two consecutive stores on the channel's queue, that
//                      is what one save costs there.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "beacon/analytics/Model/TLEventLog.h"
#include "beacon/analytics/TLAnalytics.h"
#include "beacon/analytics/TLAnalyticsDelegate.h"
#include "beacon/core/Channel/TLChannelDelegate.h"
#include "beacon/core/Channel/TLChannelGroupProtocol.h"
#include "beacon/core/Channel/TLChannelUnitProtocol.h"
#include "beacon/core/Service/TLBeacon.h"
#include "beacon/core/TLLogger.h"
#include "support/LocalHttpServer.h"

namespace {

using namespace ml::beacon;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kEvents = 10'000;

class TemporaryFolders {
 public:
  TemporaryFolders() {
    std::string pattern = (fs::temp_directory_path() / "marrowlane-burstbench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    root_ = pattern;
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
      fs::create_directories(root_ / name);
      setenv(name, (root_ / name).c_str(), 1);
    }
  }
  ~TemporaryFolders() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

 private:
  fs::path root_;
};

// Times each log of the analytics group leaving the channel's queue into the store.
class StoreWatch final : public TLChannelDelegate {
 public:
  void channelDidCompleteEnqueueingLog(TLChannelProtocol& channel, const Log& log, const std::string&) override {
    auto* unit = dynamic_cast<TLChannelUnitProtocol*>(&channel);
    if (!unit || unit->configuration().groupId != "Analytics" || !dynamic_cast<TLEventLog*>(log.get())) return;
    std::lock_guard guard(mutex);
    times.push_back(Clock::now());
  }
  std::mutex mutex;
  std::vector<Clock::time_point> times;
};

class SendWatch final : public TLAnalyticsDelegate {
 public:
  void analyticsDidSucceedSendingEventLog(TLAnalytics&, const std::shared_ptr<TLEventLog>&) override {
    if (sent.fetch_add(1) + 1 == kEvents) last.store(Clock::now().time_since_epoch().count());
  }
  std::atomic<int> sent{0};
  std::atomic<Clock::rep> last{0};
};

double percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<std::size_t>(fraction * static_cast<double>(values.size())))];
}

void BM_TrackEventBurstEndToEnd(benchmark::State& state) {
  TLLogger::setLogHandler({});
  for (auto _ : state) {
    TemporaryFolders folders;
    ml::test::LocalHttpServer server;
    TLBeacon::resetSharedInstance();
    TLAnalytics::resetSharedInstance();
    auto sends = std::make_shared<SendWatch>();
    TLAnalytics::setDelegate(sends);
    TLBeacon::setLogUrl(server.baseUrl());
    TLBeacon::start(std::string("5c2e9a417d3b4f08b6e12a9d04c7f3e5"), {TLServiceClass::of<TLAnalytics>()});
    auto stores = std::make_shared<StoreWatch>();
    TLBeacon::sharedInstance()->channelGroup()->addDelegate(stores);

    const auto begin = Clock::now();
    for (int i = 0; i < kEvents; ++i) TLAnalytics::trackEvent("bench.event", TLStringProperties{{"index", std::to_string(i)}});
    const auto called = Clock::now();

    const auto limit = begin + std::chrono::minutes(10);
    while (sends->sent.load() < kEvents && Clock::now() < limit) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (sends->sent.load() < kEvents) {
      state.SkipWithError("not every event was sent within the limit");
      break;
    }
    std::vector<Clock::time_point> times;
    {
      std::lock_guard guard(stores->mutex);
      times = stores->times;
    }
    const Clock::time_point sentAt{Clock::duration(sends->last.load())};
    auto seconds = [&](Clock::time_point end) { return std::chrono::duration<double>(end - begin).count(); };
    std::vector<double> gaps;
    for (std::size_t i = 1; i < times.size(); ++i) {
      gaps.push_back(std::chrono::duration<double, std::micro>(times[i] - times[i - 1]).count());
    }
    state.SetIterationTime(seconds(sentAt));
    state.counters["calls_per_second"] = kEvents / std::chrono::duration<double>(called - begin).count();
    state.counters["stored_per_second"] = static_cast<double>(times.size()) / seconds(times.back());
    state.counters["sent_per_second"] = kEvents / seconds(sentAt);
    state.counters["save_p50_us"] = percentile(gaps, 0.5);
    state.counters["save_p99_us"] = percentile(gaps, 0.99);
    state.counters["requests"] = static_cast<double>(server.requestCount());

    TLBeacon::resetSharedInstance();
    TLAnalytics::resetSharedInstance();
  }
  TLLogger::resetToDefaults();
}
BENCHMARK(BM_TrackEventBurstEndToEnd)->Iterations(1)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
