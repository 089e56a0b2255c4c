// A list window holding 10,000 rows: sorting them (the data source alone, and the item model with
// a tree view whose 1,000 selected rows must keep their selection), and the display update that
// runs after every event of the window's store (nothing selected, one row, every other row).
// Rows are built once from 10,000 generated files of 0-64 KiB with numbered names in shuffled
// order; building them is measured on its own (attribute read, kind, icon and volume per row).
// Runs on the offscreen Qt platform.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QItemSelectionModel>
#include <QTreeView>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "list/rows/ListWindowDataSource2.h"
#include "list/rows/PathListItem.h"
#include "list/window/ListMainWindow.h"
#include "list/window/ListOutlineModel.h"
#include "list/window/ListWindow.h"
#include "platform/dispatch/MainQueue.h"
#include "shell/ShellServices.h"
#include "shell/WindowContext.h"
#include "appkit/Application.h"
#include "appkit/Workspace.h"

namespace {

using ml::list::ListWindowDataSource2;
using ml::list::PathListItem;
using ml::list::SortDescriptor;
using ml::list::SortKey;

constexpr int kRows = 10000;

class GeneratedFiles {
 public:
  GeneratedFiles() {
    std::string pattern = (std::filesystem::temp_directory_path() / "marrowlane-list-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    root_ = pattern;
    std::vector<int> order(kRows);
    for (int i = 0; i < kRows; ++i) order[static_cast<std::size_t>(i)] = i;
    std::mt19937 random(12345);
    std::shuffle(order.begin(), order.end(), random);
    std::string content(65536, 'x');
    for (int i : order) {
      auto file = root_ / ("file " + std::to_string(i) + ".dat");
      std::ofstream(file, std::ios::binary).write(content.data(), random() % 65536);
      paths_.emplace_back(file);
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

const GeneratedFiles& files() {
  static GeneratedFiles generated;
  return generated;
}

const std::vector<std::shared_ptr<PathListItem>>& rows() {
  static std::vector<std::shared_ptr<PathListItem>> built = [] {
    std::vector<std::shared_ptr<PathListItem>> result;
    for (const auto& path : files().paths()) result.push_back(PathListItem::make(path));
    return result;
  }();
  return built;
}

void BM_BuildRows(benchmark::State& state) {
  const auto& paths = files().paths();
  std::size_t next = 0;
  ml::list::SharedTexts texts;  // as rows built together share them
  for (auto _ : state) {
    benchmark::DoNotOptimize(PathListItem::make(paths[next++ % paths.size()], nullptr, &texts));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildRows)->Unit(benchmark::kMicrosecond);

// Alternating directions, so every iteration reorders all rows.
void BM_SortDataSource(benchmark::State& state) {
  ListWindowDataSource2 source;
  source.append(rows());
  const auto key = static_cast<SortKey>(state.range(0));
  bool ascending = true;
  for (auto _ : state) {
    source.sortDescriptorsDidChange({SortDescriptor{key, ascending}});
    ascending = !ascending;
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_SortDataSource)
    ->Arg(static_cast<int>(SortKey::name))
    ->Arg(static_cast<int>(SortKey::byteCount))
    ->Arg(static_cast<int>(SortKey::lastModifiedDate))
    ->Unit(benchmark::kMillisecond);

void BM_SortModelKeepingSelection(benchmark::State& state) {
  auto source = std::make_shared<ListWindowDataSource2>();
  source->append(rows());
  ml::list::ListOutlineModel model(source);
  QTreeView view;
  view.setUniformRowHeights(true);
  view.setModel(&model);
  view.resize(900, 600);
  for (int row = 0; row < kRows; row += 10) {
    view.selectionModel()->select(model.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  Qt::SortOrder order = Qt::AscendingOrder;
  for (auto _ : state) {
    model.sort(ml::list::ListOutlineModel::nameColumn, order);
    order = order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
  }
  state.counters["selected"] = static_cast<double>(view.selectionModel()->selectedRows().size());
}
BENCHMARK(BM_SortModelKeepingSelection)->Unit(benchmark::kMillisecond);

// The redraw of a loaded window with every row listed; the argument is how many rows are selected.
void BM_DisplayUpdate(benchmark::State& state) {
  auto window = std::make_shared<ml::list::ListWindow>();
  window->window()->resize(1100, 700);
  auto data = window->core().state().dataSource;
  data->append(rows());
  auto* view = window->window()->findChild<QTreeView*>("outlineView");
  ml::list::ListWindowState listState = window->core().state();
  window->update(listState);  // the process's first list: it selects its first row
  // Every other row (separate ranges, the costly shape of a selection), chosen at once.
  const int selected = static_cast<int>(state.range(0));
  QItemSelection rowsToSelect;
  for (int i = 0; i < selected; ++i) {
    QModelIndex index = window->model()->index(i * (kRows / std::max(selected, 1)), 0);
    rowsToSelect.select(index, index);
  }
  view->selectionModel()->select(rowsToSelect, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  for (auto _ : state) window->update(listState);
  state.counters["title"] = static_cast<double>(window->window()->windowTitle().size());
  delete window->window();
}
BENCHMARK(BM_DisplayUpdate)->Arg(0)->Arg(1)->Arg(kRows / 2)->Unit(benchmark::kMillisecond);

// A workspace whose Trash takes every item at once: what is measured is the list's own part.
class InstantTrash final : public ml::appkit::Workspace {
 public:
  void open(const std::filesystem::path&, const std::optional<std::string>&) override {}
  void reveal(const std::vector<std::filesystem::path>&) override {}
  void recycle(std::vector<std::filesystem::path> items, RecycleCompletion completion) override {
    completion(std::move(items), std::nullopt);
  }
};

// Move to Trash of every other row of the window (5,000 separate runs), from the action to the
// last of those rows gone from the outline: the selection read, the match with what the Trash
// took, the removal and the redraw.
void BM_TrashScatteredRows(benchmark::State& state) {
  ml::shell::ShellServices services;
  services.workspace = std::make_shared<InstantTrash>();
  for (auto _ : state) {
    state.PauseTiming();
    auto window = std::make_shared<ml::list::ListWindow>(ml::shell::WindowContext{nullptr, &services});
    window->window()->resize(1100, 700);
    window->core().state().dataSource->append(rows());
    auto* view = window->window()->findChild<QTreeView*>("outlineView");
    QItemSelection everyOther;
    for (int row = 0; row < kRows; row += 2) everyOther.select(window->model()->index(row, 0), window->model()->index(row, 0));
    view->selectionModel()->select(everyOther, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    state.ResumeTiming();
    window->moveSelectedToTrash();
    while (window->model()->rowCount() != kRows / 2) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    state.PauseTiming();
    delete window->window();
    window.reset();
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_TrashScatteredRows)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // The application's own, so that the main queue is served (the Trash's completion waits on it).
  ml::appkit::Application app(argc, argv);
  rows();  // build the rows before any timing
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
