// Resident memory of a list window holding 200,000 rows, and what is left of it once the window
// has closed. The rows are real files (200 folders of 1,000 empty files, with names and depths
// like a search's results), added to a shown window the way a search hands its results over;
// the figures are taken with every row in the outline and again after the window closed and its
// controller was let go. Four windows in a row, as a user runs four searches, so memory that is
// kept across windows shows as growth.
//
// Counters (MB of resident memory): `baseline` before the first window (after a small window was
// opened and closed, so that the toolkit's one-time costs are in it), `list` with the rows shown
// (the largest of the rounds), `listCost` that minus the baseline, `afterClose` after the last
// window closed, `closedOverBaseline` its share above the baseline in percent.
// Runs on the offscreen Qt platform; one iteration (a round takes seconds).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "appkit/Application.h"
#include "list/window/ListMainWindow.h"
#include "list/window/ListOutlineModel.h"
#include "list/window/ListWindow.h"
#include "platform/store/Core.h"
#include "shell/GlobalState.h"
#include "shell/WindowContext.h"

namespace {

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

// Runs the event loop (the main queue, deferred deletes) until `done` or the time runs out.
template <class Done>
bool pumpUntil(Done done, std::chrono::seconds limit = std::chrono::seconds(600)) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void settle() {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  pumpUntil([&] { return std::chrono::steady_clock::now() > until; });
}

// One window of the application (announced to the global store while open): shown, filled with
// `paths`, then closed and let go. Returns the resident memory with every row shown.
double showAndClose(const std::vector<ml::files::Path>& paths) {
  static ml::store::Core<ml::shell::GlobalState> global{ml::shell::GlobalState()};
  auto window = std::make_shared<ml::list::ListWindow>(ml::shell::WindowContext{&global, nullptr});
  window->show();
  window->addItems(paths);
  const int expected = static_cast<int>(paths.size());
  if (!pumpUntil([&] { return window->model() && window->model()->rowCount() == expected; })) {
    std::fprintf(stderr, "the rows did not all arrive\n");
    std::abort();
  }
  settle();
  const double shown = residentMegabytes();
  window->window()->close();
  window.reset();
  // The global store lets go of the window once it has heard of the closing.
  pumpUntil([] { return global.state().activeWindows.empty(); });
  settle();
  return shown;
}

void BM_ListWindowMemory(benchmark::State& state) {
  static GeneratedFiles files;
  for (auto _ : state) {
    std::vector<ml::files::Path> few(files.paths().begin(), files.paths().begin() + 10);
    showAndClose(few);
    const double baseline = residentMegabytes();
    double list = 0;
    for (int round = 0; round < kRounds; ++round) list = std::max(list, showAndClose(files.paths()));
    const double afterClose = residentMegabytes();
    state.counters["baseline"] = baseline;
    state.counters["list"] = list;
    state.counters["listCost"] = list - baseline;
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
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
