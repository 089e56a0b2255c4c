#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "ListFixture.h"
#include "appkit/Pasteboard.h"
#include "files/MutableAppleAttributes.h"
#include "infostate/FaultyFileSystem.h"
#include "list/commands/AddCommands.h"
#include "list/commands/ChangeCaseFormat.h"
#include "list/commands/ClearCodeCommand.h"
#include "list/commands/CopyNames.h"
#include "list/commands/RemoveSelectedItems.h"
#include "list/commands/SimpleRename.h"
#include "support/CaseInsensitiveVolume.h"
#include "support/FileFixtures.h"

namespace ml::list {
namespace {

namespace fs = std::filesystem;
using testing::ListStoreTest;
using Request = shell::testing::FakeOpenPanels::Request;

class ListCommandsTest : public ListStoreTest {
 protected:
  template <class C, class... Args>
  void run(Args&&... args) {
    core->fire(std::make_shared<C>(std::forward<Args>(args)...));
    drainStore();  // the command
    drainStore();  // the events it fired
  }

  // Waits for the panel the command asked for.
  Request panel(std::size_t index = 0) {
    EXPECT_TRUE(waitFor([&] { return panels->count() > index; }));
    return panels->request(index);
  }

  // Every ItemsRenamed the store handles, in order.
  struct RenameLog final : store::Middleware<ListWindowState> {
    void process(const store::Event& event, const ListWindowState&) override {
      if (auto* renamed = event.as<ItemsRenamed>()) {
        std::lock_guard lock(mutex);
        seen.push_back(*renamed);
      }
    }
    std::vector<ItemsRenamed> all() {
      std::lock_guard lock(mutex);
      return seen;
    }
    std::mutex mutex;
    std::vector<ItemsRenamed> seen;
  };
  std::vector<ItemsRenamed> renames() { return renameLog->all(); }
  void SetUp() override {
    ListStoreTest::SetUp();
    core->add(renameLog);
  }

  std::shared_ptr<RenameLog> renameLog = std::make_shared<RenameLog>();
};

// Adding -----------------------------------------------------------------------------------------

TEST_F(ListCommandsTest, AddingItemsAsksForFilesAndFoldersAndAddsTheChosenInOrder) {
  auto a = file("a"), b = folder("b");
  core->fire(std::make_shared<SelectItemsToAdd>());
  Request request = panel();
  EXPECT_EQ(request.kind, Request::Kind::files);
  EXPECT_TRUE(request.allowDirectories);
  EXPECT_TRUE(request.allowFiles);
  panels->choose(0, {b.url(), a.url()});
  drainStore();
  EXPECT_EQ(names(), (std::vector<std::string>{"b", "a"}));
}

TEST_F(ListCommandsTest, AddingContentsAddsEachChosenFoldersEntriesOneLevelDeep) {
  file("one/x");
  file("one/.hidden");
  file("one/sub/deep");
  file("two/y");
  core->fire(std::make_shared<SelectContainersToAdd>());
  Request request = panel();
  EXPECT_TRUE(request.allowDirectories);
  EXPECT_FALSE(request.allowFiles);
  panels->choose(0, {dir.path() / "one", dir.path() / "missing", dir.path() / "two"});
  drainStore();
  auto listed = names();
  std::sort(listed.begin(), listed.end() - 1);
  EXPECT_EQ(listed, (std::vector<std::string>{".hidden", "sub", "x", "y"}));
}

TEST_F(ListCommandsTest, AddingTheContentsOfAnEmptyFolderAddsNothingButIsHandled) {
  auto empty = folder("empty");
  core->fire(std::make_shared<SelectContainersToAdd>());
  panel();
  clock.advance(std::chrono::seconds(1));
  panels->choose(0, {empty.url()});
  drainStore();
  EXPECT_TRUE(names().empty());
  EXPECT_EQ(core->state().lastUpdated, clock.now());
}

TEST_F(ListCommandsTest, AChoiceMadeAfterTheStoreWentAddsNothingAnywhere) {
  core->fire(std::make_shared<SelectItemsToAdd>());
  panel();
  const auto source = rows();
  std::weak_ptr<ListStore> store = core;
  core.reset();
  loop.drain();
  // The open panel holds the store weakly: it keeps nothing of the closed window alive.
  EXPECT_TRUE(store.expired());
  panels->choose(0, {file("late").url()});  // must not touch the destroyed store
  loop.drain();
  EXPECT_TRUE(store.expired());
  EXPECT_TRUE(source->items().empty());
  EXPECT_EQ(count(listWindows), 0u);  // nor do the items go to another list
}

// Removing ---------------------------------------------------------------------------------------

TEST_F(ListCommandsTest, RemovingTakesOnlyTheRowsOut) {
  auto a = file("a"), b = file("b");
  fireAndWait(ItemsAddedEvent({a, b}));
  select({0});
  run<RemoveSelectedItems>(false);
  EXPECT_EQ(names(), (std::vector<std::string>{"b"}));
  EXPECT_TRUE(fs::exists(a.url()));
  EXPECT_TRUE(workspace->recycled.empty());
}

TEST_F(ListCommandsTest, TrashingRecyclesTheSelectionAndRemovesTheRowsOfWhatWent) {
  auto a = file("a"), b = file("b");
  fireAndWait(ItemsAddedEvent({a, b}));
  select({1});
  run<RemoveSelectedItems>(true);
  ASSERT_TRUE(waitFor([&] { return names().size() == 1; }));
  EXPECT_EQ(names(), (std::vector<std::string>{"a"}));
  ASSERT_EQ(workspace->recycled.size(), 1u);
  EXPECT_EQ(workspace->recycled[0], (std::vector<fs::path>{b.url()}));
}

// The Trash takes the first item and refuses the others.
class PartialTrashTest : public ListCommandsTest {
 protected:
  class PartialWorkspace final : public appkit::Workspace {
   public:
    void open(const fs::path&, const std::optional<std::string>&) override {}
    void reveal(const std::vector<fs::path>&) override {}
    void recycle(std::vector<fs::path> items, RecycleCompletion completion) override {
      completion({items.front()}, foundation::Error::posix(EACCES));
    }
  };
  PartialTrashTest() { services.workspace = std::make_shared<PartialWorkspace>(); }
};

TEST_F(PartialTrashTest, TrashingKeepsTheRowsOfItemsThatCouldNotGo) {
  auto a = file("a"), b = file("b");
  fireAndWait(ItemsAddedEvent({a, b}));
  select({0, 1});
  run<RemoveSelectedItems>(true);
  drainStore();
  EXPECT_EQ(names(), (std::vector<std::string>{"b"}));
}

// Names ------------------------------------------------------------------------------------------

TEST_F(ListCommandsTest, CopyingNamesPutsOneNamePerLineWithoutAFinalLineFeed) {
  fireAndWait(ItemsAddedEvent({file("a.txt"), folder("b")}));
  select({0, 1});
  run<CopyNames>();
  loop.drain();
  EXPECT_EQ(appkit::Pasteboard::string(), "a.txt\nb");
}

TEST_F(ListCommandsTest, CopyingNamesOfNothingEmptiesTheClipboard) {
  appkit::Pasteboard::setString("before");
  run<CopyNames>();
  loop.drain();
  EXPECT_EQ(appkit::Pasteboard::string().value_or(""), "");
}

TEST_F(ListCommandsTest, RenamingInPlaceMovesTheItemAndReplacesItsRow) {
  auto a = file("a");
  fireAndWait(ItemsAddedEvent({a}));
  run<SimpleRename>(a, "b");
  EXPECT_TRUE(fs::exists(dir.path() / "b"));
  EXPECT_EQ(names(), (std::vector<std::string>{"b"}));
  ASSERT_EQ(renames().size(), 1u);
  EXPECT_TRUE(renames()[0].wasSuccessful);
}

TEST_F(ListCommandsTest, ARenameThatFailsLeavesTheRowAndTellsTheUserOnTheWindow) {
  auto a = file("a");
  file("taken");
  fireAndWait(ItemsAddedEvent({a}));
  run<SimpleRename>(a, "taken");
  loop.drain();
  EXPECT_EQ(names(), (std::vector<std::string>{"a"}));
  ASSERT_EQ(view->sheets.size(), 1u);
  EXPECT_EQ(view->sheets[0].messageText, "Name change failed");
  EXPECT_EQ(view->sheets[0].buttons, (std::vector<std::string>{"OK"}));
  EXPECT_TRUE(renames().empty());
}

TEST_F(ListCommandsTest, NamesThatWouldLeaveTheFolderAreRefused) {
  auto a = file("a");
  folder("sub");
  fireAndWait(ItemsAddedEvent({a}));
  for (const char* name : {"", ".", "..", "sub/a", "../a"}) run<SimpleRename>(a, name);
  loop.drain();
  EXPECT_TRUE(fs::exists(a.url()));
  EXPECT_FALSE(fs::exists(dir.path() / "sub/a"));
  EXPECT_EQ(view->sheets.size(), 5u);
}

TEST_F(ListCommandsTest, EndingAnEditWithTheSameNameRefreshesTheRowWithoutAMove) {
  auto a = file("a");
  fireAndWait(ItemsAddedEvent({a}));
  auto before = rows()->items()[0];
  run<SimpleRename>(a, "a");
  EXPECT_TRUE(view->sheets.empty());
  EXPECT_NE(rows()->items()[0], before);
}

// Case -------------------------------------------------------------------------------------------

TEST_F(ListCommandsTest, ACaseChangeKeepsTheExtensionsCase) {
  EXPECT_EQ(nameInCase("report.pdf", rename::CaseFormat::upper), "REPORT.pdf");
  EXPECT_EQ(nameInCase("readme", rename::CaseFormat::upper), "README");
  EXPECT_EQ(nameInCase("My.Folder", rename::CaseFormat::upper), "MY.Folder");
  EXPECT_EQ(nameInCase("OLD MOVIE.MOV", rename::CaseFormat::title), "Old Movie.MOV");
  EXPECT_EQ(nameInCase(".profile", rename::CaseFormat::upper), ".PROFILE");
  EXPECT_EQ(nameInCase("bad\xff", rename::CaseFormat::upper), std::nullopt);
}

TEST_F(ListCommandsTest, ChangingCaseRenamesTheSelectedItemsOnDisk) {
  auto a = file("report.pdf"), b = file("readme"), c = folder("My.Folder");
  fireAndWait(ItemsAddedEvent({a, b, c}));
  select({0, 1, 2});
  run<ChangeCaseFormat>(rename::CaseFormat::upper);
  EXPECT_EQ(names(), (std::vector<std::string>{"REPORT.pdf", "README", "MY.Folder"}));
  EXPECT_TRUE(fs::exists(dir.path() / "MY.Folder"));
  ASSERT_EQ(renames().size(), 1u);
  EXPECT_TRUE(renames()[0].wasSuccessful);
  EXPECT_EQ(renames()[0].changes.size(), 3u);
}

TEST_F(ListCommandsTest, CaseChangesAndInlineRenamesWorkOnACaseInsensitiveVolume) {
  test::CaseInsensitiveVolume volume;
  if (!volume.mounted()) GTEST_SKIP() << volume.skipReason();
  RecordProperty("volume", volume.how());
  const fs::path root = volume.root();
  { std::ofstream(root / "report.pdf") << "pdf"; }
  { std::ofstream(root / "readme") << "text"; }
  fs::create_directory(root / "my.folder");
  if (volume.isKernelMount()) std::ofstream(root / "my.folder" / "inside") << "kept";
  auto onDisk = [&] {
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(root)) entries.push_back(entry.path().filename().string());
    std::sort(entries.begin(), entries.end());
    return entries;
  };
  fireAndWait(ItemsAddedEvent({files::Path(root / "report.pdf"), files::Path(root / "readme"),
                               files::Path(root / "my.folder")}));

  const std::pair<rename::CaseFormat, std::vector<std::string>> steps[] = {
      {rename::CaseFormat::upper, {"REPORT.pdf", "README", "MY.folder"}},
      {rename::CaseFormat::lower, {"report.pdf", "readme", "my.folder"}},
      {rename::CaseFormat::title, {"Report.pdf", "Readme", "My.folder"}},
  };
  for (const auto& [format, expected] : steps) {
    select({0, 1, 2});
    run<ChangeCaseFormat>(format);
    ASSERT_FALSE(renames().empty());
    EXPECT_TRUE(renames().back().wasSuccessful);
    EXPECT_EQ(renames().back().changes.size(), 3u);
    EXPECT_EQ(names(), expected);
    auto sorted = expected;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(onDisk(), sorted);  // the new spellings, and no temporary name left behind
  }

  select({1});
  run<SimpleRename>(files::Path(root / "Readme"), "READ me");
  run<SimpleRename>(files::Path(root / "READ me"), "read ME");
  EXPECT_EQ(names(), (std::vector<std::string>{"Report.pdf", "read ME", "My.folder"}));
  EXPECT_EQ(onDisk(), (std::vector<std::string>{"My.folder", "Report.pdf", "read ME"}));
  std::string text;
  std::ifstream(root / "read ME") >> text;
  EXPECT_EQ(text, "text");
  if (volume.isKernelMount()) {
    EXPECT_TRUE(fs::exists(root / "My.folder" / "inside"));
  }

  // Another item's name in another spelling is taken: the rename fails and replaces nothing.
  select({0});
  run<SimpleRename>(files::Path(root / "Report.pdf"), "READ me");
  EXPECT_EQ(names(), (std::vector<std::string>{"Report.pdf", "read ME", "My.folder"}));
  EXPECT_EQ(onDisk(), (std::vector<std::string>{"My.folder", "Report.pdf", "read ME"}));
  std::string pdf;
  std::ifstream(root / "Report.pdf") >> pdf;
  EXPECT_EQ(pdf, "pdf");
  text.clear();
  std::ifstream(root / "read ME") >> text;
  EXPECT_EQ(text, "text");
}

TEST_F(ListCommandsTest, TheRootIsLeftOutOfACaseChangeAndMakesItUnsuccessful) {
  auto a = file("a");
  fireAndWait(ItemsAddedEvent({files::Path(fs::path("/")), a}));
  select({0, 1});
  run<ChangeCaseFormat>(rename::CaseFormat::upper);
  ASSERT_EQ(renames().size(), 1u);
  EXPECT_FALSE(renames()[0].wasSuccessful);
  EXPECT_EQ(renames()[0].changes, (shell::PathMapping{{a, files::Path(dir.path() / "A")}}));
}

TEST_F(ListCommandsTest, AnItemListedTwiceIsRenamedOnceAndBothRowsFollow) {
  auto a = file("a");
  fireAndWait(ItemsAddedEvent({a, a}));
  select({0, 1});
  run<ChangeCaseFormat>(rename::CaseFormat::upper);
  ASSERT_EQ(renames().size(), 1u);
  EXPECT_FALSE(renames()[0].wasSuccessful);
  EXPECT_EQ(renames()[0].changes.size(), 1u);
  EXPECT_EQ(names(), (std::vector<std::string>{"A", "A"}));
}

TEST_F(ListCommandsTest, ACaseChangeNeverReplacesAnotherItem) {
  auto a = file("a", "mine");
  file("A", "other");
  fireAndWait(ItemsAddedEvent({a}));
  select({0});
  run<ChangeCaseFormat>(rename::CaseFormat::upper);
  EXPECT_FALSE(renames().at(0).wasSuccessful);
  EXPECT_TRUE(fs::exists(a.url()));
  EXPECT_EQ(names(), (std::vector<std::string>{"a"}));
}

TEST_F(ListCommandsTest, ANameAlreadyInTheCaseCountsAsDone) {
  auto a = file("DONE.txt");
  fireAndWait(ItemsAddedEvent({a}));
  select({0});
  run<ChangeCaseFormat>(rename::CaseFormat::upper);
  EXPECT_TRUE(renames().at(0).wasSuccessful);
}

// Codes ------------------------------------------------------------------------------------------

class ClearCodeTest : public ListCommandsTest {
 protected:
  files::Path withCodes(const std::string& name) {
    auto path = file(name);
    files::MutableAppleAttributes record(*path.fileSystem().finderAttributes(path));
    record.setCreatorCode("ABCD");
    record.setTypeCode("WXYZ");
    auto status = path.fileSystem().updateFinderAttributes(path, record);
    if (!status) return path;
    codesWritable = true;
    return path;
  }
  bool codesWritable = false;
};

TEST_F(ClearCodeTest, ClearingTheCreatorLeavesTheTypeAndInvalidatesTheShownData) {
  auto a = withCodes("a");
  if (!codesWritable) GTEST_SKIP() << "no user extended attributes here";
  fireAndWait(ItemsAddedEvent({a}));
  select({0});
  clock.advance(std::chrono::seconds(3));
  run<ClearCreatorCommand>();
  auto finder = a.fileSystem().finderAttributes(a);
  EXPECT_EQ(finder->creatorCode(), std::nullopt);
  EXPECT_EQ(finder->typeCode(), "WXYZ");
  EXPECT_EQ(core->state().lastUpdated, clock.now());
  run<ClearTypeCommand>();
  EXPECT_EQ(a.fileSystem().finderAttributes(a)->typeCode(), std::nullopt);
}

TEST_F(ClearCodeTest, AFailedWriteIsSkippedAndTheOthersStillClear) {
  auto good = withCodes("good");
  if (!codesWritable) GTEST_SKIP() << "no user extended attributes here";
  auto faulty = info::testing::FaultyFileSystem::make();
  faulty->failFinder = foundation::Error::posix(EPERM);
  files::Path failing = faulty->path(withCodes("failing").url());
  fireAndWait(ItemsAddedEvent({failing, files::Path(dir.path() / "gone"), good}));
  select({0, 1, 2});
  test::LogCapture log;
  run<ClearCreatorCommand>();
  EXPECT_EQ(good.fileSystem().finderAttributes(good)->creatorCode(), std::nullopt);
  EXPECT_EQ(failing.fileSystem().finderAttributes(failing)->creatorCode(), "ABCD");
  EXPECT_NE(log.text().find("failed to clear creator code for " + failing.description() + ". error="),
            std::string::npos);
}

}  // namespace
}  // namespace ml::list
