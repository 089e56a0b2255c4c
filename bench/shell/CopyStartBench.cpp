// The copy command given 20,000 files, as after "select all" in a list of them: how long from the
// chosen folder until the first copy exists (the time reported), and how long the whole copy
// takes (counter "whole_copy_s"). Then the same copy again onto the copies, where every item
// fails: the time until the one alert is posted, and its size in lines and bytes.
//
// The folder panel answers at once and the alert is recorded, not shown; the copy runs on a
// thread of its own while the benchmark watches for the first copy.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "appkit/OpenPanels.h"
#include "appkit/values/Alert.h"
#include "files/FileSystem.h"
#include "platform/dispatch/Queue.h"
#include "shell/GlobalCommandExecutors.h"

namespace {

namespace fs = std::filesystem;
using namespace ml;

constexpr int kItems = 20000;

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "marrowlane-copy-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    root_ = pattern;
  }
  ~TempFolder() { fs::remove_all(root_); }
  const fs::path& root() const { return root_; }

 private:
  fs::path root_;
};

class InlineQueue final : public dispatch::Queue {
 public:
  void async(std::function<void()> task) override { task(); }
};

// The folder panel as a user who picks `folder` at once.
class ChosenFolder final : public appkit::OpenPanels {
 public:
  fs::path folder;
  void chooseFile(bool, OneItem) override {}
  void chooseFiles(bool, bool, Items) override {}
  void chooseDirectory(OneItem callback) override { callback(folder); }
};

class RecordedAlerts final : public appkit::AlertPresenter {
 public:
  int runModal(const appkit::Alert& alert) override {
    std::lock_guard lock(mutex);
    shown.push_back(alert);
    return appkit::kFirstButtonReturn;
  }
  std::mutex mutex;
  std::vector<appkit::Alert> shown;
};

struct Setup {
  TempFolder temp;
  std::vector<files::Path> items;
  std::shared_ptr<ChosenFolder> panels = std::make_shared<ChosenFolder>();
  std::shared_ptr<RecordedAlerts> alerts = std::make_shared<RecordedAlerts>();
  InlineQueue queue;
  shell::CommandContext context;

  Setup() {
    const fs::path source = temp.root() / "source";
    fs::create_directory(source);
    char name[32];
    for (int i = 0; i < kItems; ++i) {
      std::snprintf(name, sizeof name, "file%05d.txt", i);
      std::ofstream(source / name) << i;
      items.emplace_back(source / name);
    }
    context.services.openPanels = panels;
    context.services.alerts = alerts;
    context.services.main = &queue;
    context.services.background = &queue;
    context.fire = [](std::shared_ptr<const store::Event>) {};
    context.fireGlobal = context.fire;
    context.fileWork = std::make_shared<shell::FileWorkInProgress>();
  }
};

Setup& setup() {
  static Setup instance;
  return instance;
}

using Clock = std::chrono::steady_clock;

void CopyOf20000FilesUntilTheFirstCopy(benchmark::State& state) {
  Setup& s = setup();
  int round = 0;
  double whole = 0;
  for (auto _ : state) {
    const fs::path target = s.temp.root() / ("target" + std::to_string(round++));
    fs::create_directory(target);
    s.panels->folder = target;
    const fs::path first = target / s.items.front().url().filename();
    const auto start = Clock::now();
    std::thread copy([&] { shell::commands::copyItems(s.items, s.context); });
    while (!fs::exists(first)) std::this_thread::yield();
    const auto firstSeen = Clock::now();
    copy.join();
    whole += std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(std::chrono::duration<double>(firstSeen - start).count());
  }
  state.counters["whole_copy_s"] = whole / static_cast<double>(state.iterations());
  state.counters["items"] = kItems;
}
BENCHMARK(CopyOf20000FilesUntilTheFirstCopy)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void CopyOf20000FilesThatAllFail(benchmark::State& state) {
  Setup& s = setup();
  const fs::path target = s.temp.root() / "taken";
  fs::create_directory(target);
  s.panels->folder = target;
  shell::commands::copyItems(s.items, s.context);  // every name is taken from here on
  for (auto _ : state) {
    {
      std::lock_guard lock(s.alerts->mutex);
      s.alerts->shown.clear();
    }
    shell::commands::copyItems(s.items, s.context);
  }
  std::lock_guard lock(s.alerts->mutex);
  if (s.alerts->shown.size() != 1) {
    state.SkipWithError("expected exactly one alert");
    return;
  }
  const auto& text = s.alerts->shown.front().informativeText;
  state.counters["alert_lines"] = static_cast<double>(std::count(text.begin(), text.end(), '\n') + 1);
  state.counters["alert_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(CopyOf20000FilesThatAllFail)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
