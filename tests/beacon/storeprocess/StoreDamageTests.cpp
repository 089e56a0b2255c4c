// The real client over a spoiled log store, in child processes sending to a loopback server: a
// page of random bytes, a table with other columns, a folder at the file's path, a file it may
// not write. Each case stores events tagged "old" while the server is down, spoils the store,
// then runs the client against a healthy server.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "SqliteFixtures.h"
#include "beacon/core/TLUtilityFile.h"
#include "support/ChildProcess.h"
#include "support/FileFixtures.h"
#include "support/Gunzip.h"
#include "support/LocalHttpServer.h"
#include "support/Unprivileged.h"
#include "support/WaitUntil.h"

namespace ml::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class StoreDamage : public ::testing::Test {
 protected:
  fs::path store() const { return beacon::TLUtilityFile::clientDirectoryURL() / "Logs.sqlite"; }
  // Read-only, beside the running client; -1 while the file cannot be read.
  std::int64_t storedRows() const {
    sqlite3* db = nullptr;
    sqlite3_stmt* count = nullptr;
    std::int64_t rows = -1;
    if (sqlite3_open_v2(store().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM logs", -1, &count, nullptr) == SQLITE_OK &&
        sqlite3_step(count) == SQLITE_ROW) {
      rows = sqlite3_column_int64(count, 0);
    }
    sqlite3_finalize(count);
    sqlite3_close(db);
    return rows;
  }
  // The "index" properties of the events tagged `tag` the server received from request `from` on.
  std::multiset<std::string> sent(const std::string& tag, std::size_t from = 0) const {
    std::multiset<std::string> indices;
    const auto requests = server_.requests();
    for (std::size_t i = from; i < requests.size(); ++i) {
      const bool gzip = requests[i].header("Content-Encoding").value_or("") == "gzip";
      auto body = nlohmann::json::parse(gzip ? gunzip(requests[i].body) : requests[i].body, nullptr, false);
      for (const auto& log : body.is_object() ? body["logs"] : nlohmann::json::array()) {
        std::map<std::string, std::string> properties;
        for (const auto& property : log.value("typedProperties", nlohmann::json::array())) {
          properties[property.value("name", "")] = property.value("value", "");
        }
        if (properties["tag"] == tag) indices.insert(properties["index"]);
      }
    }
    return indices;
  }
  std::unique_ptr<ChildProcess> launch(const std::string& url, const std::string& tag, int count,
                                      const std::map<std::string, std::string>& environment = {}) {
    return std::make_unique<ChildProcess>(ML_STORE_CHILD, std::vector<std::string>{url, tag, std::to_string(count)},
                                          environment,
                                          sandbox_.root() / ("launch" + std::to_string(++launches_) + ".out"));
  }
  // Killed once the events are committed; the write-ahead log is then folded into the file
  // unless `keepLog`.
  void storeOffline(int count, bool keepLog = false) {
    auto child = launch("http://127.0.0.1:" + std::to_string(LocalHttpServer::closedPort()), "old", count);
    ASSERT_TRUE(waitUntil([&] { return storedRows() > count; }, 60s)) << child->output();
    child->signal(SIGKILL);
    child->wait();
    if (!keepLog) sqliteExec(store(), "PRAGMA wal_checkpoint(TRUNCATE)");
  }
  static void overwrite(const fs::path& file, std::size_t offset, std::size_t bytes) {
    std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(offset));
    std::mt19937 random(5);
    for (std::size_t i = 0; i < bytes; ++i) out.put(static_cast<char>(random()));
  }
  // Runs until `count` new events tagged `tag` and every stored row are sent; answers the output.
  std::string sendWithNewEvents(int count, const std::string& tag,
                                const std::map<std::string, std::string>& environment = {}) {
    auto child = launch(server_.baseUrl(), tag, count, environment);
    EXPECT_TRUE(waitUntil([&] { return sent(tag).size() >= std::size_t(count) && storedRows() == 0; }, 60s))
        << child->output();
    child->signal(SIGTERM);
    child->wait();
    return child->output();
  }
  void launchOverAReadOnlyStore();

  XdgSandbox sandbox_;
  LocalHttpServer server_;
  int launches_ = 0;
};

TEST_F(StoreDamage, APageOfRandomBytesLosesOnlyItsRowsAndIsReportedWithWhatWasKept) {
  storeOffline(200);
  // The middle one of the table leaf pages (type byte 13) gets 4 KiB of random bytes.
  const std::int64_t pageSize = sqliteInteger(store(), "PRAGMA page_size");
  std::vector<std::int64_t> leaves;
  std::ifstream in(store(), std::ios::binary);
  for (std::int64_t page = 1; in.seekg(page * pageSize) && in.peek() != EOF; ++page) {
    if (in.peek() == 13) leaves.push_back(page);
  }
  ASSERT_GE(leaves.size(), 3u);
  std::fstream out(store(), std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(leaves[leaves.size() / 2] * pageSize);
  std::mt19937 random(7);
  for (std::int64_t i = 0; i < pageSize; ++i) out.put(static_cast<char>(random()));
  out.close();

  const std::string output = sendWithNewEvents(30, "new");
  EXPECT_EQ(sent("new").size(), 30u);
  const auto old = sent("old");
  RecordProperty("old_events_kept", std::to_string(old.size()));
  EXPECT_GE(old.size(), 150u);  // all but the rows of one page
  EXPECT_LT(old.size(), 200u);
  EXPECT_EQ(std::set<std::string>(old.begin(), old.end()).size(), old.size()) << "an old event was sent twice";
  const std::string kept = std::to_string(old.size() + 1);  // the start-up log too
  EXPECT_NE(output.find("Database \"Logs.sqlite\" is damaged (database disk image is malformed); it was deleted and "
                        "created anew: " + kept + " row(s) of table \"logs\" could be read, " + kept +
                        " were copied into the new file"),
            std::string::npos)
      << output;
}

TEST_F(StoreDamage, ATableWithOtherColumnsAndAFolderAtTheFilePathNoLongerLoseNewEvents) {
  storeOffline(60);
  // Three columns go; the recorded schema version stays current, so no migration adds them.
  sqliteExec(store(), "CREATE TABLE shrunk AS SELECT id, groupId, log, priority FROM logs; DROP TABLE logs; "
                      "ALTER TABLE shrunk RENAME TO logs");
  std::string output = sendWithNewEvents(30, "new");
  EXPECT_EQ(sent("new").size(), 30u);
  EXPECT_EQ(sent("old").size(), 60u);
  EXPECT_NE(output.find("is damaged (table \"logs\" has no column \"targetToken\", no column \"targetKey\", no column "
                        "\"timestamp\"); it was deleted and created anew: 61 row(s) of table \"logs\" could be read, "
                        "61 were copied into the new file, 0 were lost."),
            std::string::npos)
      << output;

  fs::remove(store());
  fs::create_directories(store() / "inside");
  std::ofstream(store() / "inside" / "note.txt") << "not ours";
  output = sendWithNewEvents(30, "after");
  EXPECT_EQ(sent("after").size(), 30u);
  EXPECT_TRUE(fs::exists(store().string() + ".moved-aside/inside/note.txt"));
  EXPECT_NE(output.find("Found a folder where the database"), std::string::npos) << output;
}

// Random bytes over frames in the middle of the write-ahead log (SQLite drops every commit after
// them), then over the file's header (SQLite reads nothing): the page scan keeps what is on the
// pages, each event is sent once, and the damage is reported.
TEST_F(StoreDamage, ADamagedWriteAheadLogAndADamagedHeaderKeepWhatThePagesHold) {
  storeOffline(200, true);
  const fs::path wal = store().string() + "-wal";
  ASSERT_GT(fs::file_size(wal), 100u * 4096u);
  overwrite(wal, fs::file_size(wal) / 2, 3 * 4096);
  std::string output = sendWithNewEvents(10, "new");
  auto old = sent("old");
  RecordProperty("old_events_kept_after_wal_damage", std::to_string(old.size()));
  EXPECT_GE(old.size(), 190u);  // at most the rows of the three damaged page images
  EXPECT_EQ(std::set<std::string>(old.begin(), old.end()).size(), old.size()) << "an old event was sent twice";
  EXPECT_NE(output.find("is damaged (its write-ahead log is damaged at frame"), std::string::npos) << output;

  const std::size_t before = server_.requestCount();
  storeOffline(200);
  overwrite(store(), 0, 100);
  output = sendWithNewEvents(10, "after");
  old = sent("old", before);
  EXPECT_EQ(old.size(), 200u);
  EXPECT_EQ(std::set<std::string>(old.begin(), old.end()).size(), old.size()) << "an old event was sent twice";
  EXPECT_NE(output.find("could be read"), std::string::npos) << output;
  EXPECT_EQ(output.find("nothing could be read"), std::string::npos) << output;

  // A write-ahead log cut in half: the commits in the lost half are gone, and that is said.
  std::size_t from = server_.requestCount();
  storeOffline(200, true);
  fs::resize_file(wal, fs::file_size(wal) / 2);
  output = sendWithNewEvents(10, "cut log");
  old = sent("old", from);
  RecordProperty("old_events_kept_after_wal_cut", std::to_string(old.size()));
  EXPECT_EQ(std::set<std::string>(old.begin(), old.end()).size(), old.size()) << "an old event was sent twice";
  EXPECT_NE(output.find("its write-ahead log was cut short"), std::string::npos) << output;

  // A file cut in half: the rows on the pages left are kept.
  from = server_.requestCount();
  storeOffline(200);
  fs::resize_file(store(), fs::file_size(store()) / 2);
  output = sendWithNewEvents(10, "cut file");
  old = sent("old", from);
  RecordProperty("old_events_kept_after_file_cut", std::to_string(old.size()));
  EXPECT_GE(old.size(), 80u);
  EXPECT_NE(output.find("is damaged (database disk image is malformed; the file holds only "), std::string::npos)
      << output;
  EXPECT_EQ(std::set<std::string>(old.begin(), old.end()).size(), old.size()) << "an old event was sent twice";
  EXPECT_EQ(output.find("nothing could be read"), std::string::npos) << output;
}

// Two clients started together over one store, each tracking its own events: every event reaches
// the server once, and the first creation of the store reports no false failure.
TEST_F(StoreDamage, TwoProcessesOnOneStoreSendEachEventOnce) {
  auto first = launch(server_.baseUrl(), "first", 300);
  auto second = launch(server_.baseUrl(), "second", 300);
  EXPECT_TRUE(waitUntil([&] { return sent("first").size() >= 300 && sent("second").size() >= 300 && storedRows() == 0; },
                        90s))
      << first->output() << second->output();
  first->signal(SIGTERM);
  second->signal(SIGTERM);
  first->wait();
  second->wait();
  for (const std::string tag : {"first", "second"}) {
    const auto indices = sent(tag);
    EXPECT_EQ(indices.size(), 300u) << tag;
    EXPECT_EQ(std::set<std::string>(indices.begin(), indices.end()).size(), 300u) << tag << " events sent twice";
  }
  for (const std::string& output : {first->output(), second->output()}) {
    EXPECT_EQ(output.find("Failed to create tables"), std::string::npos) << output;
    EXPECT_EQ(output.find("Failed to initialize database"), std::string::npos) << output;
  }
}

// A file system where the store's lock file cannot be locked (every lock fails with ENOLCK): the
// client works as if it were alone, says so once, and sends what it stored before and now.
TEST_F(StoreDamage, AStoreWhoseLocksFailSendsAsIfAlone) {
  storeOffline(50);
  const std::string output = sendWithNewEvents(20, "new", {{"STORE_CHILD_NO_LOCKS", "1"}});
  EXPECT_EQ(sent("new").size(), 20u);
  EXPECT_EQ(sent("old").size(), 50u);
  const std::string said = "this process uses the file as if it were the only one";
  const auto first = output.find(said);
  EXPECT_NE(first, std::string::npos) << output;
  EXPECT_EQ(output.find(said, first + said.size()), std::string::npos) << "said once: " << output;
  EXPECT_EQ(output.find("Another process sends"), std::string::npos) << output;
}

// Twenty launches over a store the client may read but not write, each stopped (SIGTERM, then a
// normal return from main) once the server has the 120 stored events: each is sent once per
// launch, since the batches the client cannot delete stay reserved.
void StoreDamage::launchOverAReadOnlyStore() {
  storeOffline(120);
  std::optional<ImmutableItem> locked;  // root writes through file modes, not through this flag
  if (isPrivileged() && !locked.emplace(store()).ok()) {
    GTEST_SKIP() << "root, and no immutable flag here";
  }
  if (!isPrivileged()) fs::permissions(store(), fs::perms::owner_read);
  for (int run = 0; run < 20; ++run) {
    const std::size_t before = server_.requestCount();
    auto child = launch(server_.baseUrl(), "none", 0);
    // Until every stored event is in and a refused deletion was reported.
    ASSERT_TRUE(waitUntil([&] {
      return sent("old", before).size() >= 120 &&
             child->output().find("they are not sent again until the next launch") != std::string::npos;
    }, 60s)) << child->output();
    child->signal(SIGTERM);
    auto status = child->wait();
    const auto old = sent("old", before);
    EXPECT_EQ(old.size(), 120u) << "launch " << run;
    EXPECT_EQ(std::set<std::string>(old.begin(), old.end()).size(), old.size()) << "launch " << run;
    EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << "launch " << run << "\n" << child->output();
  }
}

TEST_F(StoreDamage, AReadOnlyStoreSendsEachStoredEventOncePerLaunchAndExitsCleanly) { launchOverAReadOnlyStore(); }

}  // namespace
}  // namespace ml::test
