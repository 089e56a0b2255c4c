#include "info/state/AcceptChanges.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "FaultyFileSystem.h"
#include "InfoStoreProbe.h"
#include "files/MutableAppleAttributes.h"
#include "files/MutableBasicAttributes.h"
#include "info/state/InfoWindowEvents.h"
#include "info/state/SaveAndClose.h"
#include "support/CaseInsensitiveVolume.h"
#include "support/FileFixtures.h"
#include "support/ManualMainLoop.h"
#include "support/TempDir.h"

namespace ml::info {
namespace {

using files::Date;
using files::Path;
using namespace std::chrono_literals;
using testing::FaultyFileSystem;
using testing::InfoStoreProbe;

Date at(std::chrono::seconds s) { return Date(std::chrono::duration_cast<Date::duration>(s)); }

// What the apply writes, as read back from the item.
struct Snapshot {
  std::optional<Date> created;
  Date modified, accessed;
  bool invisible, extensionHidden;
  std::optional<std::string> type, creator;
  friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

Snapshot snapshot(const Path& path) {
  auto basic = path.fileSystem().basicAttributes(path);
  auto finder = path.fileSystem().finderAttributes(path);
  return {basic->creationDate(), basic->lastModifiedDate(), basic->lastAccessedDate(), basic->isInvisible(),
          basic->isExtensionHidden(), finder->typeCode(), finder->creatorCode()};
}

class AcceptChangesTest : public ::testing::Test {
 protected:
  AcceptChangesTest() {
    files::MutableBasicAttributes basic(*path.fileSystem().basicAttributes(path));
    basic.setLastModifiedDate(at(1500000000s));
    basic.setLastAccessedDate(at(1500000100s));
    EXPECT_TRUE(path.fileSystem().updateBasicAttributes(path, basic));
    files::MutableAppleAttributes finder(*path.fileSystem().finderAttributes(path));
    finder.setTypeCode("TEXT");
    finder.setCreatorCode("ttxt");
    EXPECT_TRUE(path.fileSystem().updateFinderAttributes(path, finder));
    fs->basicWrites = 0;
    fs->finderWrites = 0;
  }

  // Applies `changes` to the item and waits for the outcome.
  foundation::Status apply(std::map<EditableField, FieldValue> changes, std::optional<Path> shown = std::nullopt) {
    InfoWindowState state;
    state.paths = {shown.value_or(path)};
    state.changes = std::move(changes);
    auto status = AcceptChanges::apply(state, *probe.core);
    probe.settle();
    return status;
  }

  test::TempDir dir;
  std::shared_ptr<FaultyFileSystem> fs = FaultyFileSystem::make();
  Path path = fs->path(dir.write("report.txt", "text"));
  InfoStoreProbe probe;
};

TEST_F(AcceptChangesTest, NoPendingEditsWritesNothingAndReportsSuccessWithoutAPath) {
  ASSERT_TRUE(apply({}));
  EXPECT_EQ(fs->basicWrites, 0);
  EXPECT_EQ(fs->finderWrites, 0);
  EXPECT_EQ(fs->moves, 0);
  auto applied = probe.recorder->all<ChangesApplied>();
  ASSERT_EQ(applied.size(), 1u);
  EXPECT_FALSE(applied[0].replacementPath);
}

TEST_F(AcceptChangesTest, ANameEditAloneMovesTheItemWithinItsFolder) {
  ASSERT_TRUE(apply({{EditableField::name, std::string("summary.txt")}}));
  EXPECT_EQ(fs->basicWrites, 0);
  EXPECT_EQ(fs->finderWrites, 0);
  EXPECT_FALSE(std::filesystem::exists(path.url()));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "summary.txt"));
  auto applied = probe.recorder->all<ChangesApplied>();
  ASSERT_EQ(applied.size(), 1u);
  EXPECT_EQ(applied[0].replacementPath, Path(dir.path() / "summary.txt"));
}

TEST_F(AcceptChangesTest, AnItemWithoutAParentIsRenamedWithinTheRoot) {
  // A relative path has no parent; it is read through the current folder.
  test::TempDir root;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  fs->root = root.path();
  auto status = apply({{EditableField::name, std::string("moved.txt")}}, fs->path("report.txt"));
  std::filesystem::current_path(previous);
  ASSERT_TRUE(status) << status.error();
  EXPECT_TRUE(std::filesystem::exists(root.path() / "moved.txt"));
  EXPECT_EQ(probe.recorder->all<ChangesApplied>().at(0).replacementPath, Path(root.path() / "moved.txt"));
}

TEST_F(AcceptChangesTest, EveryWritableFieldReachesTheItem) {
  ASSERT_TRUE(apply({{EditableField::created, at(1000000000s)},
                     {EditableField::modified, at(1600000000s)},
                     {EditableField::accessed, at(1600000100s)},
                     {EditableField::invisible, true},
                     {EditableField::hiddenExtension, true},
                     {EditableField::typeCode, std::string("PDF ")},
                     {EditableField::creatorCode, std::nullopt},
                     {EditableField::name, std::string("summary.txt")}}));
  Snapshot after = snapshot(Path(dir.path() / "summary.txt"));
  EXPECT_EQ(after, (Snapshot{at(1000000000s), at(1600000000s), at(1600000100s), true, true, "PDF ", std::nullopt}));
}

TEST_F(AcceptChangesTest, AFailedRenamePutsBackWhatWasWrittenBeforeIt) {
  dir.write("taken.txt", "other");
  const Snapshot before = snapshot(path);
  auto status = apply({{EditableField::modified, at(1600000000s)},
                       {EditableField::invisible, true},
                       {EditableField::hiddenExtension, true},
                       {EditableField::typeCode, std::string("PDF ")},
                       {EditableField::creatorCode, std::string("prvw")},
                       {EditableField::name, std::string("taken.txt")}});
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(EEXIST));
  EXPECT_EQ(snapshot(path), before);
  auto failed = probe.recorder->all<ChangesFailed>();
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_TRUE(failed[0].error.isPosix(EEXIST));
  EXPECT_TRUE(probe.recorder->all<ChangesApplied>().empty());
}

TEST_F(AcceptChangesTest, ARenameFailureIsLoggedWithItsDestination) {
  test::LogCapture log;
  dir.write("taken.txt", "other");
  ASSERT_FALSE(apply({{EditableField::name, std::string("taken.txt")}}));
  EXPECT_NE(log.text().find("unable to rename file. path=" + path.description() + " destination=Optional(" +
                            (dir.path() / "taken.txt").string() + ") error=NSPOSIXErrorDomain(17)"),
            std::string::npos);
}

TEST_F(AcceptChangesTest, AFailedBasicWriteSkipsTheRestAndStillRollsBackBoth) {
  test::LogCapture log;
  fs->failBasic = foundation::Error::posix(EROFS);
  auto status = apply({{EditableField::modified, at(1600000000s)},
                       {EditableField::typeCode, std::string("PDF ")},
                       {EditableField::name, std::string("summary.txt")}});
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(EROFS));
  EXPECT_EQ(fs->finderWrites, 1);  // the rollback's, not the edit's
  EXPECT_EQ(fs->moves, 0);
  EXPECT_EQ(snapshot(path).type, "TEXT");
  EXPECT_TRUE(std::filesystem::exists(path.url()));
  EXPECT_NE(log.text().find("failed to rollback basic attributes. path=" + path.description() +
                            " error=NSPOSIXErrorDomain(30)"),
            std::string::npos);
  EXPECT_TRUE(probe.recorder->all<ChangesFailed>().at(0).error.isPosix(EROFS));
}

TEST_F(AcceptChangesTest, AFailedFinderWritePutsBackTheBasicAttributes) {
  const Snapshot before = snapshot(path);
  fs->failFinder = foundation::Error::posix(EIO);
  ASSERT_FALSE(apply({{EditableField::modified, at(1600000000s)}, {EditableField::creatorCode, std::string("prvw")}}));
  EXPECT_EQ(snapshot(path), before);
  EXPECT_EQ(fs->basicWrites, 2);  // the edit, then the rollback
}

// Edits nothing writes are logged and left out; they do not hold back the others.
TEST_F(AcceptChangesTest, EditsNothingWritesAreLoggedAndTheOthersApplied) {
  test::LogCapture log;
  Snapshot expected = snapshot(path);
  expected.modified = at(1600000000s);
  auto status = apply({{EditableField::owner, std::string("nobody")},
                       {EditableField::fileLocked, true},
                       {EditableField::modified, at(1600000000s)}});
  ASSERT_TRUE(status) << status.error().description();
  EXPECT_EQ(snapshot(path), expected);
  EXPECT_EQ(fs->basicWrites, 1);
  EXPECT_EQ(probe.recorder->all<ChangesApplied>().size(), 1u);
  EXPECT_TRUE(probe.recorder->all<ChangesFailed>().empty());
  const auto text = log.text();
  EXPECT_NE(text.find("unhandled update. item=" + path.description() + " field=owner value=Optional(\"nobody\")"),
            std::string::npos);
  EXPECT_NE(text.find("field=fileLocked value=Optional(true)"), std::string::npos);
}

TEST_F(AcceptChangesTest, ClearingTheAccessDateIsRefused) {
  auto status = apply({{EditableField::accessed, std::nullopt}});
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(EINVAL));
  EXPECT_EQ(fs->basicWrites, 0);
}

TEST_F(AcceptChangesTest, ANameThatIsNotASingleComponentIsRefused) {
  std::filesystem::create_directory(dir.path() / "sub");
  for (std::string name : {"sub/inside.txt", "..", "", "."}) {
    auto status = apply({{EditableField::name, name}});
    ASSERT_FALSE(status) << name;
    EXPECT_TRUE(status.error().isPosix(EINVAL)) << name;
  }
  EXPECT_EQ(fs->moves, 0);
  EXPECT_TRUE(std::filesystem::exists(path.url()));
}

TEST_F(AcceptChangesTest, AnItemThatCannotBeReadIsReportedAndNothingWritten) {
  fs->failRead = foundation::Error::posix(ENOENT);
  auto status = apply({{EditableField::modified, at(1600000000s)}});
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(ENOENT));
  EXPECT_EQ(fs->basicWrites, 0);
  EXPECT_EQ(probe.recorder->all<ChangesFailed>().size(), 1u);
}

TEST_F(AcceptChangesTest, NothingShownDoesNothing) {
  InfoWindowState state;
  state.paths = {path};
  state.displayed = -1;
  state.changes[EditableField::modified] = at(1600000000s);
  EXPECT_TRUE(AcceptChanges::apply(state, *probe.core));
  probe.settle();
  EXPECT_EQ(probe.recorder->count(), 0u);
  EXPECT_EQ(fs->basicWrites, 0);
}

TEST_F(AcceptChangesTest, AppliedThroughTheStoreTheStateTakesTheNewPathAndDropsTheEdits) {
  probe.core->fire(Initialized({path}));
  probe.core->fire(FieldUpdated(EditableField::name, std::string("summary.txt")));
  probe.core->fire(AcceptChanges());
  probe.settle();
  auto state = probe.state();
  EXPECT_EQ(state.displayedPath(), Path(dir.path() / "summary.txt"));
  EXPECT_TRUE(state.changes.empty());
}

// The window on [a.txt, b.txt]: an edit made for a.txt is written to a.txt or to nothing, and the
// outcome of an apply changes only the item it wrote, whatever the window shows by then.
TEST_F(AcceptChangesTest, EditsAndTheirOutcomeStayWithTheirItem) {
  Path b = fs->path(dir.write("b.txt", "b"));
  probe.core->fire(Initialized({path, b}));
  probe.core->fire(FieldUpdated(EditableField::name, std::string("renamed-a.txt")));
  probe.core->fire(shell::ItemsTrashed({path}, std::nullopt));
  probe.core->fire(AcceptChanges());
  probe.settle();
  EXPECT_TRUE(std::filesystem::exists(b.url()));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "renamed-a.txt"));

  // The other item is picked while the apply runs: its outcome arrives after the pick.
  Path c = fs->path(dir.write("c.txt", "c"));
  probe.core->fire(Initialized({b, c}));
  probe.core->fire(FieldUpdated(EditableField::name, std::string("renamed-b.txt")));
  probe.core->fire(AcceptChanges());
  probe.core->fire(SelectedPathUpdated(c));
  probe.settle();
  auto state = probe.state();
  EXPECT_EQ(state.paths, (std::vector<Path>{Path(dir.path() / "renamed-b.txt"), c}));
  EXPECT_EQ(state.displayedPath(), c);
}

// A change of case alone, on a volume that ignores case, where a plain move finds the item itself
// in the way; a name another item holds is still refused, saying so.
TEST(AcceptChangesOnACaseInsensitiveVolume, ChangesTheCaseOfANameAndRefusesATakenOne) {
  test::CaseInsensitiveVolume volume;
  if (!volume.mounted()) GTEST_SKIP() << volume.skipReason();
  const auto root = volume.root();
  { std::ofstream(root / "photo.JPG") << "jpeg"; }
  { std::ofstream(root / "other.txt") << "text"; }
  InfoStoreProbe probe;
  probe.core->fire(Initialized({Path(root / "photo.JPG")}));
  probe.core->fire(FieldUpdated(EditableField::name, std::string("photo.jpg")));
  probe.core->fire(AcceptChanges());
  probe.settle();
  ASSERT_TRUE(probe.recorder->all<ChangesFailed>().empty()) << probe.recorder->all<ChangesFailed>()[0].error;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(root)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"other.txt", "photo.jpg"})) << volume.how();
  EXPECT_EQ(probe.state().displayedPath(), Path(root / "photo.jpg"));

  probe.core->fire(FieldUpdated(EditableField::name, std::string("OTHER.TXT")));
  probe.core->fire(AcceptChanges());
  probe.settle();
  auto failed = probe.recorder->all<ChangesFailed>();
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_TRUE(failed[0].error.isPosix(EEXIST));
  EXPECT_NE(failed[0].error.message.find("OTHER.TXT"), std::string::npos) << failed[0].error.message;
  EXPECT_TRUE(std::filesystem::exists(root / "photo.jpg"));
}

class SaveAndCloseTest : public AcceptChangesTest {
 protected:
  test::ManualMainLoop loop;
  bool closed = false;
};

TEST_F(SaveAndCloseTest, WritesTheEditsThenClosesTheWindow) {
  probe.core->fire(Initialized({path}));
  probe.core->fire(FieldUpdated(EditableField::name, std::string("summary.txt")));
  probe.core->fire(SaveAndClose([this] { closed = true; }));
  probe.settle();
  loop.drain();
  EXPECT_TRUE(closed);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "summary.txt"));
}

TEST_F(SaveAndCloseTest, AFailedWriteLeavesTheWindowOpenWithItsEdits) {
  dir.write("taken.txt", "other");
  probe.core->fire(Initialized({path}));
  probe.core->fire(FieldUpdated(EditableField::name, std::string("taken.txt")));
  probe.core->fire(SaveAndClose([this] { closed = true; }));
  probe.settle();
  loop.drain();
  EXPECT_FALSE(closed);
  EXPECT_TRUE(probe.state().hasChange(EditableField::name));
  EXPECT_TRUE(probe.state().lastFailure);
}

}  // namespace
}  // namespace ml::info
