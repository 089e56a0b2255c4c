// Cost of a log call as the caller sees it: an absent channel, and an asynchronous line handed to
// the writer thread (single caller and many at once). The writer's own throughput shows as the
// time of the final flush.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/logging/Log.h"

namespace {

using namespace ml::logging;

std::filesystem::path makeFolder() {
  std::string pattern = "/tmp/marrowlane-logbench-XXXXXX";
  if (!mkdtemp(pattern.data())) std::abort();
  return pattern;
}

void BM_AbsentChannel(benchmark::State& state) {
  Log::resetForTesting();
  auto folder = makeFolder();
  Log::enable({RotatingLogFileConfiguration(LogSeverity::error, 3, folder, false)});
  int value = 0;
  for (auto _ : state) {
    LOG_DEBUG("not recorded value=" << ++value);
    benchmark::DoNotOptimize(value);
  }
  Log::resetForTesting();
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_AbsentChannel);

void BM_AsynchronousLine(benchmark::State& state) {
  static std::filesystem::path folder;
  if (state.thread_index() == 0) {
    Log::resetForTesting();
    folder = makeFolder();
    Log::enable({RotatingLogFileConfiguration(LogSeverity::debug, 3, folder, false)});
  }
  int line = 0;
  for (auto _ : state) LOG_INFO("failed to rollback basic attributes. path=/tmp/some/file line=" << ++line);
  if (state.thread_index() == 0) {
    Log::flush();
    Log::resetForTesting();
    std::filesystem::remove_all(folder);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AsynchronousLine)->Threads(1)->Threads(4)->Threads(16)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
