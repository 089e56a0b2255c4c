// Cost of what the sending side does per batch: the request of the client's endpoint (batch JSON
// and gzip), the Common Collector request (one JSON line per log), the conversion of a log into
// its common-schema form, gzip alone, and a query that waits for the ingestion's owner queue.
// Batches hold 50 logs, the channels' default limit.
#include <benchmark/benchmark.h>

#include "beacon/core/CommonSchema/TLCommonSchemaConversion.h"
#include "beacon/core/Ingestion/TLBeaconIngestion.h"
#include "beacon/core/Ingestion/TLCommonCollectorIngestion.h"
#include "beacon/core/Ingestion/TLCompression.h"
#include "beacon/core/TLLogContainer.h"
#include "beacon/core/TLLogWithProperties.h"
#include "beacon/core/TLLogger.h"
#include "platform/dispatch/ManualClock.h"
#include "platform/net/ManualNetworkMonitor.h"

namespace {

using namespace ml;
using namespace ml::beacon;

std::shared_ptr<TLDevice> device() {
  auto d = std::make_shared<TLDevice>();
  d->sdkName = "beacon.linux";
  d->sdkVersion = "1.0.0";
  d->osName = "Debian GNU/Linux";
  d->osVersion = "12";
  d->osBuild = "6.1.0-18-amd64";
  d->locale = "en_US";
  d->timeZoneOffset = 60;
  d->appVersion = "0.1.0";
  d->appBuild = "1";
  d->appNamespace = "org.marrowlane.Marrowlane";
  return d;
}

std::shared_ptr<TLLogWithProperties> eventLog(int i) {
  auto log = std::make_shared<TLLogWithProperties>();
  log->setType("event");
  log->setTimestamp(std::chrono::system_clock::now());
  log->setSid("3C1E0A2B-9D4F-4C6A-8E1B-2F3A4B5C6D7E");
  log->setDevice(device());
  log->properties = std::map<std::string, std::string>{{"window", "info"}, {"index", std::to_string(i)},
                                                       {"path", "/home/user/Documents/report-" + std::to_string(i)}};
  return log;
}

TLHttpIngestionEnvironment offlineEnvironment(dispatch::Clock& clock) {
  TLHttpIngestionEnvironment env;
  env.clock = &clock;
  return env;
}

void BM_BeaconRequestOf50Logs(benchmark::State& state) {
  TLLogger::setCurrentLogLevel(TLLogLevel::none);
  dispatch::ManualClock clock;
  auto ingestion = TLBeaconIngestion::create(
      "https://in.example.org", foundation::Uuid::random(), offlineEnvironment(clock),
      TLReachability::reachabilityWithMonitor(std::make_shared<net::ManualNetworkMonitor>()));
  ingestion->setAppSecret("0123456789abcdef0123456789abcdef");
  std::vector<std::shared_ptr<TLAbstractLog>> logs;
  for (int i = 0; i < 50; ++i) logs.push_back(eventLog(i));
  auto container = std::make_shared<TLLogContainer>("batch", logs);
  std::size_t json = container->serializeLog()->size();
  std::size_t body = 0;
  for (auto _ : state) {
    auto request = ingestion->createRequest(container, std::nullopt, std::string("token"));
    body = request->body.size();
    benchmark::DoNotOptimize(request);
  }
  state.counters["json_bytes"] = static_cast<double>(json);
  state.counters["body_bytes"] = static_cast<double>(body);
}
BENCHMARK(BM_BeaconRequestOf50Logs);

void BM_CommonCollectorRequestOf50Logs(benchmark::State& state) {
  TLLogger::setCurrentLogLevel(TLLogLevel::none);
  dispatch::ManualClock clock;
  auto ingestion = TLCommonCollectorIngestion::create(
      "https://collector.example.org", offlineEnvironment(clock),
      TLReachability::reachabilityWithMonitor(std::make_shared<net::ManualNetworkMonitor>()));
  std::vector<std::shared_ptr<TLAbstractLog>> logs;
  for (int i = 0; i < 50; ++i) {
    auto csLog = TLCommonSchemaConversion::commonSchemaLogForTargetToken(*eventLog(i), "ikey-secret", 1);
    csLog->name = "window.opened";
    logs.push_back(csLog);
  }
  auto container = std::make_shared<TLLogContainer>("batch", logs);
  for (auto _ : state) benchmark::DoNotOptimize(ingestion->createRequest(container, std::nullopt, std::nullopt));
}
BENCHMARK(BM_CommonCollectorRequestOf50Logs);

// A query (what a channel unit asks before storing each log) waits for the ingestion's owner
// queue: one hand-over there and back.
void BM_ReadyToSendQueryFromAnotherThread(benchmark::State& state) {
  TLLogger::setCurrentLogLevel(TLLogLevel::none);
  dispatch::ManualClock clock;
  auto ingestion = TLBeaconIngestion::create(
      "https://in.example.org", foundation::Uuid::random(), offlineEnvironment(clock),
      TLReachability::reachabilityWithMonitor(std::make_shared<net::ManualNetworkMonitor>()));
  ingestion->setAppSecret("0123456789abcdef0123456789abcdef");
  for (auto _ : state) benchmark::DoNotOptimize(ingestion->isReadyToSend());
}
BENCHMARK(BM_ReadyToSendQueryFromAnotherThread);

void BM_CommonSchemaConversion(benchmark::State& state) {
  auto log = eventLog(1);
  log->addTransmissionTargetToken("ikey-secret");
  for (auto _ : state) benchmark::DoNotOptimize(TLCommonSchemaConversion::toCommonSchemaLogsWithFlags(*log, 1));
}
BENCHMARK(BM_CommonSchemaConversion);

void BM_Gzip(benchmark::State& state) {
  std::string text;
  while (text.size() < static_cast<std::size_t>(state.range(0))) text += "{\"type\":\"event\",\"properties\":{\"k\":\"v\"}},";
  std::vector<std::uint8_t> data(text.begin(), text.end());
  for (auto _ : state) benchmark::DoNotOptimize(TLCompression::compressData(data));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
}
BENCHMARK(BM_Gzip)->Arg(1400)->Arg(64 * 1024);

}  // namespace

BENCHMARK_MAIN();
