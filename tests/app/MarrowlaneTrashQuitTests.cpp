// Quitting while a list window moves thousands of items to the Trash: the real binary on a
// virtual X display of the test's own, driven from the keyboard and mouse as a user drives it.
// However far the Trash got, every item ends either in the Trash with its record or in place
// without one.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <map>
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

std::string appLog(const TelemetrySandbox& sandbox) {
  std::string all;
  std::error_code error;
  for (fs::recursive_directory_iterator it(sandbox.root(), error), end; !error && it != end; it.increment(error)) {
    if (!it->is_regular_file(error) || it->path().extension() != ".log") continue;
    std::ifstream file(it->path());
    std::stringstream text;
    text << file.rdbuf();
    all += text.str();
  }
  return all;
}

std::string readFile(const fs::path& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The original path a record names: its Path line, percent-decoded.
std::string recordedPath(const std::string& record) {
  std::istringstream lines(record);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.starts_with("Path=")) continue;
    std::string path;
    for (std::size_t i = 5; i < line.size(); ++i) {
      if (line[i] == '%' && i + 2 < line.size()) {
        path += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        path += line[i];
      }
    }
    return path;
  }
  return {};
}

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
  {
    foundation::Preferences preferences(foundation::Preferences::standardFile());
    preferences.set("dropAction", foundation::PlistValue(std::string("list")));
    preferences.set("debugLogs", foundation::PlistValue(true));
  }
  // The items and the home Trash on one volume, so every item can go.
  TempDir items;
  const fs::path data = items.path() / "data";
  const fs::path trash = data / "Trash";
  fs::create_directories(items.path() / "items");
  std::vector<std::string> arguments{"--"};
  for (int i = 0; i < kItems; ++i) {
    arguments.push_back(items.write("items/item " + std::to_string(i), "x").string());
  }
  auto environment = sandbox.childEnvironment("http://127.0.0.1:" + std::to_string(LocalHttpServer::closedPort()));
  environment["QT_QPA_PLATFORM"] = "xcb";
  environment["DISPLAY"] = display.name();
  environment["XDG_DATA_HOME"] = data.string();

  ChildProcess app(ML_MARROWLANE_BINARY, arguments, environment, sandbox.root() / "app.out");
  ASSERT_TRUE(waitUntil([&] { return appLog(sandbox).find("showing list window") != std::string::npos; }, 60s))
      << app.output();
  // Every row shown ("Items: 4,000"): a click on a row, all rows selected, then the toolbar's
  // Move to Trash (the window has no frame on a display without a window manager, so its
  // toolbar's third button is where the window's own layout puts it).
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

  // Each record names an item no longer in place and has that item in the Trash; each item in
  // the Trash has its record; every item is in exactly one of the two places.
  const auto trashed = namesIn(trash / "files");
  const auto records = namesIn(trash / "info");
  EXPECT_EQ(records.size(), trashed.size());
  std::set<std::string> recorded;
  for (const auto& record : records) {
    ASSERT_TRUE(record.ends_with(".trashinfo")) << record;
    const std::string name = record.substr(0, record.size() - std::string(".trashinfo").size());
    EXPECT_TRUE(trashed.count(name)) << "a record without its item: " << record;
    const std::string original = recordedPath(readFile(trash / "info" / record));
    ASSERT_FALSE(original.empty()) << record;
    EXPECT_FALSE(fs::exists(fs::symlink_status(original))) << "trashed and still in place: " << original;
    recorded.insert(original);
  }
  int inPlace = 0;
  for (int i = 0; i < kItems; ++i) {
    const fs::path item = fs::canonical(items.path() / "items") / ("item " + std::to_string(i));
    if (fs::exists(fs::symlink_status(item))) {
      ++inPlace;
    } else {
      EXPECT_TRUE(recorded.count(item.string())) << "gone without a record: " << item;
    }
  }
  EXPECT_EQ(inPlace + static_cast<int>(trashed.size()), kItems);
  EXPECT_GT(trashed.size(), 0u) << appLog(sandbox);
}

}  // namespace
}  // namespace ml::test
