// Cost of the crashes service's processing run for one stored report: decoding the file, making
// the error report and the crash log, and the log's JSON as the channel sends it, for a process
// of `threads` threads with `frames` frames each over 100 loaded images. Runs on a background
// queue one second after start, once per stored crash.
#include <benchmark/benchmark.h>

#include "ReportBuilder.h"
#include "beacon/core/TLJson.h"
#include "beacon/core/TLLogger.h"
#include "beacon/crashes/Util/TLErrorLogFormatter.h"
#include "crashreporter/CrashReport.h"

namespace {

using namespace ml::beacon;

std::vector<std::uint8_t> reportOf(std::uint32_t threads, std::uint32_t frames) {
  test::ReportSpec spec;
  for (std::uint32_t i = 0; i < 100; ++i) {
    spec.images.push_back(test::ImageSpec{0x7f0000000000ull + i * 0x1000000ull, 0x200000,
                                          "/usr/lib/x86_64-linux-gnu/libexample" + std::to_string(i) + ".so",
                                          {static_cast<std::uint8_t>(i), 1, 2, 3}});
  }
  for (std::uint32_t t = 0; t < threads; ++t) {
    test::ThreadSpec thread{t, t == 0, {}, {{"rip", 0x7f0000000010ull}, {"rsp", 0x7ffd00000000ull}}};
    for (std::uint32_t f = 0; f < frames; ++f) {
      thread.frames.push_back(test::FrameSpec{0x7f0000000000ull + (f % 100) * 0x1000000ull + 0x40 * (t + 1)});
    }
    spec.threads.push_back(std::move(thread));
  }
  return test::reportBytes(spec);
}

void BM_ProcessStoredReport(benchmark::State& state) {
  TLLogger::setCurrentLogLevel(TLLogLevel::none);
  const auto bytes = reportOf(static_cast<std::uint32_t>(state.range(0)), static_cast<std::uint32_t>(state.range(1)));
  std::size_t jsonSize = 0;
  for (auto _ : state) {
    auto report = ml::crash::TLCrashReport::initWithData(bytes);
    if (!report) {
      state.SkipWithError("the report does not decode");
      break;
    }
    auto errorReport = TLErrorLogFormatter::errorReportFromCrashReport(&report.value());
    auto log = TLErrorLogFormatter::errorLogFromCrashReport(report.value());
    auto json = TLJson::dump(log->serializeToDictionary(), false);
    jsonSize = json ? json->size() : 0;
    benchmark::DoNotOptimize(errorReport);
  }
  state.counters["report_bytes"] = static_cast<double>(bytes.size());
  state.counters["json_bytes"] = static_cast<double>(jsonSize);
}
BENCHMARK(BM_ProcessStoredReport)->Args({1, 16})->Args({20, 64})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
