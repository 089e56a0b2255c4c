// Quitting while a list window moves thousands of items to the Trash: the real binary on a
// virtual X display of the test's own, driven with the mouse and keys as a user drives it.
// However far the Trash got, every item ends either in the Trash with its record or in place
// without one.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <set>
#include <sstream>

#include "MarrowlaneLaunchDisplay.h"
#include "TelemetryFixture.h"
#include "platform/foundation/Preferences.h"
#include "support/ChildProcess.h"
#include "support/LocalHttpServer.h"
#include "support/WaitUntil.h"

namespace ml::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::set<std::string> namesIn(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    names.insert(it->path().filename().string());
  }
  return names;
}

TEST(MarrowlaneTrashQuit, AListTrashCutShortByAQuitLeavesEachItemTrashedWithItsRecordOrInPlaceWithout) {
  VirtualDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "no virtual X display: " << display.problem();
  constexpr int kItems = 4000;
  TelemetrySandbox sandbox;
  foundation::Preferences(foundation::Preferences::standardFile()).set("dropAction", foundation::PlistValue(std::string("list")));
  // The items (named without characters a record would encode) and the home Trash on one volume.
  TempDir items;
  const fs::path folder = fs::canonical(items.path()) / "items", trash = items.path() / "data/Trash";
  fs::create_directories(folder);
  std::vector<std::string> arguments{"--"};
  for (int i = 0; i < kItems; ++i) arguments.push_back(items.write("items/item-" + std::to_string(i), "x").string());
  auto environment = sandbox.childEnvironment("http://127.0.0.1:" + std::to_string(LocalHttpServer::closedPort()));
  environment["QT_QPA_PLATFORM"] = "xcb";
  environment["DISPLAY"] = display.name();
  environment["XDG_DATA_HOME"] = (items.path() / "data").string();

  ChildProcess app(ML_MARROWLANE_BINARY, arguments, environment, sandbox.root() / "app.out");
  // Once every row is shown ("Items: 4,000"): a click on a row, all rows selected, then the
  // toolbar's Move to Trash (third button; without a window manager the window has no frame).
  // Each call of the tool gives up after 30 s: a slow build may take longer to show them all.
  ASSERT_TRUE(waitUntil([&] { return display.xdotool({"search", "--name", "^Items: 4.?000"}); }, 180s)) << app.output();
  ASSERT_TRUE(display.xdotool({"search", "--sync", "--name", "^Items: 4.?000", "windowfocus", "--sync", "%1",
                               "mousemove", "--window", "%1", "120", "160", "click", "1"}))
      << app.output();
  ASSERT_TRUE(display.xdotool({"key", "--clearmodifiers", "ctrl+a"}));
  ASSERT_TRUE(display.xdotool({"search", "--name", "^Items: 4.?000", "mousemove", "--window", "%1", "265", "45",
                               "click", "1"}));
  // The quit comes once the first items have gone, while the others go.
  ASSERT_TRUE(waitUntil([&] { return !namesIn(trash / "files").empty(); }, 60s)) << app.output();
  ASSERT_TRUE(display.xdotool({"key", "--clearmodifiers", "ctrl+q"}));
  auto status = app.wait(120s);
  ASSERT_TRUE(status) << "still running after the quit\n" << app.output();
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status << "\n" << app.output();

  // Each record has its item in the Trash and names an item gone from its place; each item is in
  // exactly one of the two places.
  const auto trashed = namesIn(trash / "files");
  const auto records = namesIn(trash / "info");
  EXPECT_EQ(records.size(), trashed.size());
  for (const auto& record : records) {
    EXPECT_TRUE(trashed.count(record.substr(0, record.rfind(".trashinfo")))) << "a record without its item: " << record;
    std::ifstream file(trash / "info" / record);
    std::stringstream text;
    text << file.rdbuf();
    const auto at = text.str().find("Path=" + folder.string() + "/item-");
    EXPECT_NE(at, std::string::npos) << record << ": " << text.str();
    if (at != std::string::npos) {
      const std::string original = text.str().substr(at + 5, text.str().find('\n', at) - at - 5);
      EXPECT_FALSE(fs::exists(fs::symlink_status(original))) << "trashed and still in place: " << original;
    }
  }
  int inPlace = 0;
  for (int i = 0; i < kItems; ++i) inPlace += fs::exists(fs::symlink_status(folder / ("item-" + std::to_string(i))));
  EXPECT_EQ(inPlace + static_cast<int>(trashed.size()), kItems);
  EXPECT_GT(trashed.size(), 0u);
}

}  // namespace
}  // namespace ml::test
