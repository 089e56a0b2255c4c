// The confirmation's walk: progress, rename, skip, rename remaining, abort, and the results.
#include <gtest/gtest.h>

#include "RenameFixtures.h"
#include "rename/confirmation/RenameConfirmation.h"

namespace ml::rename {
namespace {

namespace fs = std::filesystem;

using testing::makeItems;

TEST(RenameConfirmation, ShowsEachItemWithItsNewNameAndProgress) {
  test::TempDir dir;
  auto items = makeItems(dir, {"a.txt", "b.txt", "c.txt", "d.txt"});
  RenameConfirmation confirmation(items, testing::suffixRule("-x"));
  std::vector<double> progress;
  while (!confirmation.isFinished()) {
    auto shown = confirmation.current();
    progress.push_back(shown.progress);
    EXPECT_TRUE(shown.canRename);
    if (confirmation.index() == 0) {
      EXPECT_EQ(shown.currentName, "a.txt");
      EXPECT_EQ(shown.newNameText, "a-x.txt");
    }
    confirmation.skip();
  }
  EXPECT_EQ(progress, (std::vector<double>{0, 25, 50, 75}));
  EXPECT_TRUE(confirmation.results().empty());
  EXPECT_TRUE(fs::exists(dir.path() / "a.txt"));
}

TEST(RenameConfirmation, RenameRecordsOldAndNewPathsAndFinishesAfterTheLast) {
  test::TempDir dir;
  auto items = makeItems(dir, {"a.txt", "b.txt"});
  RenameConfirmation confirmation(items, testing::suffixRule("-x"));
  ASSERT_TRUE(confirmation.renameCurrent().ok());
  EXPECT_FALSE(confirmation.isFinished());
  EXPECT_EQ(confirmation.index(), 1u);
  ASSERT_TRUE(confirmation.renameCurrent().ok());
  EXPECT_TRUE(confirmation.isFinished());
  ASSERT_EQ(confirmation.results().size(), 2u);
  EXPECT_EQ(confirmation.results()[0].first, items[0]);
  EXPECT_EQ(confirmation.results()[0].second.url(), dir.path() / "a-x.txt");
  EXPECT_EQ(confirmation.results()[1].second.url(), dir.path() / "b-x.txt");
}

TEST(RenameConfirmation, FailedRenameKeepsTheItemCurrent) {
  test::TempDir dir;
  auto items = makeItems(dir, {"a.txt", "a-x.txt", "b.txt"});
  RenameConfirmation confirmation({items[0], items[2]}, testing::suffixRule("-x"));
  auto failed = confirmation.renameCurrent();
  ASSERT_FALSE(failed.ok());
  EXPECT_TRUE(failed.error().isPosix(EEXIST));
  EXPECT_EQ(confirmation.index(), 0u);
  EXPECT_TRUE(confirmation.results().empty());
  confirmation.skip();
  ASSERT_TRUE(confirmation.renameCurrent().ok());
  EXPECT_TRUE(confirmation.isFinished());
  EXPECT_EQ(confirmation.results().size(), 1u);
  EXPECT_EQ(testing::contents(dir.path() / "a-x.txt"), "contents of a-x.txt");
}

TEST(RenameConfirmation, RenameRemainingGoesOnPastFailuresAndReportsThem) {
  test::TempDir dir;
  auto items = makeItems(dir, {"a.txt", "b.txt", "b-x.txt", "c.txt"});
  RenameConfirmation confirmation({items[0], items[1], items[3]}, testing::suffixRule("-x"));
  confirmation.skip();
  auto failures = confirmation.renameRemaining();
  EXPECT_TRUE(confirmation.isFinished());
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].item, items[1]);
  EXPECT_TRUE(failures[0].error.isPosix(EEXIST));
  ASSERT_EQ(confirmation.results().size(), 1u);
  EXPECT_EQ(confirmation.results()[0].second.url(), dir.path() / "c-x.txt");
  EXPECT_TRUE(fs::exists(dir.path() / "a.txt"));
}

TEST(RenameConfirmation, AbortKeepsWhatWasAlreadyRenamed) {
  test::TempDir dir;
  auto items = makeItems(dir, {"1", "2", "3", "4", "5"});
  RenameConfirmation confirmation(items, testing::suffixRule("-x"));
  ASSERT_TRUE(confirmation.renameCurrent().ok());
  ASSERT_TRUE(confirmation.renameCurrent().ok());
  confirmation.abort();
  EXPECT_TRUE(confirmation.isFinished());
  EXPECT_EQ(confirmation.results().size(), 2u);
  EXPECT_TRUE(fs::exists(dir.path() / "2-x"));
  EXPECT_TRUE(fs::exists(dir.path() / "3"));
}

TEST(RenameConfirmation, ItemTheRuleCannotNameIsShownAsSuch) {
  test::TempDir dir;
  auto items = makeItems(dir, {"a.txt"});
  auto failing = testing::ruleWith([](BasicRenamingStrategy& s) {
    s.name = NameModification::replace("(", "x", ReplacementMode::all, MatchLocation::everywhere);
  });
  RenameConfirmation confirmation(items, failing);
  auto shown = confirmation.current();
  EXPECT_EQ(shown.newNameText, "Unable to calculate new name");
  EXPECT_FALSE(shown.canRename);

  RenameConfirmation slash(items, std::make_shared<testing::FixedNameRule>("x/y"));
  auto unsafe = slash.current();
  EXPECT_EQ(unsafe.newNameText, "x/y");
  EXPECT_FALSE(unsafe.canRename);
  ASSERT_TRUE(unsafe.problem.has_value());
}

TEST(RenameConfirmation, NoItemsIsFinishedFromTheStart) {
  RenameConfirmation confirmation({}, testing::suffixRule("-x"));
  EXPECT_TRUE(confirmation.isFinished());
  EXPECT_TRUE(confirmation.renameRemaining().empty());
}

}  // namespace
}  // namespace ml::rename
