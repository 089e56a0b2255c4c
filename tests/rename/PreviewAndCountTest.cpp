// The preview's rows, the applicable count and its text, and the controls each mode shows.
#include <gtest/gtest.h>

#include "RenameFixtures.h"
#include "rename/dialog/ApplicableItems.h"
#include "rename/dialog/NameChangeVisibility.h"
#include "rename/dialog/PreviewRows.h"
#include "rename/dialog/RenameDialogEvents.h"

namespace ml::rename {
namespace {

using testing::makeItems;

TEST(PreviewRows, EveryItemGetsARowWithItsNewName) {
  test::TempDir dir;
  auto items = makeItems(dir, {"IMG_1.jpg", "docs/", "notes.txt"});
  RenameDialogState state(items);
  state.react(PatternUpdated("IMG_"));
  state.react(ReplacementValueUpdated("Photo "));
  auto rows = previewRows(state);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (PreviewRow{"IMG_1.jpg", "Photo 1.jpg"}));
  EXPECT_EQ(rows[1], (PreviewRow{"docs", "docs"}));
  EXPECT_EQ(rows[2], (PreviewRow{"notes.txt", "notes.txt"}));
}

TEST(PreviewRows, NewNamesAreBlankWithoutARuleAndOldWhenTheRuleFails) {
  RenameDialogState state({files::Path("/x/a(b.txt")});
  EXPECT_EQ(previewRows(state)[0], (PreviewRow{"a(b.txt", std::nullopt}));
  state.react(PatternUpdated("("));
  state.react(ReplacementValueUpdated("-"));
  EXPECT_EQ(previewRows(state)[0], (PreviewRow{"a(b.txt", "a(b.txt"}));
}

TEST(PreviewRows, ItemsWithNewNamesLeaveOutUnchangedAndFailingItems) {
  std::vector<files::Path> items{files::Path("/x/IMG_1.jpg"), files::Path("/x/other.jpg"), files::Path("/x/\xFF")};
  auto rule = testing::ruleWith([](BasicRenamingStrategy& s) {
    s.name = NameModification::replace("IMG_", "P", ReplacementMode::all, MatchLocation::everywhere);
  });
  EXPECT_EQ(itemsWithNewNames(items, *rule), std::vector<files::Path>{items[0]});
}

TEST(ApplicableItems, CountsTheItemsTheRuleRenamesFoldersIncluded) {
  test::TempDir dir;
  auto items = makeItems(dir, {"a_1/", "b/", "c_1.txt", "d.txt", "e.txt"});
  RenameDialogState state(items);
  EXPECT_EQ(applicableCount(state), 0);  // no rule yet
  state.react(PatternUpdated("_1"));
  state.react(ReplacementValueUpdated("-2"));
  EXPECT_EQ(applicableCount(state), 2);
  EXPECT_EQ(applicableCountText(2), "Items to rename: 2");
  EXPECT_EQ(previewRows(state).size(), 5u);
}

TEST(NameChangeVisibility, EachModeShowsItsControls) {
  using V = NameChangeVisibility;
  EXPECT_EQ(nameChangeVisibility(ChangeMode::replace(false)), (V{true, true, true, false, true, true}));
  EXPECT_EQ(nameChangeVisibility(ChangeMode::replace(true)), (V{true, true, true, true, false, std::nullopt}));
  EXPECT_EQ(nameChangeVisibility(ChangeMode::remove(false)), (V{true, false, false, false, true, true}));
  EXPECT_EQ(nameChangeVisibility(ChangeMode::remove(true)), (V{true, false, false, true, false, std::nullopt}));
  EXPECT_EQ(nameChangeVisibility(ChangeMode::regex()), (V{true, true, true, false, true, false}));
  EXPECT_EQ(nameChangeVisibility(ChangeMode::none()), (V{false, false, false, false, false, std::nullopt}));
}

}  // namespace
}  // namespace ml::rename
