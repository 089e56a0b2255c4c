// A list window taking 200,000 rows: how long the rows take to arrive, how long the main thread
// is ever kept from its events meanwhile, and the resident memory with the rows shown and once
// the window has closed. The rows are real files (200 folders of 1,000 one-byte files, with names
// and depths like a search's results), added to a shown window the way a search hands its
// results over, with the application's kinds and icons (the mime database); the figures are
// taken with every row in the outline and again after the window closed and its controller was
// let go. Four windows in a row, as a user runs four searches, so memory that is kept across
// windows shows as growth.
//
// Counters: `buildSeconds` from handing the paths over to the last row in the outline (the
// slowest of the rounds); `longestMainBlockMs` the longest time the main thread spent on one
// thing while rows arrived (a timer asks it every 2 ms; the longest wait beyond that), over all
// rounds. Memory in MB of resident memory: `baseline` before the first window (after a small
// window was opened and closed, so that the toolkit's one-time costs are in it), `list` with the
// rows shown (the largest of the rounds), `listCost` that minus the baseline, `afterClose` after
// the last window closed, `closedOverBaseline` its share above the baseline in percent.
// Runs on the offscreen Qt platform; one iteration (a round takes seconds). The files go to the
// temporary folder (TMPDIR); making 200,000 files there takes longer than the benchmark itself
// on a busy disk, far less on a memory file system.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "appkit/Application.h"
#include "support/MainLoop.h"
#include "appkit/QtTypeDescriber.h"
#include "files/TypeDescriber.h"
#include "list/window/ListMainWindow.h"
#include "list/window/ListOutlineModel.h"
#include "list/window/ListWindow.h"
#include "platform/store/Core.h"
#include "shell/GlobalState.h"
#include "shell/WindowContext.h"

namespace {

using ml::bench::MainThreadWatch;
using ml::bench::pumpUntil;
using ml::bench::settle;

constexpr int kFolders = 200;
constexpr int kFilesPerFolder = 1000;
constexpr int kRows = kFolders * kFilesPerFolder;
constexpr int kRounds = 4;

double residentMegabytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

class GeneratedFiles {
 public:
  GeneratedFiles() {
    std::string pattern = (std::filesystem::temp_directory_path() / "marrowlane-list-memory-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    root_ = pattern;
    paths_.reserve(kRows);
    for (int f = 0; f < kFolders; ++f) {
      auto folder = root_ / "Projects" / "Archive 2026" / ("folder " + std::to_string(f));
      std::filesystem::create_directories(folder);
      for (int i = 0; i < kFilesPerFolder; ++i) {
        auto file = folder / ("search result " + std::to_string(i) + ".txt");
        std::ofstream(file).put('x');
        paths_.emplace_back(file);
      }
    }
  }
  ~GeneratedFiles() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  const std::vector<ml::files::Path>& paths() const { return paths_; }

 private:
  std::filesystem::path root_;
  std::vector<ml::files::Path> paths_;
};

struct Round {
  double shownMegabytes = 0;
  double buildSeconds = 0;
  double longestBlockMs = 0;
};

// One window of the application (announced to the global store while open): shown, filled with
// `paths`, then closed and let go.
Round showAndClose(const std::vector<ml::files::Path>& paths) {
  static ml::store::Core<ml::shell::GlobalState> global{ml::shell::GlobalState()};
  Round round;
  auto window = std::make_shared<ml::list::ListWindow>(ml::shell::WindowContext{&global, nullptr});
  window->show();
  settle();
  MainThreadWatch watch;
  watch.start();
  const auto start = std::chrono::steady_clock::now();
  window->addItems(paths);
  const int expected = static_cast<int>(paths.size());
  if (!pumpUntil([&] { return window->model() && window->model()->rowCount() == expected; })) {
    std::fprintf(stderr, "the rows did not all arrive\n");
    std::abort();
  }
  round.buildSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  settle();
  watch.stop();
  round.longestBlockMs = watch.longestBlockMs();
  round.shownMegabytes = residentMegabytes();
  window->window()->close();
  window.reset();
  // The global store lets go of the window once it has heard of the closing.
  pumpUntil([] { return global.state().activeWindows.empty(); });
  settle();
  return round;
}

void BM_ListWindowMemory(benchmark::State& state) {
  static GeneratedFiles files;
  for (auto _ : state) {
    std::vector<ml::files::Path> few(files.paths().begin(), files.paths().begin() + 10);
    showAndClose(few);
    const double baseline = residentMegabytes();
    Round worst;
    for (int round = 0; round < kRounds; ++round) {
      const Round done = showAndClose(files.paths());
      worst.shownMegabytes = std::max(worst.shownMegabytes, done.shownMegabytes);
      worst.buildSeconds = std::max(worst.buildSeconds, done.buildSeconds);
      worst.longestBlockMs = std::max(worst.longestBlockMs, done.longestBlockMs);
    }
    const double afterClose = residentMegabytes();
    state.counters["buildSeconds"] = worst.buildSeconds;
    state.counters["longestMainBlockMs"] = worst.longestBlockMs;
    state.counters["baseline"] = baseline;
    state.counters["list"] = worst.shownMegabytes;
    state.counters["listCost"] = worst.shownMegabytes - baseline;
    state.counters["afterClose"] = afterClose;
    state.counters["closedOverBaseline"] = 100.0 * (afterClose - baseline) / baseline;
  }
  state.counters["rows"] = kRows;
}
BENCHMARK(BM_ListWindowMemory)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  ml::appkit::Application app(argc, argv);
  // Kinds and icons as the application finds them.
  ml::files::TypeDescriber::install(std::make_shared<ml::appkit::QtTypeDescriber>());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
