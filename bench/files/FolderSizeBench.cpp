// Total size, the count of files and folders, and both from one walk, of a generated folder of
// 100,000 files, against `du -sb` on the same folder in the same run. Both walk a warm cache
// (the generation just touched every inode). The folder holds 100 sub-folders of 1,000 files of
// 0-4095 bytes each; every 100th file also has a small resource fork. Counters: bytes found, and
// for du the bytes it printed.
#include <benchmark/benchmark.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "files/FileSystem.h"
#include "files/FolderSize.h"
#include "files/Files.h"

namespace {

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 1000;

class GeneratedTree {
 public:
  GeneratedTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "marrowlane-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    root_ = pattern;
    std::string content(4096, 'x');
    unsigned seed = 12345;
    for (int f = 0; f < kFolders; ++f) {
      const auto folder = root_ / ("folder" + std::to_string(f));
      std::filesystem::create_directory(folder);
      for (int i = 0; i < kFilesPerFolder; ++i) {
        seed = seed * 1103515245 + 12345;
        const auto file = folder / ("file" + std::to_string(i));
        std::ofstream(file, std::ios::binary).write(content.data(), (seed >> 8) % 4096);
        if (i % 100 == 0) ::setxattr(file.c_str(), "user.com.apple.ResourceFork", "fork", 4, 0);
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

void FolderTotals(benchmark::State& state) {
  const auto& root = tree().root();  // generated before the timing starts
  ml::files::FolderTotals totals;
  for (auto _ : state) {
    totals = ml::files::folderTotals(root);
    benchmark::DoNotOptimize(totals);
  }
  state.counters["bytes"] = static_cast<double>(totals.bytes);
  state.counters["files"] = static_cast<double>(totals.files);
}
BENCHMARK(FolderTotals)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The list window's count of files and folders below a folder, over the same tree.
void CountContents(benchmark::State& state) {
  const ml::files::Path root(ml::files::FileSystems::defaultFileSystem(), tree().root());
  std::optional<ml::files::ContentCounts> counts;
  for (auto _ : state) {
    counts = ml::files::Files::countContents(root, true);
    benchmark::DoNotOptimize(counts);
  }
  state.counters["files"] = counts ? counts->files : -1;
  state.counters["folders"] = counts ? counts->folders : -1;
}
BENCHMARK(CountContents)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// What the list window reads for a selected folder: its size and its counts, from one walk.
void FolderSummary(benchmark::State& state) {
  const ml::files::Path root(ml::files::FileSystems::defaultFileSystem(), tree().root());
  std::optional<ml::files::FolderSummary> summary;
  for (auto _ : state) {
    summary = ml::files::Files::summarize(root);
    benchmark::DoNotOptimize(summary);
  }
  state.counters["bytes"] = summary ? static_cast<double>(summary->size.actual) : -1;
  state.counters["files"] = summary ? summary->counts.files : -1;
}
BENCHMARK(FolderSummary)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void DuSb(benchmark::State& state) {
  const std::string command = "du -sb '" + tree().root().string() + "'";
  double bytes = 0;
  for (auto _ : state) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
      state.SkipWithError("du could not be run");
      return;
    }
    char line[4096] = {};
    if (std::fgets(line, sizeof line, pipe)) bytes = std::strtod(line, nullptr);
    ::pclose(pipe);
  }
  state.counters["bytes"] = bytes;
}
BENCHMARK(DuSb)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
