// The marrowlane binary as a user runs it, offscreen in sandboxed XDG folders, its telemetry sent
// to a loopback server through MARROWLANE_LOG_URL.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <fstream>
#include <regex>
#include <set>

#include "TelemetryFixture.h"
#include "platform/foundation/Preferences.h"
#include "support/ChildProcess.h"
#include "support/WaitUntil.h"

namespace ml::test {
namespace {

using namespace std::chrono_literals;

std::size_t countNamed(const std::vector<ReceivedLog>& logs, const std::string& name) {
  std::size_t count = 0;
  for (const auto& log : logsOfType(logs, "event")) count += log.log.value("name", "") == name;
  return count;
}

void expectCleanExit(ChildProcess& app) {
  app.signal(SIGTERM);
  auto status = app.wait(30s);
  ASSERT_TRUE(status) << "still running after SIGTERM";
  EXPECT_TRUE(WIFEXITED(*status)) << app.output();
  EXPECT_EQ(WEXITSTATUS(*status), 0) << app.output();
}

TEST(MarrowlaneTelemetry, LaunchSendsTheStartServiceLogAndWindowOpenedWithTheirHeadersAndBodies) {
  TelemetrySandbox sandbox;
  sandbox.enableDebugLogs();
  LocalHttpServer server;
  TempDir items;
  auto item = items.write("notes.txt", "some notes\n");

  // One offscreen screen of 1024 x 640 points at two device pixels per point.
  auto screens = items.write("screens.json", R"({"screens":[{"name":"wide","x":0,"y":0,"width":1024,"height":640,)"
                                             R"("logicalDpi":96,"logicalBaseDpi":96,"dpr":2}]})");
  auto environment = sandbox.childEnvironment(server.baseUrl());
  environment["QT_QPA_PLATFORM"] = "offscreen:configfile=" + screens.string();
  ChildProcess app(ML_MARROWLANE_BINARY, {item.string()}, environment, sandbox.root() / "marrowlane.out");
  // The start-service log goes within the core's 3 s; the event with analytics' 30 s interval.
  ASSERT_TRUE(waitUntil([&] { return countNamed(receivedLogs(server), "Window Opened") == 1; }, 90s)) << app.output();
  expectCleanExit(app);

  auto logs = receivedLogs(server);
  auto started = logsOfType(logs, "startService");
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].log["services"], nlohmann::json::array({"Crashes", "Analytics"}));

  const std::string installId =
      foundation::Preferences(foundation::Preferences::standardFile()).string("TLInstallId").value_or("?");
  const std::regex upperUuid("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
  for (const auto& request : server.requests()) {
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/logs?api-version=1.0.0");
    EXPECT_EQ(request.header("Content-Type"), "application/json");
    EXPECT_EQ(request.header("App-Secret"), kAppSecret);
    auto sentId = request.header("Install-ID").value_or("");
    EXPECT_TRUE(std::regex_match(sentId, upperUuid)) << sentId;
    EXPECT_TRUE(std::equal(sentId.begin(), sentId.end(), installId.begin(), installId.end(),
                           [](char a, char b) { return std::toupper(a) == std::toupper(b); }))
        << sentId << " vs " << installId;
  }

  ReceivedLog opened;
  for (const auto& log : logsOfType(logs, "event")) {
    if (log.log.value("name", "") == "Window Opened") opened = log;
  }
  EXPECT_EQ(opened.log["typedProperties"],
            nlohmann::json::parse(R"([{"type":"string","name":"controller","value":"InfoWindow"}])"));
  EXPECT_TRUE(std::regex_match(opened.log.value("id", ""), upperUuid));
  EXPECT_TRUE(opened.log.contains("sid"));
  EXPECT_TRUE(opened.log.contains("timestamp"));
  EXPECT_EQ(opened.log["device"].value("appNamespace", ""), "org.marrowlane.Marrowlane");
  // That screen in device pixels, height first.
  EXPECT_EQ(opened.log["device"].value("screenSize", ""), "1280x2048");

  // Our own log output shows the secret masked (all but its last 8 characters), never whole.
  const std::string output = app.output();
  EXPECT_NE(output.find("App-Secret = ************************" + std::string(kAppSecret).substr(24)),
            std::string::npos)
      << output;
  EXPECT_EQ(output.find(kAppSecret), std::string::npos);
}

TEST(MarrowlaneTelemetry, LogsStoredWhileTheServerIsDownAreSentExactlyOnceByTheNextLaunch) {
  TelemetrySandbox sandbox;
  LocalHttpServer server;
  TempDir items;
  auto item = items.write("notes.txt", "some notes\n");
  const std::string downUrl = "http://127.0.0.1:" + std::to_string(LocalHttpServer::closedPort());

  {
    ChildProcess first(ML_MARROWLANE_BINARY, {item.string()}, sandbox.childEnvironment(downUrl),
                       sandbox.root() / "first.out");
    auto holdsTheLaunchLogs = [] {
      bool started = false;
      bool opened = false;
      for (const auto& log : storedLogs({"Beacon", "Analytics"})) {
        started = started || log.type == "startService";
        opened = opened || log.name == "Window Opened";
      }
      return started && opened;
    };
    ASSERT_TRUE(waitUntil(holdsTheLaunchLogs, 60s)) << first.output();
    expectCleanExit(first);
  }
  ASSERT_EQ(server.requestCount(), 0u);

  ChildProcess second(ML_MARROWLANE_BINARY, {}, sandbox.childEnvironment(server.baseUrl()),
                      sandbox.root() / "second.out");
  // Both launches' start-service logs and the first launch's event; the store empties.
  ASSERT_TRUE(waitUntil(
      [&] {
        auto logs = receivedLogs(server);
        return logsOfType(logs, "startService").size() >= 2 && countNamed(logs, "Window Opened") >= 1;
      },
      90s))
      << second.output();
  ASSERT_TRUE(waitUntil([] { return storedLogs({"Beacon", "Analytics"}).empty(); }, 30s));
  expectCleanExit(second);

  auto logs = receivedLogs(server);
  EXPECT_EQ(logsOfType(logs, "startService").size(), 2u);
  EXPECT_EQ(countNamed(logs, "Window Opened"), 1u);
  std::set<std::string> distinct;
  for (const auto& log : logs) EXPECT_TRUE(distinct.insert(log.log.dump()).second) << "sent twice: " << log.log.dump();
}

TEST(MarrowlaneTelemetry, BeaconDisableAllStartsNoServiceAndSendsNothing) {
  TelemetrySandbox sandbox;
  sandbox.enableDebugLogs();
  LocalHttpServer server;
  TempDir items;
  auto item = items.write("notes.txt", "some notes\n");
  auto environment = sandbox.childEnvironment(server.baseUrl());
  environment["BEACON_DISABLE"] = "All";

  ChildProcess app(ML_MARROWLANE_BINARY, {item.string()}, environment, sandbox.root() / "disabled.out");
  ASSERT_TRUE(waitUntil([&] { return app.output().find("No services have been started.") != std::string::npos; }, 30s))
      << app.output();
  expectCleanExit(app);
  EXPECT_NE(app.output().find("Environment variable to disable service has been set; not starting service TLAnalytics"),
            std::string::npos);
  // Disabled on purpose: the application's calls into the services are no error of its own.
  EXPECT_EQ(app.output().find("YOUR_APP_SECRET"), std::string::npos) << app.output();
  EXPECT_EQ(app.output().find("ERROR"), std::string::npos) << app.output();
  EXPECT_EQ(server.requestCount(), 0u);
  for (const auto& log : storedLogs({"Beacon", "Analytics"})) ADD_FAILURE() << "stored: " << log.type << " " << log.name;
}

}  // namespace
}  // namespace ml::test
