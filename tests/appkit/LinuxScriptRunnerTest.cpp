#include "appkit/LinuxScriptRunner.h"

#include <gtest/gtest.h>

#include "Fakes.h"
#include "appkit/FinderScripts.h"
#include "support/TempDir.h"

namespace ml::appkit {
namespace {

namespace fs = std::filesystem;

class LinuxScriptRunnerTest : public ::testing::Test {
 protected:
  LinuxScriptRunnerTest()
      : trash_(std::make_shared<FreedesktopTrash>(FreedesktopTrash::Options{
            home_.path() / "Trash", [] { return std::vector<fs::path>{}; }, static_cast<uid_t>(-1)})),
        fileManager_(std::make_shared<testing::RecordingFileManager>()),
        alerts_(std::make_shared<testing::AnsweringAlertPresenter>()),
        runner_(trash_, fileManager_, alerts_) {}

  test::TempDir home_;
  test::TempDir items_;
  std::shared_ptr<FreedesktopTrash> trash_;
  std::shared_ptr<testing::RecordingFileManager> fileManager_;
  std::shared_ptr<testing::AnsweringAlertPresenter> alerts_;
  LinuxScriptRunner runner_;
};

TEST_F(LinuxScriptRunnerTest, CountScriptAnswersTheNumberOfTrashedItems) {
  ASSERT_TRUE(trash_->trash(items_.write("a", "")).ok());
  auto outcome = runner_.run(finder_scripts::countTrashItems());
  ASSERT_TRUE(outcome.result.has_value());
  EXPECT_EQ(std::get<std::int64_t>(*outcome.result), 1);
  EXPECT_FALSE(outcome.error);
}

TEST_F(LinuxScriptRunnerTest, EmptyScriptAsksAndAbortKeepsTheTrashWithoutError) {
  ASSERT_TRUE(trash_->trash(items_.write("a", "")).ok());
  alerts_->answers = {kFirstButtonReturn + 1};  // "Abort"

  auto outcome = runner_.run(finder_scripts::emptyTrash());

  ASSERT_EQ(alerts_->shown.size(), 1u);
  EXPECT_EQ(alerts_->shown[0], LinuxScriptRunner::emptyTrashConfirmation());
  EXPECT_EQ(alerts_->shown[0].buttons, (std::vector<std::string>{"Empty Trash", "Abort"}));
  EXPECT_FALSE(outcome.error);
  EXPECT_EQ(*trash_->count(), 1);
}

TEST_F(LinuxScriptRunnerTest, EmptyScriptConfirmedEmptiesTheTrash) {
  ASSERT_TRUE(trash_->trash(items_.write("a", "")).ok());
  auto outcome = runner_.run(finder_scripts::emptyTrash());
  EXPECT_FALSE(outcome.error);
  EXPECT_EQ(*trash_->count(), 0);
}

TEST_F(LinuxScriptRunnerTest, QuitScriptOnlyQuitsAndRelaunchScriptQuitsThenLaunches) {
  EXPECT_FALSE(runner_.run(finder_scripts::quitFinder()).error);
  EXPECT_EQ(fileManager_->calls, (std::vector<std::string>{"quit"}));
  fileManager_->calls.clear();
  EXPECT_FALSE(runner_.run(finder_scripts::quitFinder() + "\n" + finder_scripts::launchFinder()).error);
  EXPECT_EQ(fileManager_->calls, (std::vector<std::string>{"quit", "launch"}));
}

TEST_F(LinuxScriptRunnerTest, InformationWindowScriptShowsTheUnescapedItem) {
  std::string path = "/tmp/odd \"name\\";
  auto outcome = runner_.run(finder_scripts::openInformationWindow(path, false));
  EXPECT_FALSE(outcome.error);
  EXPECT_EQ(fileManager_->calls, (std::vector<std::string>{"showItemProperties"}));
  EXPECT_EQ(fileManager_->shown, (std::vector<fs::path>{path}));
}

TEST_F(LinuxScriptRunnerTest, FileManagerFailureBecomesTheScriptError) {
  fileManager_->answer = foundation::Error::make("org.freedesktop.DBus", 1, "no file manager");
  auto outcome = runner_.run(finder_scripts::openInformationWindow("/a", true));
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->message, "no file manager");
  EXPECT_FALSE(outcome.result);
}

TEST_F(LinuxScriptRunnerTest, UnknownScriptAnswersThatTheDesktopCannotRunIt) {
  auto outcome = runner_.run("tell application \"Finder\" to eject disk 1\nbeep");
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->number, kScriptNotUnderstood);
  EXPECT_EQ(outcome.error->message,
            "this desktop cannot carry out the script: tell application \"Finder\" to eject disk 1");
  EXPECT_TRUE(fileManager_->calls.empty());
}

}  // namespace
}  // namespace ml::appkit
