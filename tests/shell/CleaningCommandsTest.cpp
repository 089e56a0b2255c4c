#include "shell/CleaningCommands.h"

#include <gtest/gtest.h>

#include "ShellFakes.h"
#include "appkit/FinderScripts.h"

namespace ml::shell {
namespace {

using appkit::ScriptError;
using appkit::ScriptOutcome;

class CleaningCommandsTest : public ::testing::Test {
 protected:
  std::shared_ptr<testing::RecordingScriptRunner> runner = std::make_shared<testing::RecordingScriptRunner>();
  std::shared_ptr<testing::FakeAlerts> alerts = std::make_shared<testing::FakeAlerts>();
  CleaningCommands commands{runner, alerts};
};

TEST_F(CleaningCommandsTest, EmptyTrashShowsTheAlertAndSendsNoEmptyingScript) {
  runner->answer(ScriptOutcome::answered(std::int64_t{0}));
  commands.emptyTrash();
  EXPECT_EQ(runner->sources(), (std::vector<std::string>{"tell application \"Finder\" to count of items in the trash"}));
  ASSERT_EQ(alerts->shown().size(), 1u);
  EXPECT_EQ(alerts->shown()[0].messageText, "Trash Can is already empty.");
  EXPECT_EQ(alerts->shown()[0].buttons, (std::vector<std::string>{"OK"}));
}

TEST_F(CleaningCommandsTest, TrashWithItemsGetsTheEmptyingScriptOnceByteForByte) {
  runner->answer(ScriptOutcome::answered(std::int64_t{3}));
  commands.emptyTrash();
  ASSERT_EQ(runner->sources().size(), 2u);
  EXPECT_EQ(runner->sources()[1],
            "on run\n"
            "  set currentApp to short name of (info for (path to frontmost application))\n"
            "\n"
            "  tell application \"Finder\"\n"
            "    activate\n"
            "    try\n"
            "      display alert \"Are you sure you want to remove the items in the Trash permanently?\" as critical "
            "message \xC2\xAC\n"
            "        \"You cannot undo this action.\" buttons {\"Abort\", \"Empty Trash\"} cancel button \"Abort\" "
            "default button \"Empty Trash\"\n"
            "      empty the trash\n"
            "    end try\n"
            "  end tell\n"
            "\n"
            "  tell application currentApp to activate\n"
            "end run");
  EXPECT_TRUE(alerts->shown().empty());
}

TEST_F(CleaningCommandsTest, CountThatIsNotANumberIsAFailureNotAnEmptyTrash) {
  runner->answer(ScriptOutcome::answered(std::string("many")));
  commands.emptyTrash();
  EXPECT_EQ(runner->sources().size(), 1u);
  EXPECT_TRUE(alerts->shown().empty());
  runner->answer(ScriptOutcome::answered(std::monostate{}));
  commands.emptyTrash();
  EXPECT_EQ(runner->sources().size(), 2u);
  EXPECT_TRUE(alerts->shown().empty());
}

TEST_F(CleaningCommandsTest, CountRefusedByTheDesktopStopsThere) {
  runner->answer(ScriptOutcome::failed(ScriptError{appkit::kScriptNotUnderstood, "no"}));
  commands.emptyTrash();
  EXPECT_EQ(runner->sources().size(), 1u);
  EXPECT_TRUE(alerts->shown().empty());
}

TEST_F(CleaningCommandsTest, ItemWhoseIdentifierContainsQuitOnlyQuitsTheFileManager) {
  commands.killFinder("menu.quitFinder");
  EXPECT_EQ(runner->sources(), (std::vector<std::string>{"tell application \"Finder\" to quit"}));
}

TEST_F(CleaningCommandsTest, AnyOtherItemQuitsAndLaunchesTheFileManager) {
  commands.killFinder(std::nullopt);
  commands.killFinder("relaunch");
  commands.killFinder("Quit");  // the test is case-sensitive
  std::string relaunch = "tell application \"Finder\" to quit\ntell application \"Finder\" to launch";
  EXPECT_EQ(runner->sources(), (std::vector<std::string>{relaunch, relaunch, relaunch}));
  EXPECT_TRUE(alerts->shown().empty());
}

TEST_F(CleaningCommandsTest, AFailedRelaunchTellsTheUserWhy) {
  runner->answer(ScriptOutcome::failed(ScriptError{appkit::kScriptNotUnderstood, "there is no session bus"}));
  commands.killFinder("relaunchFileManager");
  ASSERT_EQ(alerts->shown().size(), 1u);
  EXPECT_EQ(alerts->shown()[0].messageText, "The file manager could not be relaunched.");
  EXPECT_NE(alerts->shown()[0].informativeText.find("there is no session bus"), std::string::npos);
}

}  // namespace
}  // namespace ml::shell
