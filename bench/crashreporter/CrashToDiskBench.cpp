// Time from a real fault to the crash report being on disk, and the report's size: a forked
// child enables the reporter, parks threads - 1 threads 64 frames deep, descends 64 frames itself and
// writes through a null pointer. The clock starts just before the faulting write and stops in the
// post-crash callback, which runs once the report file is written, flushed and closed. Setting up
// the child is not timed.
//
// Arguments: capture mode (0 signal handlers, 1 exception server), symbolication strategy
// (0 none, as the crashes service configures, 1 symbol tables), threads (the crashing one
// included; 20 is the reference case).
#include <benchmark/benchmark.h>

#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <pthread.h>
#include <string>
#include <vector>

#include "crashreporter/capture/TLCrashReporter.h"

namespace {

using namespace ml::crash;

constexpr int kFrames = 64;

struct Shared {
  std::atomic<uint64_t> fault_ns;
  std::atomic<uint64_t> written_ns;
  std::atomic<int> parked;
  std::atomic<bool> release;
};
Shared* g_shared = nullptr;

uint64_t nowNs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000ull + static_cast<uint64_t>(now.tv_nsec);
}

// The innermost frame: faults, or parks the thread for good.
__attribute__((noinline)) int bottom(bool crash) {
  if (crash) {
    g_shared->fault_ns.store(nowNs());
    *static_cast<volatile int*>(nullptr) = 1;
  }
  g_shared->parked.fetch_add(1);
  while (!g_shared->release.load()) ::pause();  // never set: the process ends parked
  return 0;
}

__attribute__((noinline)) int descend(int depth, bool crash) {
  volatile int frame = depth;
  return (depth <= 1 ? bottom(crash) : descend(depth - 1, crash)) + frame;
}

void* parkedThread(void*) {
  descend(kFrames, false);
  return nullptr;
}

void reportWritten(siginfo_t*, ucontext_t*, void*) { g_shared->written_ns.store(nowNs()); }

[[noreturn]] void child(uint64_t mode, uint64_t strategy, int threads) {
  for (int signo : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT}) ::signal(signo, SIG_DFL);
  TLCrashReporter reporter("org.marrowlane.CrashToDiskBench", "1", std::string("1.0"),
                           TLCrashReporterConfig(mode, strategy, false));
  TLCrashReporterCallbacks callbacks;
  callbacks.handleSignal = reportWritten;
  reporter.setCrashCallbacks(callbacks);
  if (!reporter.enableCrashReporter()) ::_exit(90);
  for (int i = 1; i < threads; ++i) {
    pthread_t thread;
    if (::pthread_create(&thread, nullptr, parkedThread, nullptr) != 0) ::_exit(91);
  }
  while (g_shared->parked.load() < threads - 1) ::usleep(200);
  ::usleep(2000);  // into pause()
  descend(kFrames, true);
  ::_exit(92);
}

void BM_FaultToReportOnDisk(benchmark::State& state) {
  const auto mode = static_cast<uint64_t>(state.range(0));
  const auto strategy = static_cast<uint64_t>(state.range(1));
  const auto threads = static_cast<int>(state.range(2));
  char folder[] = "/tmp/crash-to-disk-XXXXXX";
  if (::mkdtemp(folder) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  ::setenv("XDG_CACHE_HOME", folder, 1);
  void* memory = ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  g_shared = new (memory) Shared{};
  const TLCrashReporter reader("org.marrowlane.CrashToDiskBench", "1", std::string("1.0"),
                               TLCrashReporterConfig(mode, strategy, false));
  double bytes = 0;
  for (auto _ : state) {
    g_shared->fault_ns = 0;
    g_shared->written_ns = 0;
    g_shared->parked = 0;
    for (const std::string& path : reader.pendingCrashReportPaths()) (void)reader.purgePendingCrashReport(path);
    pid_t pid = ::fork();
    if (pid == 0) child(mode, strategy, threads);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const uint64_t fault = g_shared->fault_ns.load(), written = g_shared->written_ns.load();
    const std::vector<std::string> reports = reader.pendingCrashReportPaths();
    struct stat info{};
    if (!WIFSIGNALED(status) || written <= fault || fault == 0 || reports.size() != 1 ||
        ::stat(reports.front().c_str(), &info) != 0) {
      state.SkipWithError("the child left no report");
      break;
    }
    state.SetIterationTime(static_cast<double>(written - fault) / 1e9);
    bytes = static_cast<double>(info.st_size);
  }
  state.counters["report_bytes"] = bytes;
  ::munmap(memory, sizeof(Shared));
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_FaultToReportOnDisk)
    ->ArgNames({"mode", "symbols", "threads"})
    ->Args({0, 0, 20})
    ->Args({0, 1, 20})
    ->Args({1, 0, 20})
    ->Args({1, 1, 20})
    ->Args({0, 0, 1})
    ->UseManualTime()
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
