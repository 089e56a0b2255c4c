#include "list/state/ListWindowState.h"

#include <gtest/gtest.h>

#include "ListStoreFixture.h"
#include "list/rows/DataSourceObserver.h"
#include "shell/core/ApplicationEvents.h"

namespace ml::list {
namespace {

using testing::HeadlessListStoreTest;

class ListWindowStateTest : public HeadlessListStoreTest {};

// Counts the rows of each insertion the data source announces.
class BatchCounter final : public DataSourceObserver {
 public:
  void willInsertRows(int first, int last) override { batches.push_back(last - first + 1); }
  void didInsertRows() override {}
  void willRemoveRows(int, int) override {}
  void didRemoveRows() override {}
  void willReorderRows() override {}
  void didReorderRows(const std::unordered_map<const PathListItem*, PathListItem*>&) override {}
  std::vector<int> batches;
};

TEST_F(ListWindowStateTest, AddedPathsAreAppendedInOrderAndAPathAddedAgainGetsASecondRow) {
  auto a = file("a"), b = file("b");
  fireAndWait(ItemsAddedEvent({b, a}));
  fireAndWait(ItemsAddedEvent({b}));
  EXPECT_EQ(names(), (std::vector<std::string>{"b", "a", "b"}));
}

TEST_F(ListWindowStateTest, EveryEventStampsTheStateEvenWhenItChangesNoRow) {
  for (auto event : std::vector<std::shared_ptr<const store::Event>>{
           std::make_shared<const ItemsAddedEvent>(std::vector<files::Path>{}),
           std::make_shared<const LoadedDataInvalidated>(),
           std::make_shared<const ListWindowSelectionChangedEvent>(std::vector<files::Path>{}),
           std::make_shared<const shell::ItemsTrashed>(std::vector<files::Path>{}, std::nullopt)}) {
    clock.advance(std::chrono::seconds(5));
    core->fire(event);
    drainStore();
    EXPECT_EQ(core->state().lastUpdated, clock.now());
  }
  EXPECT_TRUE(names().empty());
}

// Only the rows that went leave the selection.
TEST_F(ListWindowStateTest, RemovingAPathDropsEveryRowShowingItAndOnlyThoseLeaveTheSelection) {
  auto a = file("a"), b = file("b");
  fireAndWait(ItemsAddedEvent({a, b, a}));
  select({0, 1});
  const auto kept = rows()->items()[1];
  fireAndWait(ItemsRemovedEvent({a}, false));
  EXPECT_EQ(names(), (std::vector<std::string>{"b"}));
  EXPECT_EQ(core->state().selectedItems(), (std::vector<files::Path>{b}));
  EXPECT_EQ(view->selectedItems(), (std::vector<std::shared_ptr<PathListItem>>{kept}));
  EXPECT_EQ(view->deselections, 0);
  EXPECT_TRUE(std::filesystem::exists(a.url()));
}

TEST_F(ListWindowStateTest, RemovingAPathShownOnlyInsideAFolderKeepsTheRowsAndTheSelection) {
  auto inner = file("box/a");
  fireAndWait(ItemsAddedEvent({folder("box")}));
  select({0});
  fireAndWait(ItemsRemovedEvent({inner}, false));
  EXPECT_EQ(names(), (std::vector<std::string>{"box"}));
  EXPECT_EQ(view->selectedItems().size(), 1u);
  EXPECT_EQ(view->deselections, 0);
}

TEST_F(ListWindowStateTest, AMovedItemsRowIsReplacedInPlaceByAFreshRow) {
  auto a = file("a", "1234"), b = file("b"), c = file("c");
  fireAndWait(ItemsAddedEvent({a, b, c}));
  auto old = rows()->items()[1];
  std::filesystem::rename(b.url(), dir.path() / "renamed");
  fireAndWait(shell::ItemsMoved({{b, files::Path(dir.path() / "renamed")}}));
  EXPECT_EQ(names(), (std::vector<std::string>{"a", "renamed", "c"}));
  EXPECT_NE(rows()->items()[1], old);
  EXPECT_EQ(rows()->items()[1]->byteCount(), 1);
}

TEST_F(ListWindowStateTest, RenamesOfItemsNotListedChangeNoRow) {
  auto a = file("a");
  fireAndWait(ItemsAddedEvent({a}));
  auto before = rows()->items()[0];
  fireAndWait(ItemsRenamed({{file("other"), file("else")}}, true));
  ASSERT_EQ(rows()->items().size(), 1u);
  EXPECT_EQ(rows()->items()[0], before);
}

TEST_F(ListWindowStateTest, AnUnsuccessfulRenameStillReplacesEveryRowItNames) {
  auto a = file("a"), b = file("b");
  fireAndWait(ItemsAddedEvent({a, b, a}));
  fireAndWait(ItemsRenamed({{a, file("A")}}, false));
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "b", "A"}));
  EXPECT_NE(rows()->items()[0], rows()->items()[2]);
}

TEST_F(ListWindowStateTest, ALaterPairForTheSameItemWins) {
  auto a = file("a");
  fireAndWait(ItemsAddedEvent({a}));
  fireAndWait(shell::ItemsMoved({{a, file("first")}, {a, file("second")}}));
  EXPECT_EQ(names(), (std::vector<std::string>{"second"}));
}

TEST_F(ListWindowStateTest, ALargeAdditionArrivesInBatchesTheFirstEarly) {
  std::vector<files::Path> paths;
  for (int i = 0; i < 250; ++i) paths.push_back(files::Path(dir.path() / ("item" + std::to_string(i))));
  BatchCounter counter;
  rows()->setObserver(&counter);
  // Time stands still, so only the first batch's row limit and the end cut the batches.
  fireAndWait(ItemsAddedEvent(paths));
  rows()->setObserver(nullptr);
  EXPECT_EQ(counter.batches, (std::vector<int>{100, 150}));
  EXPECT_EQ(names().size(), 250u);
  EXPECT_EQ(names().back(), "item249");
}

TEST_F(ListWindowStateTest, TheSelectionIsReadFromTheOutlineInItsOrderFromAnyThread) {
  auto a = file("a"), b = file("b"), c = file("c");
  fireAndWait(ItemsAddedEvent({a, b, c}));
  select({0, 2});
  ListWindowState state = core->state();
  EXPECT_EQ(state.selectedItems(), (std::vector<files::Path>{a, c}));

  std::vector<files::Path> fromWorker;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    fromWorker = state.selectedItems();
    done = true;
  });
  ASSERT_TRUE(waitFor([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(fromWorker, (std::vector<files::Path>{a, c}));
}

TEST_F(ListWindowStateTest, BeforeTheWindowLoadedNothingIsSelected) {
  ListWindowState fresh(clock);
  EXPECT_TRUE(fresh.selectedItems().empty());
}

}  // namespace
}  // namespace ml::list
