#include "list/display/ListDisplay.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include "list/display/SelectionDetails.h"
#include "platform/dispatch/MainQueue.h"
#include "support/ManualMainLoop.h"
#include "support/TempDir.h"

namespace ml::list {
namespace {

namespace fs = std::filesystem;

// Runs each task at once, on the caller's thread.
class InlineQueue final : public dispatch::Queue {
 public:
  void async(std::function<void()> task) override { task(); }
};

class ListDisplayTest : public ::testing::Test {
 protected:
  ListDisplayTest() {
    resetInitialLoadForTesting();
    UErrorCode status = U_ZERO_ERROR;
    saved_ = icu::Locale::getDefault();
    icu::Locale::setDefault(icu::Locale("en_US"), status);
  }
  ~ListDisplayTest() override {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(saved_, status);
    resetInitialLoadForTesting();
  }

 private:
  icu::Locale saved_;
};

TEST_F(ListDisplayTest, AnEmptyListShowsItsPageAndDisablesMoveAndCopy) {
  DisplayPlan plan = planDisplay(0, 0, 0);
  EXPECT_EQ(plan.title, "Items: 0");
  EXPECT_EQ(plan.tab, DetailTab::emptyList);
  EXPECT_FALSE(plan.actionsEnabled);
  EXPECT_EQ(plan.moveAndCopyEnabled, false);
  EXPECT_FALSE(plan.selectFirstRow);
  EXPECT_TRUE(isInitialLoad());
}

TEST_F(ListDisplayTest, OnlyTheFirstListShownWithRowsGetsItsFirstRowSelected) {
  DisplayPlan first = planDisplay(3, 3, 0);
  EXPECT_TRUE(first.selectFirstRow);
  EXPECT_EQ(first.tab, DetailTab::singleItem);
  EXPECT_FALSE(first.actionsEnabled);
  EXPECT_FALSE(isInitialLoad());

  DisplayPlan later = planDisplay(3, 3, 0);
  EXPECT_FALSE(later.selectFirstRow);
  EXPECT_EQ(later.tab, DetailTab::noneOrSeveral);
  EXPECT_EQ(later.selectedCountText, "Items selected: 0");
  EXPECT_FALSE(later.infoButtonEnabled);
  EXPECT_EQ(later.moveAndCopyEnabled, false);
}

TEST_F(ListDisplayTest, SeveralSelectedRowsShowTheCountPage) {
  DisplayPlan plan = planDisplay(5, 5, 2);
  EXPECT_EQ(plan.tab, DetailTab::noneOrSeveral);
  EXPECT_EQ(plan.selectedCountText, "Items selected: 2");
  EXPECT_TRUE(plan.infoButtonEnabled);
  EXPECT_TRUE(plan.actionsEnabled);
  EXPECT_EQ(plan.moveAndCopyEnabled, true);
}

TEST_F(ListDisplayTest, TheTitleGroupsDigitsAndTheCountLineNever) {
  EXPECT_EQ(planDisplay(1234, 1234, 1234).title, "Items: 1,234");
  EXPECT_EQ(details::selectedCount(1234), "Items selected: 1234");
}

TEST_F(ListDisplayTest, DetailTexts) {
  EXPECT_EQ(details::folderSummary({10, 2}), "for 12 items (10 files and 2 folders)");
  EXPECT_EQ(details::folderSummary({1000, 0}), "for 1,000 items (1,000 files and 0 folders)");
  EXPECT_EQ(details::sizeText(1572864), "1.5 MB (1,572,864 bytes)");
  EXPECT_EQ(details::sizeText(-1), "\u2014");
  EXPECT_EQ(details::dateText(std::nullopt), "");
}

class SelectionDetailsTest : public ::testing::Test {
 protected:
  InlineQueue background;
  test::ManualMainLoop loop;
  test::TempDir dir;
  SelectionDetails details{background, dispatch::MainQueue::shared()};
};

TEST_F(SelectionDetailsTest, AFoldersTotalsCountEverythingInside) {
  for (int i = 0; i < 10; ++i) dir.write("box/f" + std::to_string(i), "12345");
  fs::create_directories(dir.path() / "box/empty1");
  fs::create_directories(dir.path() / "box/empty2");
  // A link to "/" is one item of the folder: neither its size nor its count goes through it.
  fs::create_directory_symlink("/", dir.path() / "box/everything");
  std::optional<ItemFacts> facts;
  std::optional<FolderFacts> folder;
  details.load(files::Path(dir.path() / "box"), true, [&](const ItemFacts& f) { facts = f; },
               [&](const FolderFacts& f) { folder = f; });
  loop.drain();
  ASSERT_TRUE(facts && folder);
  EXPECT_TRUE(facts->dates.has_value());
  EXPECT_EQ(folder->bytes, 50);
  EXPECT_EQ(folder->counts, (files::ContentCounts{11, 2}));
}

TEST_F(SelectionDetailsTest, AnUnreadableItemHasNoDatesAndAnUnknownKind) {
  std::optional<ItemFacts> facts;
  details.load(files::Path(dir.path() / "gone"), false, [&](const ItemFacts& f) { facts = f; }, nullptr);
  loop.drain();
  ASSERT_TRUE(facts);
  EXPECT_FALSE(facts->dates.has_value());
  EXPECT_EQ(facts->kind, "Unknown File Type");
}

TEST_F(SelectionDetailsTest, ResultsOfAnEarlierSelectionArrivingLateAreDropped) {
  auto path = files::Path(dir.write("a", "x"));
  int earlier = 0, later = 0;
  details.load(path, true, [&](const ItemFacts&) { ++earlier; }, [&](const FolderFacts&) { ++earlier; });
  details.load(path, false, [&](const ItemFacts&) { ++later; }, nullptr);
  loop.drain();
  EXPECT_EQ(earlier, 0);
  EXPECT_EQ(later, 1);
  details.cancel();
  details.load(path, false, [&](const ItemFacts&) { ++later; }, nullptr);
  details.cancel();
  loop.drain();
  EXPECT_EQ(later, 1);
}

}  // namespace
}  // namespace ml::list
