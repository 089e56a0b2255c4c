// Cost of writing a crash report (the crash-time path: sizing runs, trimming to the output limit)
// and of reading one back, for a process of `threads` threads with `frames` frames each.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <vector>

#include "crashreporter/CrashReport.h"
#include "crashreporter/LogWriter.h"

namespace {

using namespace ml::crash;

class SyntheticThreads final : public ThreadSource {
 public:
  SyntheticThreads(uint32_t threads, uint32_t frames) : threads_(threads), frames_(frames) {}
  uint32_t threadCount() override { return threads_; }
  bool isCrashed(uint32_t thread) override { return thread == 0; }
  const char* beginWalk(uint32_t thread) override {
    thread_ = thread;
    position_ = 0;
    ++steps;
    return nullptr;
  }
  tlcrash_walk_step nextFrame(uint64_t* pc, const char**) override {
    ++steps;
    if (position_ >= frames_) return tlcrash_walk_step::kEnd;
    *pc = 0x7f0000400000ull + thread_ * 0x10000 + position_++ * 0x40;
    return tlcrash_walk_step::kFrame;
  }
  uint32_t registerCount() override { return 21; }
  const char* registerName(uint32_t) override { return "r15"; }
  bool registerValue(uint32_t index, uint64_t* value, const char**) override {
    *value = 0x7ffd00000000ull + index;
    return true;
  }
  void endWalk() override {}

  uint64_t steps = 0;

 private:
  uint32_t threads_, frames_;
  uint32_t thread_ = 0, position_ = 0;
};

class SyntheticImages final : public ImageSource {
 public:
  explicit SyntheticImages(uint32_t count) : count_(count) {}
  void beginReading() override {}
  void endReading() override {}
  void rewind() override { position_ = 0; }
  bool next(tlcrash_binary_image* image) override {
    if (position_ >= count_) return false;
    *image = {0x7f0000000000ull + position_ * 0x1000000ull, 0x200000, "/usr/lib/x86_64-linux-gnu/libexample.so.1",
              uuid_, 0x01000007, 3};
    ++position_;
    return true;
  }

 private:
  uint32_t count_, position_ = 0;
  uint8_t uuid_[16] = {};
};

tlcrash_log_writer benchWriter() {
  tlcrash_log_writer writer;
  writer.os_version = "6.1.0";
  writer.app_identifier = "org.marrowlane.app";
  writer.app_version = "1";
  return writer;
}

std::vector<uint8_t> writeTo(int fd, uint32_t threads, uint32_t frames, uint64_t limit, uint64_t* steps) {
  auto writer = benchWriter();
  SyntheticThreads source(threads, frames);
  SyntheticImages images(200);
  tlcrash_log_bsd_signal_info bsd{11, 1, 0};
  tlcrash_log_signal_info siginfo{&bsd, nullptr};
  ::ftruncate(fd, 0);
  ::lseek(fd, 0, SEEK_SET);
  tlcrash_async_file file;
  tlcrash_async_file_init(&file, fd, limit);
  tlcrash_log_writer_write(&writer, source, images, nullptr, &file, &siginfo);
  tlcrash_async_file_flush(&file);
  if (steps != nullptr) *steps = source.steps;
  std::vector<uint8_t> bytes(static_cast<size_t>(::lseek(fd, 0, SEEK_END)));
  ::pread(fd, bytes.data(), bytes.size(), 0);
  return bytes;
}

// Arguments: threads, frames per thread, output limit (0 = none).
void BM_WriteReport(benchmark::State& state) {
  int fd = ::memfd_create("bench-report", 0);
  auto threads = static_cast<uint32_t>(state.range(0));
  auto frames = static_cast<uint32_t>(state.range(1));
  auto limit = static_cast<uint64_t>(state.range(2));
  uint64_t steps = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    auto report = writeTo(fd, threads, frames, limit, &steps);
    bytes = report.size();
    benchmark::DoNotOptimize(report.data());
  }
  state.counters["report_bytes"] = static_cast<double>(bytes);
  state.counters["walk_steps"] = static_cast<double>(steps);
  ::close(fd);
}
BENCHMARK(BM_WriteReport)->Args({8, 32, 262144})->Args({50, 512, 262144})->Args({50, 512, 0})->Unit(benchmark::kMillisecond);

void BM_ReadReport(benchmark::State& state) {
  int fd = ::memfd_create("bench-report", 0);
  auto bytes = writeTo(fd, static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)), 262144, nullptr);
  ::close(fd);
  for (auto _ : state) {
    auto report = TLCrashReport::initWithData(bytes);
    benchmark::DoNotOptimize(report.ok());
  }
  state.counters["report_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_ReadReport)->Args({50, 512})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
