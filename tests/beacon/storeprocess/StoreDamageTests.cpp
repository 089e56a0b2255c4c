// The real client over a damaged log store, in child processes sending to a loopback server: a
// page of random bytes, a table with other columns, a folder at the file's path and a file it may
// not write. Every case stores events with the server unreachable first ("old"), spoils the
// store, and then starts the client again against a healthy server.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "ChildProcess.h"
#include "beacon/core/TLUtilityFile.h"
#include "support/FileFixtures.h"
#include "support/Gunzip.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace ml::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The first column of the first row of `sql` as an integer (0 without a row, -1 when the file
// cannot be read).
std::int64_t sqliteValue(const fs::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  std::int64_t value = -1;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
      int rc = sqlite3_step(statement);
      if (rc == SQLITE_ROW) value = sqlite3_column_int64(statement, 0);
      if (rc == SQLITE_DONE) value = 0;
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return value;
}

// Runs statements (several allowed) on the file; SQLite's result code.
int sqliteExec(const fs::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return rc;
}

// (tag, index) of every event the server received, in arrival order.
std::vector<std::pair<std::string, std::string>> sentEvents(const LocalHttpServer& server) {
  std::vector<std::pair<std::string, std::string>> events;
  for (const auto& request : server.requests()) {
    std::string body = request.header("Content-Encoding").value_or("") == "gzip" ? gunzip(request.body) : request.body;
    auto container = nlohmann::json::parse(body, nullptr, false);
    if (!container.is_object() || !container.contains("logs")) continue;
    for (const auto& log : container["logs"]) {
      if (log.value("type", "") != "event") continue;
      std::map<std::string, std::string> properties;
      for (const auto& property : log.value("typedProperties", nlohmann::json::array())) {
        properties[property.value("name", "")] = property.value("value", "");
      }
      events.emplace_back(properties["tag"], properties["index"]);
    }
  }
  return events;
}

std::multiset<std::string> indicesOf(const std::vector<std::pair<std::string, std::string>>& events,
                                     const std::string& tag, std::size_t from = 0) {
  std::multiset<std::string> indices;
  for (std::size_t i = from; i < events.size(); ++i) {
    if (events[i].first == tag) indices.insert(events[i].second);
  }
  return indices;
}

class StoreDamage : public ::testing::Test {
 protected:
  fs::path store() const { return beacon::TLUtilityFile::clientDirectoryURL() / "Logs.sqlite"; }
  std::int64_t storedRows() const { return fs::exists(store()) ? sqliteValue(store(), "SELECT COUNT(*) FROM logs") : 0; }

  std::unique_ptr<ChildProcess> launch(const std::string& url, const std::string& tag, int count) {
    ++launches_;
    return std::make_unique<ChildProcess>(ML_STORE_CHILD, std::vector<std::string>{url, tag, std::to_string(count)},
                                          std::map<std::string, std::string>{},
                                          sandbox_.root() / ("launch" + std::to_string(launches_) + ".out"));
  }

  // Stores `count` events tagged "old" while the server is unreachable, kills the client once
  // they are committed, and folds the write-ahead log into the file (as a clean exit would).
  void storeOffline(int count) {
    const std::string down = "http://127.0.0.1:" + std::to_string(LocalHttpServer::closedPort());
    auto child = launch(down, "old", count);
    ASSERT_TRUE(waitUntil([&] { return storedRows() > count; }, 60s)) << child->output();
    child->signal(SIGKILL);
    ASSERT_TRUE(child->wait());
    ASSERT_EQ(sqliteExec(store(), "PRAGMA wal_checkpoint(TRUNCATE)"), SQLITE_OK);
  }

  // Runs the client against the server until `count` new events tagged `tag` and every stored row
  // are sent; answers what the client wrote.
  std::string sendWithNewEvents(int count, const std::string& tag = "new") {
    auto child = launch(server_.baseUrl(), tag, count);
    EXPECT_TRUE(waitUntil(
        [&] { return indicesOf(sentEvents(server_), tag).size() >= static_cast<std::size_t>(count) && storedRows() == 0; },
        60s))
        << child->output();
    child->signal(SIGTERM);
    child->wait();
    return child->output();
  }

  void launchOverAReadOnlyStore(bool checkExit);

  XdgSandbox sandbox_;
  LocalHttpServer server_;
  int launches_ = 0;
};

TEST_F(StoreDamage, APageOfRandomBytesLosesOnlyItsRowsAndIsReportedWithWhatWasKept) {
  storeOffline(200);
  // The middle one of the file's table leaf pages (type byte 13) takes 4 KiB of random bytes.
  const std::int64_t pageSize = sqliteValue(store(), "PRAGMA page_size");
  std::vector<std::int64_t> leaves;
  {
    std::ifstream in(store(), std::ios::binary);
    for (std::int64_t page = 2; in.seekg(static_cast<std::streamoff>((page - 1) * pageSize)); ++page) {
      char type = 0;
      if (!in.get(type)) break;
      if (type == 13) leaves.push_back(page);
    }
  }
  ASSERT_GE(leaves.size(), 3u);
  {
    std::fstream out(store(), std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>((leaves[leaves.size() / 2] - 1) * pageSize));
    std::mt19937 random(7);
    for (std::int64_t i = 0; i < pageSize; ++i) out.put(static_cast<char>(random() & 0xFF));
  }

  const std::string output = sendWithNewEvents(30);
  const auto events = sentEvents(server_);
  EXPECT_EQ(indicesOf(events, "new").size(), 30u);
  const auto old = indicesOf(events, "old");
  EXPECT_GE(old.size(), 150u);  // all but the rows of one page
  EXPECT_LT(old.size(), 200u);
  for (const auto& index : old) EXPECT_EQ(old.count(index), 1u) << "old event " << index;
  EXPECT_NE(output.find("WARNING: "), std::string::npos) << output;
  const std::string kept = std::to_string(old.size() + 1);  // the start-up log too
  EXPECT_NE(output.find("Database \"Logs.sqlite\" is damaged (database disk image is malformed); it was deleted and "
                        "created anew: " + kept + " row(s) of table \"logs\" could be read, " + kept +
                        " were copied into the new file"),
            std::string::npos)
      << output;
}

TEST_F(StoreDamage, ATableWithOtherColumnsAndAFolderAtTheFilePathNoLongerLoseNewEvents) {
  storeOffline(60);
  // The table loses three of its columns; the recorded schema version stays current.
  ASSERT_EQ(sqliteExec(store(),
                       "CREATE TABLE shrunk AS SELECT id, groupId, log, priority FROM logs; DROP TABLE logs; "
                       "ALTER TABLE shrunk RENAME TO logs"),
            SQLITE_OK);
  std::string output = sendWithNewEvents(30);
  auto events = sentEvents(server_);
  EXPECT_EQ(indicesOf(events, "new").size(), 30u);
  EXPECT_EQ(indicesOf(events, "old").size(), 60u);
  EXPECT_NE(output.find("is damaged (table \"logs\" has no column \"targetToken\", no column \"targetKey\", no column "
                        "\"timestamp\"); it was deleted and created anew: 61 row(s) of table \"logs\" could be read, "
                        "61 were copied into the new file, 0 were lost."),
            std::string::npos)
      << output;

  fs::remove(store());
  fs::create_directories(store() / "inside");
  std::ofstream(store() / "inside" / "note.txt") << "not ours";
  output = sendWithNewEvents(30, "after");
  EXPECT_EQ(indicesOf(sentEvents(server_), "after").size(), 30u);
  EXPECT_TRUE(fs::exists(store().string() + ".moved-aside/inside/note.txt"));
  EXPECT_NE(output.find("Found a folder where the database"), std::string::npos) << output;
}

// Twenty launches over a store the client may read but not write, each stopped (SIGTERM, a
// normal return from main) once its server received the 120 stored events. Each launch sends
// each event once: the batches it cannot delete stay reserved. `checkExit` also asks for a clean
// exit at every launch.
void StoreDamage::launchOverAReadOnlyStore(bool checkExit) {
  storeOffline(120);
  // Root writes through file modes; the immutable flag stops it too.
  std::optional<ImmutableItem> locked;
  if (isPrivileged()) {
    locked.emplace(store());
    if (!locked->ok()) GTEST_SKIP() << "root ignores file modes and the immutable flag is not available here";
  } else {
    fs::permissions(store(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  }
  for (int run = 0; run < 20; ++run) {
    const auto before = sentEvents(server_).size();
    auto child = launch(server_.baseUrl(), "none", 0);
    ASSERT_TRUE(waitUntil([&] { return indicesOf(sentEvents(server_), "old", before).size() >= 120; }, 60s))
        << child->output();
    child->signal(SIGTERM);
    auto status = child->wait();
    const auto sent = indicesOf(sentEvents(server_), "old", before);
    EXPECT_EQ(sent.size(), 120u) << "launch " << run;
    for (const auto& index : sent) ASSERT_EQ(sent.count(index), 1u) << "launch " << run << ", event " << index;
    ASSERT_TRUE(status);
    EXPECT_NE(child->output().find("they are not sent again until the next launch"), std::string::npos)
        << child->output();
    if (checkExit) {
      EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "launch " << run << ": status " << *status;
    }
  }
}

TEST_F(StoreDamage, AReadOnlyStoreSendsEachStoredEventOncePerLaunch) { launchOverAReadOnlyStore(false); }

// Disabled until the client's teardown at exit no longer races its last ingestion answers.
TEST_F(StoreDamage, DISABLED_AClientOverAReadOnlyStoreExitsCleanlyAtEveryLaunch) { launchOverAReadOnlyStore(true); }

}  // namespace
}  // namespace ml::test
