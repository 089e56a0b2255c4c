// Memory of a search with no criteria whose results (475,476) go to a new list: the
// real search engine, find store and result delivery, and the real list window (offscreen), as
// the application wires them. The results are a generated tree in the temporary folder (TMPDIR):
// 475 folders of 1,000 small files of several types (some named without an extension, whose
// type only their first bytes tell), searched as the home folder. Making the tree takes long
// on a busy disk, far less on a memory file system.
//
// Counters, resident memory in MB: `baseline` before the search (after a small list was opened
// and closed, so that the toolkit's one-time costs are in it); `peak` the most resident memory
// from the search's start until every result is a row (the kernel's high-water mark, reset at
// the start); `afterClose` once the list is closed and let go, `closedOverBaseline` that above the
// baseline in percent; then the same search into a list again, closed: `afterSecondClose`,
// `secondClosedOverBaseline`, and `secondOverFirst` its growth over `afterClose` in percent. Then a second search, cancelled when half its results are in: `cancelPeak`
// its high-water mark, `afterCancel` once it is cancelled and its find store is gone,
// `cancelledOverBaseline` in percent (each read once memory has stopped changing).
// `secondsToRows` from the first search's start to the last row in the list; `results` what the
// list held; `load` the machine's one-minute load average at the end. One iteration.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <memory>
#include <string>

#include "appkit/Application.h"
#include "support/ListWindows.h"
#include "support/MainLoop.h"
#include "appkit/QtTypeDescriber.h"
#include "files/TypeDescriber.h"
#include "find/ExecuteSearch.h"
#include "find/FindWindowEvents.h"
#include "find/FindWindowState.h"
#include "list/window/ListMainWindow.h"
#include "list/window/ListOutlineModel.h"
#include "list/window/ListWindow.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/FreedMemory.h"
#include "platform/store/Core.h"
#include "shell/GlobalState.h"
#include "shell/ShellServices.h"
#include "shell/WindowContext.h"

namespace {

using ml::bench::MainThreadWatch;
using ml::bench::pumpUntil;
using ml::bench::settle;

constexpr int kFolders = 475;
constexpr int kFilesPerFolder = 1000;
// Every file, every folder and the folder holding them.
constexpr int kResults = kFolders * kFilesPerFolder + kFolders + 1;

double statusMegabytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::string(field).size())) / 1024.0;
  }
  return 0;
}
double residentMegabytes() { return statusMegabytes("VmRSS:"); }
double peakMegabytes() { return statusMegabytes("VmHWM:"); }
// From now on the high-water mark counts anew.
void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

struct Kind {
  const char* suffix;
  const char* content;
};
constexpr Kind kKinds[] = {{".txt", "x"}, {".png", "\x89PNG\r\n\x1a\n"}, {"", "#!/bin/sh\n"},
                           {".pdf", "%PDF-1.4\n"}, {"", "%PDF-1.4\n"}, {".c", "int x;\n"}, {"", "x"}};

class GeneratedTree {
 public:
  GeneratedTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "marrowlane-search-memory-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    root_ = pattern;
    for (int f = 0; f < kFolders; ++f) {
      const auto folder = root_ / "Volume" / ("folder " + std::to_string(f));
      std::filesystem::create_directories(folder);
      for (int i = 0; i < kFilesPerFolder; ++i) {
        // Items of several types, as a volume holds, some known by name and some only by content.
        const auto& kind = kKinds[static_cast<std::size_t>(i) % std::size(kKinds)];
        std::ofstream(folder / ("found item " + std::to_string(i) + kind.suffix)) << kind.content;
      }
    }
  }
  ~GeneratedTree() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
};

// How long the loop is served after each step.
constexpr std::chrono::milliseconds kSettle(800);

// Waits until the freeing that a close or cancel hands to other threads is over: resident memory
// has not changed by more than a megabyte for a second (at most 30 s), whatever the machine's load.
void settleMemory() {
  double last = residentMegabytes();
  for (int i = 0; i < 30; ++i) {
    settle(std::chrono::milliseconds(1000));
    const double now = residentMegabytes();
    if (std::abs(now - last) < 1.0) return;
    last = now;
  }
}

// The application's side of it: the global store and the list window factory.
struct Application {
  Application() {
    services.main = &ml::dispatch::MainQueue::shared();
    services.windows.list = [this] {
      return std::make_shared<ml::list::ListWindow>(ml::shell::WindowContext{&global, &services});
    };
  }
  std::shared_ptr<ml::list::ListWindow> openList() const { return ml::bench::openList(global); }
  void closeLists() { ml::bench::closeLists(global, kSettle); }

  ml::store::Core<ml::shell::GlobalState> global{ml::shell::GlobalState()};
  ml::shell::ShellServices services;
};

using FindStore = ml::store::Core<ml::find::FindWindowState>;

std::shared_ptr<FindStore> startSearch(Application& app) {
  ml::find::FindWindowState state;
  state.location = ml::find::SearchLocation::home();
  state.context = ml::shell::WindowContext{&app.global, &app.services};
  auto store = std::make_shared<FindStore>(state);
  store->fire(std::make_shared<ml::find::ExecuteSearch>(store));
  return store;
}

// A search of the whole tree into a new list, until every result is a row.
void searchIntoList(Application& app) {
  auto search = startSearch(app);
  if (!pumpUntil([&] {
        auto list = app.openList();
        return list && list->model() && list->model()->rowCount() == kResults;
      })) {
    std::fprintf(stderr, "the results did not all become rows\n");
    std::abort();
  }
}

double loadAverage() {
  std::ifstream loadavg("/proc/loadavg");
  double load = 0;
  loadavg >> load;
  return load;
}

void BM_SearchIntoList(benchmark::State& state) {
  static GeneratedTree tree;
  ::setenv("HOME", tree.root().c_str(), 1);
  Application app;
  for (auto _ : state) {
    // The toolkit's one-time costs, then the baseline.
    {
      auto warmUp = std::static_pointer_cast<ml::list::ListWindow>(app.services.windows.list());
      warmUp->addItems({ml::files::Path(tree.root())});
      warmUp->show();
      settle(kSettle);
      warmUp->window()->close();
      warmUp.reset();
      pumpUntil([&] { return !app.openList(); });
      settle(kSettle);
    }
    const double baseline = residentMegabytes();

    resetPeak();
    const auto start = std::chrono::steady_clock::now();
    searchIntoList(app);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    settle(kSettle);
    const double peak = peakMegabytes();
    const double rows = app.openList()->model()->rowCount();
    app.closeLists();
    settleMemory();
    const double afterClose = residentMegabytes();

    // The same search again, as a user repeats one: what it keeps adds up if anything does.
    searchIntoList(app);
    settle(kSettle);
    app.closeLists();
    settleMemory();
    const double afterSecondClose = residentMegabytes();

    resetPeak();
    auto cancelled = startSearch(app);
    pumpUntil([&] {
      auto current = cancelled->state().currentSearch;
      return current && current->count() >= kResults / 2;
    });
    cancelled->fire(ml::find::SearchTerminated(false));
    settle(kSettle);
    const double cancelPeak = peakMegabytes();
    cancelled.reset();
    settleMemory();
    const double afterCancel = residentMegabytes();

    state.counters["baseline"] = baseline;
    state.counters["peak"] = peak;
    state.counters["afterClose"] = afterClose;
    state.counters["closedOverBaseline"] = 100.0 * (afterClose - baseline) / baseline;
    state.counters["afterSecondClose"] = afterSecondClose;
    state.counters["secondClosedOverBaseline"] = 100.0 * (afterSecondClose - baseline) / baseline;
    state.counters["secondOverFirst"] = 100.0 * (afterSecondClose - afterClose) / afterClose;
    state.counters["load"] = loadAverage();
    state.counters["cancelPeak"] = cancelPeak;
    state.counters["afterCancel"] = afterCancel;
    state.counters["cancelledOverBaseline"] = 100.0 * (afterCancel - baseline) / baseline;
    state.counters["secondsToRows"] = seconds;
    state.counters["results"] = rows;
  }
}
BENCHMARK(BM_SearchIntoList)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  ml::foundation::limitRetainedMemory();  // as the application does at start
  qputenv("QT_QPA_PLATFORM", "offscreen");
  ml::appkit::Application app(argc, argv);
  ml::files::TypeDescriber::install(std::make_shared<ml::appkit::QtTypeDescriber>());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
