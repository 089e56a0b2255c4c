// Costs on the telemetry path: a batch's JSON body, storing and reading back one log as a keyed
// archive, encrypting and decrypting a target token, and validating an event's properties.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "beacon/core/TLCustomPropertiesLog.h"
#include "beacon/core/TLEncrypter.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLLogContainer.h"
#include "beacon/core/TLLogWithProperties.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUtility.h"
#include "platform/dispatch/ManualClock.h"

namespace {

using namespace ml::beacon;

std::shared_ptr<TLDevice> device() {
  auto d = std::make_shared<TLDevice>();
  d->sdkName = "beacon.macos";
  d->sdkVersion = "2.3.0";
  d->osName = "Linux";
  d->osVersion = "6.1";
  d->locale = "en_US";
  d->timeZoneOffset = 60;
  d->appVersion = "0.1.0";
  d->appBuild = "1";
  d->model = "Desktop";
  return d;
}

std::shared_ptr<TLLogWithProperties> eventLog(std::shared_ptr<const TLDevice> d) {
  auto log = std::make_shared<TLLogWithProperties>();
  log->setType("event");
  log->setTimestamp(std::chrono::system_clock::now());
  log->setSid("6F9619FF-8B86-D011-B42D-00C04FC964FF");
  log->setDevice(std::move(d));
  log->properties = std::map<std::string, std::string>{{"window", "info"}, {"path", "/home/user/file.txt"}, {"count", "3"}};
  return log;
}

void BM_BatchJsonOf50Logs(benchmark::State& state) {
  auto d = device();
  TLLogContainer container;
  container.batchId = "batch";
  for (int i = 0; i < 50; ++i) container.logs.push_back(eventLog(d));
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto body = container.serializeLog();
    bytes = body->size();
    benchmark::DoNotOptimize(body);
  }
  state.counters["body_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_BatchJsonOf50Logs);

void BM_ArchiveAndUnarchiveOneLog(benchmark::State& state) {
  auto log = eventLog(device());
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto data = TLKeyedArchiver::archivedData(*log);
    bytes = data->size();
    auto decoded = TLKeyedUnarchiver::unarchivedObject(*data);
    benchmark::DoNotOptimize(decoded);
  }
  state.counters["archive_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ArchiveAndUnarchiveOneLog);

void BM_EncryptAndDecryptToken(benchmark::State& state) {
  char pattern[] = "/tmp/ml-beacon-bench-XXXXXX";
  if (!mkdtemp(pattern)) {
    state.SkipWithError("no temporary folder");
    return;
  }
  std::filesystem::path root = pattern;
  setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
  TLLogger::setCurrentLogLevel(TLLogLevel::none);
  {
    ml::dispatch::ManualClock clock;
    ml::foundation::Preferences preferences(root / "prefs.plist");
    TLUserDefaults settings(preferences, clock);
    TLEncrypter encrypter(ml::security::RandomSource::system(), settings, clock);
    std::string token = "1dd5d4b6c1ea4e2a8d5f1a5a1c2d3e4f-7b8c9d0e-1f2a-3b4c-5d6e-7f8a9b0c1d2e-1234";
    for (auto _ : state) {
      auto encrypted = encrypter.encryptString(token);
      auto decrypted = encrypter.decryptString(*encrypted);
      benchmark::DoNotOptimize(decrypted);
    }
  }
  std::filesystem::remove_all(root);
}
BENCHMARK(BM_EncryptAndDecryptToken);

void BM_ValidateTwentyFiveProperties(benchmark::State& state) {
  TLLogger::setCurrentLogLevel(TLLogLevel::none);
  TLStringProperties properties;
  for (int i = 0; i < 25; ++i) properties["key" + std::to_string(i)] = std::string(140, 'v');
  for (auto _ : state) {
    auto valid = TLUtility::validateProperties(properties, "event", "Event");
    benchmark::DoNotOptimize(valid);
  }
}
BENCHMARK(BM_ValidateTwentyFiveProperties);

}  // namespace

BENCHMARK_MAIN();
