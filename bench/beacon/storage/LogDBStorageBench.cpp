// Cost of the log database as its caller sees it: saving 10,000 logs of about 1 KB one by one
// (every save applies the size cap and inserts, as the store does), with the throughput and the
// median and 99th-percentile time of one save on the caller's thread; the same for 3,000 saves
// into a store below its 10 MiB cap and into one already at it (every save there makes room by
// evicting older logs), whose medians and 99th percentiles should stay within twice each other,
// with the number of logs each evicting save deletes (the new log's size and at most one page);
// the same at a 1 MiB cap; and loading then deleting batches of 50.
//
// Runs in a temporary data folder of its own (XDG_DATA_HOME, XDG_CONFIG_HOME), removed after.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "beacon/core/Storage/TLLogDBStorage.h"
#include "beacon/core/TLAbstractLog.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLLogger.h"

namespace {

using namespace ml::beacon;
namespace fs = std::filesystem;

constexpr int kLogCount = 10'000;
constexpr std::size_t kLogBytes = 1024;  // Base64 text of the archive, as stored

class TemporaryDataFolder {
 public:
  TemporaryDataFolder() {
    std::string pattern = (fs::temp_directory_path() / "marrowlane-storagebench-XXXXXX").string();
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

std::shared_ptr<TLDevice> device() {
  auto device = std::make_shared<TLDevice>();
  device->sdkName = "beacon.linux";
  device->sdkVersion = "1.0.0";
  device->osName = "Debian GNU/Linux";
  device->osVersion = "12";
  device->locale = "en_US";
  device->timeZoneOffset = 60;
  device->appVersion = "0.1.0";
  device->appBuild = "0.1.0";
  return device;
}

// A log whose stored text is about kLogBytes long.
std::shared_ptr<TLAbstractLog> makeLog(int index) {
  auto log = std::make_shared<TLAbstractLog>();
  log->setType("event");
  log->setTimestamp(std::chrono::system_clock::now());
  log->setDevice(device());
  std::string sid = "session-" + std::to_string(index) + "-";
  log->setSid(sid);
  std::size_t stored = (TLKeyedArchiver::archivedData(*log)->size() + 2) / 3 * 4;
  if (stored < kLogBytes) log->setSid(sid + std::string((kLogBytes - stored) * 3 / 4, 'x'));
  return log;
}

double percentile(std::vector<double> sorted, double fraction) {
  std::sort(sorted.begin(), sorted.end());
  std::size_t index = std::min(sorted.size() - 1, static_cast<std::size_t>(fraction * static_cast<double>(sorted.size())));
  return sorted[index];
}

void BM_SaveLogs(benchmark::State& state) {
  TLLogger::setLogHandler({});  // the store's verbose lines are not part of the cost measured
  std::vector<std::shared_ptr<TLAbstractLog>> logs;
  for (int i = 0; i < kLogCount; ++i) logs.push_back(makeLog(i));
  std::vector<double> micros;
  double seconds = 0;
  for (auto _ : state) {
    TemporaryDataFolder folder;
    TLLogDBStorage storage;
    micros.clear();
    auto begin = std::chrono::steady_clock::now();
    for (const auto& log : logs) {
      auto start = std::chrono::steady_clock::now();
      bool stored = storage.saveLog(log, "Analytics", 1);
      micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
      benchmark::DoNotOptimize(stored);
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    state.counters["stored"] = static_cast<double>(storage.countLogs());
  }
  state.counters["logs_per_second"] = static_cast<double>(kLogCount) * static_cast<double>(state.iterations()) / seconds;
  state.counters["median_us"] = percentile(micros, 0.5);
  state.counters["p99_us"] = percentile(micros, 0.99);
  TLLogger::resetToDefaults();
}
BENCHMARK(BM_SaveLogs)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// 3,000 saves timed one by one, into a store left below its cap (at_cap 0) or first filled to it
// (at_cap 1); the cap is cap_mib MiB (10 is the default).
void BM_SaveAroundTheCap(benchmark::State& state) {
  const bool atCap = state.range(0) == 1;
  const std::int64_t cap = state.range(1) * 1024 * 1024;
  constexpr int kTimed = 3000;
  TLLogger::setLogHandler({});
  std::vector<std::shared_ptr<TLAbstractLog>> logs;
  for (int i = 0; i < kTimed; ++i) logs.push_back(makeLog(i));
  std::vector<double> micros;
  std::uint64_t evicted = 0, evictingSaves = 0;
  std::size_t fewest = 0, most = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TemporaryDataFolder folder;
    TLLogDBStorage storage;
    storage.setMaxStorageSize(cap, {});
    storage.setEvictionHandler([&](const std::string&, const TLStorage::Logs& gone) {
      evicted += gone.size();
      ++evictingSaves;  // one group: one call per evicting save
      fewest = fewest == 0 ? gone.size() : std::min(fewest, gone.size());
      most = std::max(most, gone.size());
    });
    if (atCap) {
      // Filled until a save has to evict.
      for (int i = 0; evicted == 0 && i < 100'000; ++i) storage.saveLog(logs[static_cast<std::size_t>(i % kTimed)], "Analytics", 1);
    }
    evicted = evictingSaves = 0;
    fewest = most = 0;
    micros.clear();
    state.ResumeTiming();
    for (const auto& log : logs) {
      auto start = std::chrono::steady_clock::now();
      bool stored = storage.saveLog(log, "Analytics", 1);
      micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
      benchmark::DoNotOptimize(stored);
    }
    state.counters["stored"] = static_cast<double>(storage.countLogs());
  }
  state.counters["evicted"] = static_cast<double>(evicted);
  state.counters["evicting_saves"] = static_cast<double>(evictingSaves);
  state.counters["logs_per_eviction"] = evictingSaves ? static_cast<double>(evicted) / static_cast<double>(evictingSaves) : 0;
  state.counters["fewest_per_eviction"] = static_cast<double>(fewest);
  state.counters["most_per_eviction"] = static_cast<double>(most);
  state.counters["median_us"] = percentile(micros, 0.5);
  state.counters["p90_us"] = percentile(micros, 0.9);
  state.counters["p98_us"] = percentile(micros, 0.98);
  state.counters["p99_us"] = percentile(micros, 0.99);
  state.counters["max_us"] = percentile(micros, 1.0);
  TLLogger::resetToDefaults();
}
BENCHMARK(BM_SaveAroundTheCap)
    ->ArgNames({"at_cap", "cap_mib"})
    ->Args({0, 10})
    ->Args({1, 10})
    ->Args({1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_LoadAndDeleteBatches(benchmark::State& state) {
  TLLogger::setLogHandler({});
  TemporaryDataFolder folder;
  TLLogDBStorage storage;
  for (int i = 0; i < 2000; ++i) storage.saveLog(makeLog(i), "Analytics", 1);
  std::int64_t loaded = 0;
  for (auto _ : state) {
    std::optional<std::string> batchId;
    storage.loadLogsWithGroupId("Analytics", 50, std::nullopt, std::nullopt, std::nullopt,
                                [&](const TLStorage::Logs& logs, const std::optional<std::string>& id) {
                                  loaded += static_cast<std::int64_t>(logs.size());
                                  batchId = id;
                                });
    if (!batchId) {
      state.SkipWithError("store ran out of logs");
      break;
    }
    storage.deleteLogsWithBatchId(*batchId, "Analytics");
  }
  state.counters["logs_per_second"] = benchmark::Counter(static_cast<double>(loaded), benchmark::Counter::kIsRate);
  TLLogger::resetToDefaults();
}
BENCHMARK(BM_LoadAndDeleteBatches)->Iterations(30)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
