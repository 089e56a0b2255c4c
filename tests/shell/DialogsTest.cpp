#include "shell/Dialogs.h"

#include <gtest/gtest.h>

#include "ShellFixture.h"

namespace ml::shell {
namespace {

using testing::ShellTest;

class DialogsTest : public ShellTest {
 protected:
  DialogsTest() { delegate(); }

  Dialogs dialogs{panels};
};

TEST_F(DialogsTest, ChosenItemsArriveAsPathsInThePanelsOrder) {
  std::vector<files::Path> chosen;
  dialogs.chooseFiles(true, false, [&](std::vector<files::Path> items) { chosen = std::move(items); });
  ASSERT_EQ(panels->count(), 1u);
  EXPECT_TRUE(panels->request(0).allowDirectories);
  EXPECT_FALSE(panels->request(0).allowFiles);
  panels->choose(0, {"/b", "/a", "/c"});
  EXPECT_EQ(chosen, (std::vector<files::Path>{path("/b"), path("/a"), path("/c")}));
}

TEST_F(DialogsTest, OneItemAndFolderPanelsGiveOnePath) {
  std::optional<files::Path> file, folder;
  dialogs.chooseFile(false, [&](files::Path item) { file = item; });
  dialogs.chooseDirectory([&](files::Path item) { folder = item; });
  EXPECT_EQ(panels->request(0).kind, testing::FakeOpenPanels::Request::Kind::file);
  EXPECT_FALSE(panels->request(0).allowDirectories);
  EXPECT_EQ(panels->request(1).kind, testing::FakeOpenPanels::Request::Kind::directory);
  panels->choose(0, {"/x"});
  panels->choose(1, {"/folder"});
  EXPECT_EQ(file, path("/x"));
  EXPECT_EQ(folder, path("/folder"));
}

TEST_F(DialogsTest, CancelledPanelCallsNothing) {
  bool called = false;
  dialogs.chooseFiles(true, true, [&](std::vector<files::Path>) { called = true; });
  panels->choose(0, {});
  EXPECT_FALSE(called);
}

}  // namespace
}  // namespace ml::shell
