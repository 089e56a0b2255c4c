#include "appkit/OpenPanel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QSignalSpy>

#include "support/TempDir.h"

namespace ml::appkit {
namespace {

namespace fs = std::filesystem;

using Items = std::vector<fs::path>;

class OpenPanelTest : public ::testing::Test {
 protected:
  // Shows a panel with `settings`, selects `items`, presses Open and returns what it chose.
  std::optional<Items> choose(OpenPanel::Settings settings, const Items& items) {
    QPointer<OpenPanel> panel = new OpenPanel(settings);  // deletes itself on close
    std::optional<Items> chosen;
    QObject::connect(panel, &OpenPanel::chosen, [&](Items result) { chosen = std::move(result); });
    panel->show();
    panel->selectItems(items);
    QApplication::processEvents();
    panel->accept();
    QApplication::processEvents();
    if (panel && panel->isVisible()) panel->reject();  // not chosen (still open): cancel
    return chosen;
  }

  test::TempDir dir_;
};

TEST_F(OpenPanelTest, SeveralItemsPanelGivesThemAllInOneCallback) {
  Items items = {dir_.write("a.txt", ""), dir_.write("b.txt", ""), dir_.write("c.txt", "")};
  auto chosen = choose({true, true, true}, items);
  ASSERT_TRUE(chosen);
  ASSERT_EQ(chosen->size(), 3u);
  for (const auto& item : items) EXPECT_NE(std::find(chosen->begin(), chosen->end(), item), chosen->end());
}

TEST_F(OpenPanelTest, FolderIsChosenWhenFoldersAreChoosableWithFiles) {
  fs::create_directory(dir_.path() / "folder");
  auto chosen = choose({false, true, true}, {dir_.path() / "folder"});
  ASSERT_TRUE(chosen);
  EXPECT_EQ(*chosen, (Items{dir_.path() / "folder"}));
}

TEST_F(OpenPanelTest, FolderIsNotChosenByAFilesOnlyPanel) {
  fs::create_directory(dir_.path() / "folder");
  EXPECT_FALSE(choose({false, false, true}, {dir_.path() / "folder"}));
}

TEST_F(OpenPanelTest, CancelledPanelChoosesNothing) {
  auto* panel = new OpenPanel({true, true, true});
  QSignalSpy spy(panel, &OpenPanel::chosen);
  panel->show();
  panel->reject();
  QApplication::processEvents();
  EXPECT_EQ(spy.count(), 0);
}

TEST_F(OpenPanelTest, HiddenFilesAreListed) {
  OpenPanel panel({false, true, true});
  EXPECT_TRUE(panel.filter().testFlag(QDir::Hidden));
  auto chosen = choose({false, false, true}, {dir_.write(".hidden", "")});
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->front().filename(), ".hidden");
}

TEST_F(OpenPanelTest, OneItemPanelGivesOnlyTheFirstItem) {
  auto chosen = choose({false, false, true}, {dir_.write("one", "")});
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->size(), 1u);
}

}  // namespace
}  // namespace ml::appkit
