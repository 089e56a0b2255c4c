// The shared application the launch installs for the telemetry client: its state, its delegate
// carrying the lifecycle to the client's forwarder, and URLs opened on the main queue with the
// desktop's opener (a stand-in opener on PATH records what it was given), on a virtual X display
// (the offscreen platform opens nothing).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "MarrowlaneLaunchDisplay.h"
#include "app/SharedApplication.h"
#include "app/TelemetryHooks.h"
#include "appkit/Application.h"
#include "beacon/core/Service/TLAppDelegateForwarder.h"
#include "beacon/core/TLUtilityApplication.h"
#include "platform/dispatch/MainQueue.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

namespace ml::test {
namespace {

namespace fs = std::filesystem;
using beacon::TLUtilityApplication;
using namespace std::chrono_literals;

std::vector<std::string> lines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> result;
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

struct LifecycleRecorder final : beacon::TLCustomApplicationDelegate {
  std::vector<std::string> calls;
  void applicationDidFinishLaunching() override { calls.push_back("didFinishLaunching"); }
  void applicationWillTerminate() override { calls.push_back("willTerminate"); }
};

struct Answer {
  bool opened = false;
  bool onMainThread = false;
};

TEST(MarrowlaneLaunchSharedApp, OpensUrlsWithTheDesktopsOpenerOnTheMainQueueWhileInstalled) {
  VirtualDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "no virtual X display: " << display.problem();
  TempDir folder;
  XdgSandbox xdg;
  auto record = folder.path() / "opened.txt";
  auto opener = folder.write("bin/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + record.string() + "'\n");
  fs::permissions(opener, fs::perms::owner_all);
  ::setenv("PATH", (opener.parent_path().string() + ":" + std::getenv("PATH")).c_str(), 1);
  ::setenv("DISPLAY", display.name().c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  int argc = 1;
  char name[] = "ml_app_launch_tests";
  char* argv[] = {name, nullptr};
  appkit::Application app(argc, argv);
  auto item = folder.write("report one.txt", "1\n");

  std::vector<std::string> urls{"file://" + folder.path().string() + "/report%20one.txt",
                                "https://example.org/help?topic=crashes",
                                "file://" + (folder.path() / "gone.txt").string(), "not a url at all",
                                "file://elsewhere.example.org/etc/hosts"};
  std::mutex lock;
  std::vector<std::optional<Answer>> answers(urls.size());
  // Asked from another thread, as the client's queues do; answered on the main thread.
  auto openAll = [&] {
    std::thread([&] {
      for (std::size_t i = 0; i < urls.size(); ++i) {
        TLUtilityApplication::sharedAppOpenUrl(urls[i], {{"ignored", "yes"}}, [&, i](bool opened) {
          std::lock_guard guard(lock);
          answers[i] = Answer{opened, dispatch::MainQueue::isMainThread()};
        });
      }
    }).join();
    return waitUntil(
        [&] {
          QCoreApplication::processEvents();
          std::lock_guard guard(lock);
          for (const auto& answer : answers) {
            if (!answer) return false;
          }
          return true;
        },
        30s);
  };

  {
    app::TelemetryHooks hooks;
    ASSERT_NE(TLUtilityApplication::sharedApp(), nullptr);
    EXPECT_NE(TLUtilityApplication::sharedAppState(), TLUtilityApplication::kUnknown);
    std::thread([] { EXPECT_EQ(TLUtilityApplication::sharedAppState(), TLUtilityApplication::kUnknown); }).join();

    // The delegate is where the application's lifecycle reaches the client's services.
    auto recorder = std::make_shared<LifecycleRecorder>();
    beacon::TLAppDelegateForwarder::sharedInstance()->addDelegate(recorder);
    hooks.didFinishLaunching();
    TLUtilityApplication::sharedAppDelegate()->applicationWillTerminate();
    beacon::TLAppDelegateForwarder::sharedInstance()->removeDelegate(recorder);
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"didFinishLaunching", "willTerminate"}));

    ASSERT_TRUE(openAll());
    std::vector<bool> opened;
    for (const auto& answer : answers) {
      EXPECT_TRUE(answer->onMainThread);
      opened.push_back(answer->opened);
    }
    // The existing item and the web page; not a missing item, text that is no URL, or an item
    // on another host.
    EXPECT_EQ(opened, (std::vector<bool>{true, true, false, false, false}));
    ASSERT_TRUE(waitUntil(
        [&] {
          QCoreApplication::processEvents();
          return lines(record).size() >= 2;
        },
        30s));
    auto given = lines(record);
    std::sort(given.begin(), given.end());
    EXPECT_EQ(given, (std::vector<std::string>{"file://" + folder.path().string() + "/report%20one.txt",
                                               "https://example.org/help?topic=crashes"}));
  }

  // Gone with the hooks: nothing answers for the application any more.
  EXPECT_EQ(TLUtilityApplication::sharedApp(), nullptr);
  EXPECT_EQ(TLUtilityApplication::sharedAppDelegate(), nullptr);
  answers.assign(urls.size(), std::nullopt);
  fs::remove(record);
  ASSERT_TRUE(openAll());
  for (const auto& answer : answers) EXPECT_FALSE(answer->opened);
  EXPECT_FALSE(fs::exists(record));
}

// The answer is the desktop handler's own: an item it refuses is not reported opened, and the
// handler is given the item's bytes (a name that is not UTF-8 kept as it is).
TEST(MarrowlaneLaunchSharedApp, AnItemTheDesktopRefusesIsNotReportedOpened) {
  TempDir folder;
  folder.write(std::string("caf\xE9.txt"), "1\n");
  std::vector<std::string> given;
  bool accepts = false;
  app::SharedApplication application([&](const QUrl& url) {
    given.push_back(url.toEncoded().toStdString());
    return accepts;
  });
  const std::string url = "file://" + folder.path().string() + "/caf%E9.txt";
  EXPECT_FALSE(application.openUrl(url));
  accepts = true;
  EXPECT_TRUE(application.openUrl(url));
  EXPECT_EQ(given, (std::vector<std::string>{url, url}));
}

}  // namespace
}  // namespace ml::test
