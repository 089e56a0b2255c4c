#include "info/state/InfoWindowState.h"

#include <gtest/gtest.h>

#include "files/FileSystem.h"
#include "files/MutableAppleAttributes.h"
#include "info/state/InfoWindowEvents.h"
#include "platform/dispatch/ManualClock.h"
#include "shell/core/ApplicationEvents.h"
#include "support/FileFixtures.h"
#include "support/TempDir.h"

namespace ml::info {
namespace {

using files::Path;
using namespace std::chrono_literals;

class InfoWindowStateTest : public ::testing::Test {
 protected:
  Path item(const std::string& name, const std::string& contents = "x") { return Path(dir.write(name, contents)); }

  // A state showing `paths` at `displayed`, as the window has it after Initialized.
  InfoWindowState showing(std::vector<Path> paths, int displayed = 0) {
    InfoWindowState state(clock);
    state.react(Initialized(std::move(paths)));
    state.displayed = displayed;
    return state;
  }

  static void setCodes(const Path& path, std::optional<std::string> type, std::optional<std::string> creator) {
    files::MutableAppleAttributes record(*path.fileSystem().finderAttributes(path));
    record.setTypeCode(std::move(type));
    record.setCreatorCode(std::move(creator));
    ASSERT_TRUE(path.fileSystem().updateFinderAttributes(path, record));
  }

  test::TempDir dir;
  dispatch::ManualClock clock;
};

TEST_F(InfoWindowStateTest, InitializedSetsThePathsAndKeepsTheRest) {
  InfoWindowState state;
  state.displayed = 0;
  state.changes[EditableField::name] = std::string("b");
  Path a = item("a"), b = item("b");
  state.react(Initialized({a, b}));
  EXPECT_EQ(state.paths, (std::vector<Path>{a, b}));
  EXPECT_EQ(state.displayed, 0);
  EXPECT_TRUE(state.hasChange(EditableField::name));
}

TEST_F(InfoWindowStateTest, TypingTheCurrentNameBackDropsThePendingRename) {
  auto state = showing({item("report.txt")});
  state.react(FieldUpdated(EditableField::name, std::string("summary.txt")));
  ASSERT_TRUE(state.hasChange(EditableField::name));
  EXPECT_EQ(*valueAs<std::string>(*state.change(EditableField::name)), "summary.txt");
  state.react(FieldUpdated(EditableField::name, std::string("report.txt")));
  EXPECT_FALSE(state.hasChange(EditableField::name));
}

TEST_F(InfoWindowStateTest, IconTagsAndAccessEditsStayPendingEvenWhenEqual) {
  Path path = item("a.txt");
  auto state = showing({path});
  auto finder = path.fileSystem().finderAttributes(path);
  state.react(FieldUpdated(EditableField::icon, finder->icon()));
  state.react(FieldUpdated(EditableField::tags, finder->tags()));
  state.react(FieldUpdated(EditableField::ownerPermissions, files::FilePermissions::ownerRead));
  EXPECT_TRUE(state.hasChange(EditableField::icon));
  EXPECT_TRUE(state.hasChange(EditableField::tags));
  EXPECT_TRUE(state.hasChange(EditableField::ownerPermissions));
}

TEST_F(InfoWindowStateTest, RemovingAnAbsentTypeCodeIsNoChangeButSettingOneIs) {
  auto state = showing({item("a.txt")});
  state.react(FieldUpdated(EditableField::typeCode, std::nullopt));
  EXPECT_FALSE(state.hasChange(EditableField::typeCode));
  state.react(FieldUpdated(EditableField::typeCode, std::string("TEXT")));
  EXPECT_TRUE(state.hasChange(EditableField::typeCode));
}

TEST_F(InfoWindowStateTest, FieldsUpdatedJudgesEachEntryOnItsOwn) {
  Path path = item("a.txt");
  setCodes(path, "TEXT", "ttxt");
  auto state = showing({path});
  state.react(FieldsUpdated({{EditableField::typeCode, std::string("TEXT")}, {EditableField::creatorCode, std::string("R*ch")}}));
  EXPECT_FALSE(state.hasChange(EditableField::typeCode));
  ASSERT_TRUE(state.hasChange(EditableField::creatorCode));
  EXPECT_EQ(*valueAs<std::string>(*state.change(EditableField::creatorCode)), "R*ch");
  // An absent creator code on an item that has one is a pending removal, held as an empty entry.
  state.react(FieldUpdated(EditableField::creatorCode, std::nullopt));
  ASSERT_TRUE(state.hasChange(EditableField::creatorCode));
  EXPECT_FALSE(state.change(EditableField::creatorCode)->has_value());
}

TEST_F(InfoWindowStateTest, FlagAndDateEditsEqualToTheItemAreDropped) {
  Path path = item("a.txt");
  auto basic = path.fileSystem().basicAttributes(path);
  auto state = showing({path});
  state.react(FieldUpdated(EditableField::invisible, true));
  state.react(FieldUpdated(EditableField::modified, basic->lastModifiedDate() - 1h));
  EXPECT_TRUE(state.hasChange(EditableField::invisible));
  EXPECT_TRUE(state.hasChange(EditableField::modified));
  state.react(FieldUpdated(EditableField::invisible, false));
  state.react(FieldUpdated(EditableField::modified, basic->lastModifiedDate()));
  EXPECT_TRUE(state.changes.empty());
}

TEST_F(InfoWindowStateTest, OwnerEditEqualToTheCurrentOwnerIsDropped) {
  Path path = item("a.txt");
  auto posix = path.fileSystem().posixAttributes(path);
  auto state = showing({path});
  state.react(FieldUpdated(EditableField::owner, std::string("somebody-else")));
  EXPECT_TRUE(state.hasChange(EditableField::owner));
  state.react(FieldUpdated(EditableField::owner, posix->owner()));
  EXPECT_FALSE(state.hasChange(EditableField::owner));
}

TEST_F(InfoWindowStateTest, AnEditOfAVanishedItemStaysPending) {
  Path path = item("a.txt");
  auto state = showing({path});
  std::filesystem::remove(path.url());
  state.react(FieldUpdated(EditableField::invisible, false));
  EXPECT_TRUE(state.hasChange(EditableField::invisible));
}

TEST_F(InfoWindowStateTest, SelectedPathUpdatedShowsTheMatchingPathAndDropsEdits) {
  Path a = item("a"), b = item("b");
  auto state = showing({a, b});
  state.react(FieldUpdated(EditableField::name, std::string("c")));
  state.react(SelectedPathUpdated(Path(b.url())));
  EXPECT_EQ(state.displayed, 1);
  EXPECT_TRUE(state.changes.empty());
}

// The edits belong to the shown item: a pick that shows no other item keeps them.
TEST_F(InfoWindowStateTest, PickingTheShownItemOrAnUnknownPathKeepsTheIndexAndTheEdits) {
  Path a = item("a"), b = item("b");
  auto state = showing({a, b}, 1);
  state.react(FieldUpdated(EditableField::name, std::string("c")));
  state.react(SelectedPathUpdated(Path(dir.path() / "elsewhere")));
  state.react(SelectedPathUpdated(Path(b.url())));
  EXPECT_EQ(state.displayed, 1);
  EXPECT_TRUE(state.hasChange(EditableField::name));
}

TEST_F(InfoWindowStateTest, TrashingTheShownItemShowsTheOneThatMovedIntoItsPlace) {
  Path a = item("a"), b = item("b"), c = item("c");
  auto state = showing({a, b, c}, 1);
  state.react(shell::ItemsTrashed({b}, std::nullopt));
  EXPECT_EQ(state.paths, (std::vector<Path>{a, c}));
  EXPECT_EQ(state.displayed, 1);
  EXPECT_EQ(state.displayedPath(), c);
}

TEST_F(InfoWindowStateTest, TrashingTheShownLastItemShowsTheNewLastItem) {
  Path a = item("a"), b = item("b"), c = item("c");
  auto state = showing({a, b, c}, 2);
  state.react(shell::ItemsTrashed({c}, std::nullopt));
  EXPECT_EQ(state.displayed, 1);
  EXPECT_EQ(state.displayedPath(), b);
}

TEST_F(InfoWindowStateTest, TrashingEveryItemLeavesNothingShownAndKeepsThePaths) {
  Path a = item("a"), b = item("b");
  auto state = showing({a, b}, 1);
  state.react(FieldUpdated(EditableField::name, std::string("z")));
  state.react(shell::ItemsTrashed({a, b}, std::nullopt));
  EXPECT_EQ(state.displayed, -1);
  EXPECT_EQ(state.paths, (std::vector<Path>{a, b}));
  EXPECT_FALSE(state.displayedPath());
  EXPECT_TRUE(state.selectedItems().empty());
  EXPECT_FALSE(state.hasChange(EditableField::name));  // they were the trashed item's
}

// Pending edits belong to their item: a trash hands them to no other item, and the shown item
// keeps being shown (with its edits) when others leave the list before it.
TEST_F(InfoWindowStateTest, ATrashNeverHandsTheShownItemsEditsToAnother) {
  Path a = item("a.txt"), b = item("b.txt"), c = item("c.txt");
  auto state = showing({a, b});
  state.react(FieldUpdated(EditableField::name, std::string("renamed-a.txt")));
  state.react(shell::ItemsTrashed({a}, std::nullopt));
  EXPECT_EQ(state.displayedPath(), b);
  EXPECT_TRUE(state.changes.empty());

  state = showing({a, b, c}, 1);
  state.react(FieldUpdated(EditableField::name, std::string("renamed-b.txt")));
  state.react(shell::ItemsTrashed({a}, std::nullopt));
  EXPECT_EQ(state.displayedPath(), b);
  EXPECT_TRUE(state.hasChange(EditableField::name));

  // A sheet's or panel's answer made for another item is not taken by the shown one.
  state.react(FieldUpdated(EditableField::typeCode, std::string("TEXT"), c));
  state.react(FieldsUpdated({{EditableField::creatorCode, std::string("ttxt")}}, c));
  EXPECT_FALSE(state.hasChange(EditableField::typeCode));
  EXPECT_FALSE(state.hasChange(EditableField::creatorCode));
  state.react(FieldUpdated(EditableField::typeCode, std::string("TEXT"), b));
  EXPECT_TRUE(state.hasChange(EditableField::typeCode));
}

TEST_F(InfoWindowStateTest, ATrashErrorIsLoggedAndItsItemsStillLeaveTheList) {
  test::LogCapture log;
  Path a = item("a"), b = item("b");
  auto state = showing({a, b});
  state.react(shell::ItemsTrashed({a}, foundation::Error::posix(EACCES)));
  EXPECT_EQ(state.paths, (std::vector<Path>{b}));
  EXPECT_NE(log.text().find("failed to delete some items. error=NSPOSIXErrorDomain(13)"), std::string::npos);
}

TEST_F(InfoWindowStateTest, AFailedApplyIsLoggedCountedAndKeepsTheEdits) {
  test::LogCapture log;
  Path a = item("a");
  auto state = showing({a});
  state.react(FieldUpdated(EditableField::name, std::string("z")));
  state.react(ChangesFailed(a, foundation::Error::posix(EEXIST)));
  state.react(ChangesFailed(a, foundation::Error::posix(EPERM)));
  EXPECT_TRUE(state.hasChange(EditableField::name));
  ASSERT_TRUE(state.lastFailure);
  EXPECT_EQ(state.lastFailure->serial, 2u);
  EXPECT_TRUE(state.lastFailure->error.isPosix(EPERM));
  EXPECT_NE(log.text().find("failed to apply changes. patah=" + a.description() + " err=NSPOSIXErrorDomain(17)"),
            std::string::npos);
}

TEST_F(InfoWindowStateTest, ChangesAppliedReplacesTheShownPathAfterARenameAndClearsEdits) {
  Path a = item("a"), b = item("b");
  auto state = showing({a, b}, 1);
  state.react(FieldUpdated(EditableField::name, std::string("z")));
  state.react(ChangesApplied(b, std::nullopt, state.changes));
  EXPECT_EQ(state.paths, (std::vector<Path>{a, b}));
  EXPECT_TRUE(state.changes.empty());
  Path renamed(dir.path() / "z");
  state.react(ChangesApplied(b, renamed));
  EXPECT_EQ(state.paths, (std::vector<Path>{a, renamed}));
}

// An outcome arriving after the window switched items is about the item written, not the one
// shown: that one keeps its place and its edits, and no item leaves the window.
TEST_F(InfoWindowStateTest, AnApplyOutcomeChangesOnlyTheItemItWrote) {
  Path a = item("a.txt"), b = item("b.txt");
  auto state = showing({a, b}, 1);
  state.react(FieldUpdated(EditableField::invisible, true));
  Path renamed(dir.path() / "renamed-a.txt");
  state.react(ChangesApplied(a, renamed, {{EditableField::name, std::string("renamed-a.txt")}}));
  EXPECT_EQ(state.paths, (std::vector<Path>{renamed, b}));
  EXPECT_EQ(state.displayedPath(), b);
  EXPECT_TRUE(state.hasChange(EditableField::invisible));
  // On the shown item, an edit made while the apply ran is not one it wrote, and stays.
  state.react(ChangesApplied(b, std::nullopt, {{EditableField::invisible, false}}));
  EXPECT_TRUE(state.hasChange(EditableField::invisible));
}

TEST_F(InfoWindowStateTest, RenamesOutsideTheListChangeNoPathButAskForARedraw) {
  Path a = item("a"), b = item("b");
  auto state = showing({a, b});
  EXPECT_EQ(state.lastUpdate, files::Date(clock.now()));
  clock.advance(5s);
  Path elsewhere(dir.path() / "other");
  state.react(shell::ApplicationEvents::ItemsRenamed({{elsewhere, Path(dir.path() / "other2")}}));
  EXPECT_EQ(state.paths, (std::vector<Path>{a, b}));
  EXPECT_EQ(state.lastUpdate, files::Date(clock.now()));
}

TEST_F(InfoWindowStateTest, ARenameIsFollowedOnceAndAgainChangesNothing) {
  Path a = item("a"), b = item("b");
  Path c(dir.path() / "c");
  auto state = showing({a, b});
  shell::ApplicationEvents::ItemsRenamed rename({{Path(a.url()), c}});
  state.react(rename);
  EXPECT_EQ(state.paths, (std::vector<Path>{c, b}));
  state.react(rename);
  EXPECT_EQ(state.paths, (std::vector<Path>{c, b}));
}

TEST_F(InfoWindowStateTest, AMoveFromTheToolbarIsFollowedLikeARename) {
  Path a = item("a");
  Path moved(dir.path() / "sub" / "a");
  auto state = showing({a});
  state.react(shell::ItemsMoved({{a, moved}}));
  EXPECT_EQ(state.displayedPath(), moved);
}

TEST_F(InfoWindowStateTest, InvalidatingAndResettingTheInterface) {
  auto state = showing({item("a")});
  state.react(FieldUpdated(EditableField::name, std::string("z")));
  clock.advance(1s);
  state.react(InterfaceInvalidated());
  EXPECT_EQ(state.lastUpdate, files::Date(clock.now()));
  EXPECT_TRUE(state.hasChange(EditableField::name));
  state.react(StateReset());
  EXPECT_TRUE(state.changes.empty());
}

TEST_F(InfoWindowStateTest, TheSelectionIsTheShownItemAlone) {
  Path a = item("a"), b = item("b");
  auto state = showing({a, b}, 1);
  EXPECT_EQ(state.selectedItems(), std::vector<Path>{b});
}

TEST(EditableFieldTest, TagsMapToFieldsByRawValue) {
  EXPECT_EQ(editableField(1), EditableField::name);
  EXPECT_EQ(editableField(11), EditableField::accessed);
  EXPECT_EQ(editableField(18), EditableField::creatorCode);
  EXPECT_FALSE(editableField(0));
  EXPECT_FALSE(editableField(19));
  EXPECT_EQ(caseName(EditableField::hiddenExtension), "hiddenExtension");
}

TEST(FieldValueTest, DebugTextNamesTheValueOrNil) {
  EXPECT_EQ(debugText(std::nullopt), "nil");
  EXPECT_EQ(debugText(FieldValue(std::string("root"))), "Optional(\"root\")");
  EXPECT_EQ(debugText(FieldValue(true)), "Optional(true)");
  EXPECT_EQ(debugText(FieldValue(files::FilePermissions(0640))), "Optional(0o640)");
}

}  // namespace
}  // namespace ml::info
