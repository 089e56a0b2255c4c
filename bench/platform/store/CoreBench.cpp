// Throughput of a store: events fired from one or several threads until all are handled, and
// the cost of state() while the store is busy.
#include <benchmark/benchmark.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "platform/store/Core.h"

namespace {

using ml::store::Command;
using ml::store::Core;
using ml::store::Event;

struct Tick : Event {};

struct Counter {
  long ticks = 0;
  void react(const Event& event) {
    if (event.as<Tick>()) ++ticks;
  }
};

// Resolves a promise once every earlier event has been handled.
class Barrier : public Command<Counter> {
 public:
  explicit Barrier(std::promise<void>& done) : done_(done) {}
  void execute(const Counter&, Core<Counter>&) override { done_.set_value(); }

 private:
  std::promise<void>& done_;
};

void BM_FireAndHandle(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  constexpr int kEventsPerThread = 10'000;
  for (auto _ : state) {
    Core<Counter> core{Counter{}};
    std::vector<std::thread> firing;
    for (int t = 0; t < threads; ++t) {
      firing.emplace_back([&] {
        for (int i = 0; i < kEventsPerThread; ++i) core.fire(Tick{});
      });
    }
    for (auto& thread : firing) thread.join();
    std::promise<void> done;
    core.fire(Barrier(done));
    done.get_future().wait();
  }
  state.SetItemsProcessed(state.iterations() * threads * kEventsPerThread);
}
BENCHMARK(BM_FireAndHandle)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StateWhileBusy(benchmark::State& state) {
  Core<Counter> core{Counter{}};
  std::atomic<bool> stop{false};
  std::thread firing([&] {
    // Bounded, so the queue the destructor drains stays small.
    for (int i = 0; i < 1'000'000 && !stop.load(std::memory_order_relaxed); ++i) core.fire(Tick{});
  });
  for (auto _ : state) benchmark::DoNotOptimize(core.state().ticks);
  stop = true;
  firing.join();
}
BENCHMARK(BM_StateWhileBusy);

}  // namespace

BENCHMARK_MAIN();
