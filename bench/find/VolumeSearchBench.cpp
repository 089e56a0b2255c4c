// A search by name of a generated tree of 100,000 files, against `find <dir> -name` on the same
// tree in the same run. Both walk a warm cache (generation just touched every inode). The tree
// holds 100 folders of 10 sub-folders of 100 empty files; one name in 1,000 contains "needle".
// Counters: items found.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "find/search/VolumeSearch.h"

namespace {

class GeneratedTree {
 public:
  GeneratedTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "marrowlane-find-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    root_ = pattern;
    int n = 0;
    for (int a = 0; a < 100; ++a) {
      for (int b = 0; b < 10; ++b) {
        const auto folder = root_ / ("folder" + std::to_string(a)) / ("sub" + std::to_string(b));
        std::filesystem::create_directories(folder);
        for (int i = 0; i < 100; ++i, ++n) {
          std::string name = (n % 1000 == 7 ? "a-needle-" : "file") + std::to_string(n) + ".txt";
          std::ofstream(folder / name);
        }
      }
    }
  }
  ~GeneratedTree() { std::filesystem::remove_all(root_); }
  const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
};

const GeneratedTree& tree() {
  static GeneratedTree instance;
  return instance;
}

void SearchByName(benchmark::State& state) {
  const auto& root = tree().root();
  ml::find::SearchDescriptor criteria;
  criteria.name = ml::find::NameCriterion{false, ml::find::NameSearchOption::contains({"needle"}), false};
  ml::find::SearchSettings settings;
  settings.walkerThreads = static_cast<int>(state.range(0));
  size_t found = 0;
  for (auto _ : state) {
    found = 0;
    auto operation = ml::find::executeSearch(ml::files::Path(root), criteria,
                                             [&](std::vector<ml::files::Path> batch) { found += batch.size(); }, settings);
    operation->run();
  }
  state.counters["found"] = static_cast<double>(found);
}
BENCHMARK(SearchByName)->Arg(1)->Arg(4)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void FindName(benchmark::State& state) {
  const std::string command = "find '" + tree().root().string() + "' -name '*needle*'";
  size_t found = 0;
  for (auto _ : state) {
    found = 0;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
      state.SkipWithError("find could not be run");
      return;
    }
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) ++found;
    ::pclose(pipe);
  }
  state.counters["found"] = static_cast<double>(found);
}
BENCHMARK(FindName)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
