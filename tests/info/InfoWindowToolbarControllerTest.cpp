#include "info/InfoWindowToolbarController.h"

#include "InfoCommandTest.h"
#include "platform/darwin/ExtendedAttributes.h"
#include "support/ResourceForkBuilder.h"

namespace ml::info {
namespace {

using files::Path;

class InfoWindowToolbarControllerTest : public testing::InfoCommandTest {
 protected:
  InfoWindowToolbarControllerTest() { toolbar.setReactor(probe().core); }
  bool enabled(int tag) { return InfoWindowToolbarController::itemWithTag(toolbar.copyAttributeMenu(), tag)->isEnabled(); }
  bool listEnabled(int tag) {
    toolbar.updateListMenu();
    return InfoWindowToolbarController::itemWithTag(toolbar.listMenu(), tag)->isEnabled();
  }
  QAction& verb(const QString& label) {
    for (QAction* action : bar.actions()) {
      if (action->iconText() == label) return *action;
    }
    throw std::runtime_error("no toolbar item " + label.toStdString());
  }
  InfoWindowState showingItems(std::vector<Path> paths) {
    show(paths);
    return probe().state();
  }

  QToolBar bar;
  InfoWindowToolbarController toolbar{bar};
  Path file = Path(dir.write("a.txt", "x"));
};

TEST_F(InfoWindowToolbarControllerTest, AFolderHasNoVersionsForksBackupOrCodes) {
  toolbar.update(showingItems({Path(dir.path())}));
  for (int tag : {1, 2, 4, 8, 9, 10}) EXPECT_FALSE(enabled(tag)) << tag;
  for (int tag : {0, 3, 5, 6, 7, 11, 12, 13, 14}) EXPECT_TRUE(enabled(tag)) << tag;
}

TEST_F(InfoWindowToolbarControllerTest, AFileWithoutResourceForkHasForkSizesAndCodesButNoVersion) {
  toolbar.update(showingItems({Path(dir.path())}));
  toolbar.update(showingItems({file}));
  for (int tag : {4, 9, 10}) EXPECT_TRUE(enabled(tag)) << tag;
  for (int tag : {1, 2, 8}) EXPECT_FALSE(enabled(tag)) << tag;
}

TEST_F(InfoWindowToolbarControllerTest, AVersionResourceEnablesBothVersionItems) {
  auto fork = test::buildResourceFork({{"vers", {{1, std::nullopt, {1, 0, 0x80, 0, 0, 0, 1, '1', 0}}}}});
  ASSERT_TRUE(darwin::setExtendedAttribute(file.url(), fork, "com.apple.ResourceFork"));
  toolbar.update(showingItems({file}));
  EXPECT_TRUE(enabled(1));
  EXPECT_TRUE(enabled(2));
}

TEST_F(InfoWindowToolbarControllerTest, TheAllItemsEntryNeedsSeveralItems) {
  showingItems({file});
  EXPECT_FALSE(listEnabled(2));
  showingItems({file, Path(dir.write("b.txt", "y"))});
  EXPECT_TRUE(listEnabled(2));
}

TEST_F(InfoWindowToolbarControllerTest, TheFolderContentsEntryNeedsAPlainFolder) {
  std::filesystem::create_directory(dir.path() / "Some.app");
  showingItems({Path(dir.path() / "Some.app")});
  EXPECT_FALSE(listEnabled(1));  // a package
  showingItems({Path(dir.path())});
  EXPECT_TRUE(listEnabled(1));
  showingItems({file});
  EXPECT_FALSE(listEnabled(1));
}

// An empty folder's contents are an empty list, which opens as an empty list window.
TEST_F(InfoWindowToolbarControllerTest, TheContentsOfAnEmptyFolderOpenAnEmptyList) {
  std::filesystem::create_directory(dir.path() / "empty");
  showingItems({Path(dir.path() / "empty")});
  ASSERT_TRUE(listEnabled(1));
  InfoWindowToolbarController::itemWithTag(toolbar.listMenu(), 1)->trigger();
  probe().settle();
  loop.drain();
  ASSERT_EQ(listWindows.size(), 1u);
  EXPECT_TRUE(listWindows[0]->shown);
  EXPECT_TRUE(listWindows[0]->items.empty());
}

TEST_F(InfoWindowToolbarControllerTest, RenameTakesEveryItemOtherVerbsTheShownOne) {
  Path b = Path(dir.write("b.txt", "y"));
  show({file, b}, 1);
  verb("Rename").trigger();
  probe().settle();
  loop.drain();
  ASSERT_EQ(renamedItems.size(), 1u);
  EXPECT_EQ(renamedItems[0], (std::vector<Path>{file, b}));
  verb("Reveal").trigger();
  probe().settle();
  loop.drain();
  ASSERT_EQ(workspace->revealed.size(), 1u);
  EXPECT_EQ(workspace->revealed[0], std::vector<std::filesystem::path>{b.url()});
}

TEST_F(InfoWindowToolbarControllerTest, NothingShownChangesNoItem) {
  toolbar.update(showingItems({Path(dir.path())}));
  InfoWindowState gone = probe().state();
  gone.displayed = -1;
  toolbar.update(gone);
  EXPECT_FALSE(enabled(9));
}

}  // namespace
}  // namespace ml::info
