// A find window's state taking in the results of a large search, batch by batch, as its store
// does: the reducer adds each batch, then the store copies the state once for its subscribers.
// Arg: number of results (in batches of 500, the engine's batch size). The time must grow
// linearly with the count: a million results should cost about ten times a hundred thousand.
// Counters: results held at the end.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "find/FindWindowEvents.h"
#include "find/FindWindowState.h"

namespace {

constexpr int kBatch = 500;

std::vector<std::vector<ml::files::Path>> batches(int results) {
  std::vector<std::vector<ml::files::Path>> out;
  for (int start = 0; start < results; start += kBatch) {
    std::vector<ml::files::Path> batch;
    for (int i = start; i < start + kBatch && i < results; ++i)
      batch.emplace_back("/volume/folder" + std::to_string(i % 97) + "/item" + std::to_string(i));
    out.push_back(std::move(batch));
  }
  return out;
}

void AccumulateResults(benchmark::State& state) {
  const auto input = batches(static_cast<int>(state.range(0)));
  std::size_t held = 0;
  for (auto _ : state) {
    ml::find::FindWindowState window;
    window.react(ml::find::SearchStarted(ml::find::ActiveSearch()));
    for (const auto& batch : input) {
      window.react(ml::find::SearchResultsUpdated(batch, true));
      ml::find::FindWindowState snapshot = window;  // the store's published copy
      benchmark::DoNotOptimize(snapshot);
    }
    held = window.currentSearch->count();
  }
  state.counters["results"] = static_cast<double>(held);
}
BENCHMARK(AccumulateResults)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
