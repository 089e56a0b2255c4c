// 200,000 rows reaching a list window the two ways a user fills one: Add Contents of a folder
// holding 200,000 one-byte files (half of them named without an extension) (the window's own action; the open panel answers with the folder on a
// background thread, as the application's panel does once the user confirms), and a search of
// that folder whose results go to a new list (the real search engine, find store and result
// delivery, which hands the list its results piece by piece from the search queue). Both run
// the real list window (offscreen) with the application's kinds and icons.
//
// Counters: `seconds` from the action (or the search's start) to the last row in the outline;
// `rowsPerSecond` the rows over that time; `cores` the process's CPU time over that time (how
// many cores the work kept busy on average); `longestMainBlockMs` the longest the main thread
// spent on one thing meanwhile (a timer asks it every 2 ms); `load` the machine's one-minute
// load average at the end, since the figures mean little on a machine busy with other work.
// One iteration each. The folder goes to the temporary folder (TMPDIR); a memory file system
// makes it in seconds.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
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

#include "appkit/Application.h"
#include "support/ListWindows.h"
#include "support/MainLoop.h"
#include "appkit/OpenPanels.h"
#include "appkit/QtTypeDescriber.h"
#include "files/TypeDescriber.h"
#include "find/ExecuteSearch.h"
#include "find/FindWindowState.h"
#include "list/window/ListMainWindow.h"
#include "list/window/ListOutlineModel.h"
#include "list/window/ListWindow.h"
#include "platform/dispatch/GlobalPool.h"
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

constexpr int kFiles = 200000;

class GeneratedFolder {
 public:
  GeneratedFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "marrowlane-rows-arrival-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    root_ = pattern;
    std::filesystem::create_directories(folder());
    // Half the names tell the item's type, half do not (their type comes from their first bytes).
    for (int i = 0; i < kFiles; ++i) {
      std::ofstream(folder() / ("added item " + std::to_string(i) + (i % 2 ? ".txt" : ""))).put('x');
    }
  }
  ~GeneratedFolder() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path folder() const { return root_ / "Contents"; }

 private:
  std::filesystem::path root_;
};

const GeneratedFolder& generated() {
  static GeneratedFolder folder;
  return folder;
}

// The panel as the user leaves it: the folder chosen and confirmed, the answer on a background
// thread.
class ConfirmedPanels final : public ml::appkit::OpenPanels {
 public:
  explicit ConfirmedPanels(std::filesystem::path chosen) : chosen_(std::move(chosen)) {}
  void chooseFile(bool, OneItem callback) override { callback(chosen_); }
  void chooseFiles(bool, bool, Items callback) override {
    ml::dispatch::GlobalPool::shared().async([callback, chosen = chosen_] { callback({chosen}); });
  }
  void chooseDirectory(OneItem callback) override {
    ml::dispatch::GlobalPool::shared().async([callback, chosen = chosen_] { callback(chosen); });
  }

 private:
  std::filesystem::path chosen_;
};

double cpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double loadAverage() {
  std::ifstream loadavg("/proc/loadavg");
  double load = 0;
  loadavg >> load;
  return load;
}

// The application's side: the global store, the panels and the list window factory.
struct Application {
  Application() {
    services.main = &ml::dispatch::MainQueue::shared();
    services.background = &ml::dispatch::GlobalPool::shared();
    services.openPanels = std::make_shared<ConfirmedPanels>(generated().folder());
    services.windows.list = [this] {
      return std::make_shared<ml::list::ListWindow>(ml::shell::WindowContext{&global, &services});
    };
  }
  std::shared_ptr<ml::list::ListWindow> openList() const { return ml::bench::openList(global); }
  void closeLists() { ml::bench::closeLists(global); }

  ml::store::Core<ml::shell::GlobalState> global{ml::shell::GlobalState()};
  ml::shell::ShellServices services;
};

// Runs `start`, then the main loop until the open list shows `rows` rows; reports the counters.
template <class Start>
void measureArrival(benchmark::State& state, Application& app, int rows, Start start) {
  MainThreadWatch watch;
  watch.start();
  const double cpuBefore = cpuSeconds();
  const auto began = std::chrono::steady_clock::now();
  auto keep = start();
  if (!pumpUntil([&] {
        auto list = app.openList();
        return list && list->model() && list->model()->rowCount() == rows;
      })) {
    auto list = app.openList();
    std::fprintf(stderr, "the rows did not all arrive: %d of %d\n", list && list->model() ? list->model()->rowCount() : -1, rows);
    std::abort();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  const double cpu = cpuSeconds() - cpuBefore;
  state.counters["seconds"] = seconds;
  state.counters["rowsPerSecond"] = rows / seconds;
  state.counters["cores"] = cpu / seconds;
  state.counters["longestMainBlockMs"] = watch.longestBlockMs();
  state.counters["load"] = loadAverage();
  keep.reset();
  app.closeLists();
}

void BM_AddContents(benchmark::State& state) {
  generated();
  Application app;
  for (auto _ : state) {
    auto list = std::static_pointer_cast<ml::list::ListWindow>(app.services.windows.list());
    list->show();
    settle();
    measureArrival(state, app, kFiles, [&] {
      list->addContents();
      return std::move(list);
    });
  }
}
BENCHMARK(BM_AddContents)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_FindResultList(benchmark::State& state) {
  ::setenv("HOME", generated().root().c_str(), 1);
  Application app;
  using FindStore = ml::store::Core<ml::find::FindWindowState>;
  for (auto _ : state) {
    // The folder and every file in it (the home folder itself is where the search starts).
    measureArrival(state, app, kFiles + 1, [&] {
      ml::find::FindWindowState find;
      find.location = ml::find::SearchLocation::home();
      find.context = ml::shell::WindowContext{&app.global, &app.services};
      auto store = std::make_shared<FindStore>(find);
      store->fire(std::make_shared<ml::find::ExecuteSearch>(store));
      return store;
    });
  }
}
BENCHMARK(BM_FindResultList)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

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
