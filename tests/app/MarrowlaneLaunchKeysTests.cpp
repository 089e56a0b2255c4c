// The keys held when marrowlane is launched choose what its own items open with, whether it is
// the first launch or one handed over to the running instance: the real binary on a virtual X
// display of the test's own, keys held through the X test extension as a user's keys are.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "MarrowlaneLaunchDisplay.h"
#include "TelemetryFixture.h"
#include "support/ChildProcess.h"
#include "support/LocalHttpServer.h"
#include "support/WaitUntil.h"

namespace ml::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Everything the application logged so far (its log files under the sandbox's state folder).
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

bool logged(const TelemetrySandbox& sandbox, const std::string& line) {
  return appLog(sandbox).find(line) != std::string::npos;
}

// Ends the application as the desktop does at logout, and expects it to end cleanly.
void terminate(ChildProcess& app) {
  app.signal(SIGTERM);
  auto status = app.wait(20s);
  ASSERT_TRUE(status) << "still running after SIGTERM\n" << app.output();
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status << "\n" << app.output();
}

// The variables the application needs to run in `sandbox` on `display`, sending nowhere.
std::map<std::string, std::string> onDisplay(const TelemetrySandbox& sandbox, const VirtualDisplay& display) {
  auto environment = sandbox.childEnvironment("http://127.0.0.1:" + std::to_string(LocalHttpServer::closedPort()));
  environment["QT_QPA_PLATFORM"] = "xcb";
  environment["DISPLAY"] = display.name();
  return environment;
}

TEST(MarrowlaneLaunch, ItemsOpenWithTheActionOfTheKeyHeldAtLaunchFirstAndHandedOver) {
  VirtualDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "no virtual X display: " << display.problem();
  TempDir items;
  auto first = items.write("first.txt", "1\n");
  auto second = items.write("second.txt", "2\n");

  {
    // Nothing running and L held (its key pressed by a client that has gone, as a user holds
    // it): the item opens in a list, not in the Info window the preferences leave as the default.
    SCOPED_TRACE("first launch with L held, then a hand-off with R held");
    TelemetrySandbox sandbox;
    sandbox.enableDebugLogs();
    auto environment = onDisplay(sandbox, display);
    ASSERT_TRUE(display.xdotool({"keydown", "l"}));
    ChildProcess app(ML_MARROWLANE_BINARY, {"--", first.string()}, environment, sandbox.root() / "first.out");
    ASSERT_TRUE(waitUntil([&] { return logged(sandbox, "showing list window"); }, 60s))
        << app.output() << "\n" << appLog(sandbox);
    EXPECT_TRUE(logged(sandbox, "current keyboard state: l\n"));
    EXPECT_TRUE(logged(sandbox, "final action [list] with paths [[" + first.string() + "]]"));
    ASSERT_TRUE(display.xdotool({"keyup", "l"}));

    // A later launch with R held hands its item over: the running instance renames it.
    ASSERT_TRUE(display.xdotool({"keydown", "r"}));
    {
      ChildProcess later(ML_MARROWLANE_BINARY, {"--", second.string()}, environment, sandbox.root() / "later.out");
      auto handedOff = later.wait(60s);
      ASSERT_TRUE(handedOff && WIFEXITED(*handedOff) && WEXITSTATUS(*handedOff) == 0) << later.output();
    }
    ASSERT_TRUE(waitUntil([&] { return logged(sandbox, "showing rename dialog"); }, 60s))
        << app.output() << "\n" << appLog(sandbox);
    EXPECT_TRUE(logged(sandbox, "final action [rename] with paths [[" + second.string() + "]]"));
    ASSERT_TRUE(display.xdotool({"keyup", "r"}));
    terminate(app);
  }

  {
    // M held: the item is to be moved, and the folder panel opens while the key is still down.
    // The held key repeats into whatever has the focus; it chose the action and types nothing:
    // the folder typed once it is let go is the one the item moves to.
    SCOPED_TRACE("first launch with M held until the folder panel is up");
    TelemetrySandbox sandbox;
    sandbox.enableDebugLogs();
    TempDir destination;
    auto moved = items.write("moved.txt", "3\n");
    ASSERT_TRUE(display.xdotool({"keydown", "m"}));
    ChildProcess app(ML_MARROWLANE_BINARY, {"--", moved.string()}, onDisplay(sandbox, display), sandbox.root() / "move.out");
    ASSERT_TRUE(waitUntil([&] { return logged(sandbox, "showing open panel. multiple=0 directories=1 files=0"); }, 60s))
        << app.output() << "\n" << appLog(sandbox);
    EXPECT_TRUE(logged(sandbox, "final action [move] with paths [[" + moved.string() + "]]"));
    // Held on while the panel has the focus, long enough for the key to repeat many times.
    ASSERT_TRUE(display.xdotool({"sleep", "1", "keyup", "m"}));
    ASSERT_TRUE(display.xdotool({"type", "--delay", "20", destination.path().string()}));
    ASSERT_TRUE(display.xdotool({"key", "Return"}));
    EXPECT_TRUE(waitUntil([&] { return fs::exists(destination.path() / "moved.txt"); }, 60s))
        << app.output() << "\n" << appLog(sandbox);
    EXPECT_FALSE(fs::exists(moved));
    terminate(app);
  }

  {
    // Nothing held: the default action.
    SCOPED_TRACE("first launch with nothing held");
    TelemetrySandbox sandbox;
    sandbox.enableDebugLogs();
    ChildProcess app(ML_MARROWLANE_BINARY, {"--", first.string()}, onDisplay(sandbox, display), sandbox.root() / "plain.out");
    ASSERT_TRUE(waitUntil([&] { return logged(sandbox, "drop launch detected. action=info"); }, 60s))
        << app.output() << "\n" << appLog(sandbox);
    EXPECT_TRUE(logged(sandbox, "final action [info] with paths [[" + first.string() + "]]"));
    EXPECT_TRUE(logged(sandbox, "current keyboard state: \n"));
    terminate(app);
  }
}

}  // namespace
}  // namespace ml::test
