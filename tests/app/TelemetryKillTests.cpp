// A process killed (SIGKILL) in the middle of a burst of 1,000 events: every event its store had
// committed before the kill is sent by the next process, exactly once.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <set>

#include "TelemetryFixture.h"
#include "support/ChildProcess.h"
#include "support/WaitUntil.h"

namespace ml::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Rows of the client's log table, read without disturbing the writer (read-only; the store's
// write-ahead log lets readers in while it commits). 0 while there is no file yet.
std::int64_t storedRowCount(const fs::path& root) {
  fs::path file;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator(); ++it) {
    if (it->path().filename() == "Logs.sqlite") file = it->path();
  }
  if (file.empty()) return 0;
  sqlite3* db = nullptr;
  std::int64_t count = 0;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM logs", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      count = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return count;
}

TEST(TelemetryProcessKill, EveryEventTheStoreCommittedBeforeSigkillIsSentOnceAfterTheRestart) {
  TelemetrySandbox sandbox;
  LocalHttpServer server;
  const std::string downUrl = "http://127.0.0.1:" + std::to_string(LocalHttpServer::closedPort());

  std::int64_t rowsAtKill = 0;
  {
    ChildProcess burst(ML_TELEMETRY_CHILD, {"burst", downUrl, "1000"}, sandbox.childEnvironment(downUrl),
                       sandbox.root() / "burst.out");
    ASSERT_TRUE(waitUntil([&] { return storedRowCount(sandbox.root()) >= 100; }, 60s)) << burst.output();
    burst.signal(SIGKILL);
    ASSERT_TRUE(burst.wait());
    rowsAtKill = storedRowCount(sandbox.root());
  }
  RecordProperty("rows_at_kill", std::to_string(rowsAtKill));

  std::set<std::string> committed;
  for (const auto& log : storedLogs({"Analytics"})) {
    if (log.type == "event") {
      EXPECT_TRUE(committed.insert(log.properties.at("index")).second);
    }
  }
  ASSERT_GE(committed.size(), 50u);  // the rows at the kill include the start-up logs

  ChildProcess sender(ML_TELEMETRY_CHILD, {"send", server.baseUrl()}, sandbox.childEnvironment(server.baseUrl()),
                      sandbox.root() / "send.out");
  auto sentIndices = [&] {
    std::multiset<std::string> sent;
    for (const auto& log : logsOfType(receivedLogs(server), "event")) {
      for (const auto& property : log.log.value("typedProperties", nlohmann::json::array())) {
        if (property.value("name", "") == "index") sent.insert(property.value("value", ""));
      }
    }
    return sent;
  };
  ASSERT_TRUE(waitUntil([&] { return sentIndices().size() >= committed.size(); }, 120s)) << sender.output();
  ASSERT_TRUE(waitUntil([&] { return storedRowCount(sandbox.root()) == 0; }, 30s));
  sender.signal(SIGKILL);
  sender.wait();

  auto sent = sentIndices();
  EXPECT_EQ(sent.size(), committed.size());
  for (const auto& index : committed) EXPECT_EQ(sent.count(index), 1u) << "event " << index;
}

}  // namespace
}  // namespace ml::test
