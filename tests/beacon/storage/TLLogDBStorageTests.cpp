#include <gtest/gtest.h>

#include <algorithm>

#include <fstream>
#include <map>

#include "LogCapture.h"
#include "ModelFixtures.h"
#include "SqliteFixtures.h"
#include "beacon/core/Storage/TLLogDBStorage.h"
#include "beacon/core/TLAbstractLog.h"
#include "beacon/core/TLArchiveClasses.h"
#include "beacon/core/TLEncrypter.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLUserDefaults.h"
#include "beacon/core/TLUtilityFile.h"
#include "platform/dispatch/ManualClock.h"
#include "platform/foundation/Preferences.h"
#include "platform/security/Base64.h"
#include "support/TempDir.h"

namespace ml::beacon {
namespace {

namespace fs = std::filesystem;
using ::ml::test::sqliteColumn;
using ::ml::test::sqliteExec;
using ::ml::test::sqliteInteger;
using Date = std::chrono::system_clock::time_point;
using std::chrono::milliseconds;

// Stands in for the common-schema log: the store keeps the target token only of logs of that class.
class CommonSchemaLog : public TLAbstractLog {
 public:
  std::string_view className() const override { return TLLogDBStorage::kCommonSchemaLogClassName; }
};

const Date kEpochPlus = Date(milliseconds(1'700'000'000'000));  // beyond 32 bits of milliseconds

std::shared_ptr<TLAbstractLog> makeLog(std::string sid, Date timestamp = kEpochPlus) {
  auto log = std::make_shared<TLAbstractLog>();
  log->setType("event");
  log->setTimestamp(timestamp);
  log->setSid(std::move(sid));
  log->setDevice(test::validDevice());
  return log;
}

std::shared_ptr<TLAbstractLog> makeCommonSchemaLog(std::string sid, std::optional<std::string> token) {
  auto log = std::make_shared<CommonSchemaLog>();
  log->setType("cs");
  log->setTimestamp(kEpochPlus);
  log->setSid(std::move(sid));
  if (token) log->addTransmissionTargetToken(*token);
  return log;
}

std::vector<std::string> sidsOf(const TLStorage::Logs& logs) {
  std::vector<std::string> sids;
  for (const auto& log : logs) sids.push_back(log->sid().value_or("?"));
  return sids;
}

class TLLogDBStorageTest : public ::testing::Test {
 protected:
  TLLogDBStorageTest() {
    TLArchiveClasses::add(TLLogDBStorage::kCommonSchemaLogClassName, [] { return std::make_shared<CommonSchemaLog>(); });
  }

  std::unique_ptr<TLLogDBStorage> open() {
    return std::make_unique<TLLogDBStorage>(
        std::make_unique<TLEncrypter>(security::RandomSource::system(), settings, clock));
  }
  fs::path file() const { return TLUtilityFile::clientDirectoryURL() / "Logs.sqlite"; }

  struct Loaded {
    bool more = false;
    TLStorage::Logs logs;
    std::optional<std::string> batchId;
  };
  Loaded load(TLLogDBStorage& storage, const std::string& group, std::uint64_t limit,
              std::optional<std::vector<std::string>> excluded = std::nullopt, std::optional<Date> after = std::nullopt,
              std::optional<Date> before = std::nullopt) {
    Loaded loaded;
    loaded.more = storage.loadLogsWithGroupId(group, limit, excluded, after, before,
                                              [&](const TLStorage::Logs& logs, const std::optional<std::string>& batchId) {
                                                loaded.logs = logs;
                                                loaded.batchId = batchId;
                                              });
    return loaded;
  }
  std::string base64Archive(const TLAbstractLog& log) {
    auto data = TLKeyedArchiver::archivedData(log);
    EXPECT_TRUE(data);
    return security::Base64::encode(*data);
  }

  ::ml::test::XdgSandbox sandbox;
  ::ml::test::TempDir temp;
  foundation::Preferences preferences{temp.path() / "prefs.plist"};
  dispatch::ManualClock clock;
  TLUserDefaults settings{preferences, clock};
  ::ml::test::LogCapture capture;
};

// --- Schema and migration

TEST_F(TLLogDBStorageTest, FreshDatabaseHasTheSchemaIndexVersionAndAutoVacuum) {
  auto storage = open();
  EXPECT_EQ(storage->dbFileURL(), file());
  EXPECT_EQ(sqliteColumn(file(), "SELECT sql FROM sqlite_master WHERE name='logs'"),
            std::vector<std::string>{"CREATE TABLE \"logs\" (\"id\" INTEGER PRIMARY KEY AUTOINCREMENT, \"groupId\" TEXT NOT "
                                     "NULL, \"log\" TEXT NOT NULL, \"targetToken\" TEXT, \"targetKey\" TEXT, \"priority\" "
                                     "INTEGER, \"timestamp\" INTEGER)"});
  EXPECT_EQ(sqliteColumn(file(), "SELECT sql FROM sqlite_master WHERE type='index' AND name='ix_logs_priority'"),
            std::vector<std::string>{"CREATE INDEX \"ix_logs_priority\" ON \"logs\" (\"priority\")"});
  EXPECT_EQ(sqliteInteger(file(), "PRAGMA user_version"), 4);
  EXPECT_EQ(sqliteInteger(file(), "PRAGMA auto_vacuum"), 1);
  EXPECT_EQ(storage->countLogs(), 0u);
}

class TLLogDBStorageMigrationTest : public TLLogDBStorageTest, public ::testing::WithParamInterface<int> {};

TEST_P(TLLogDBStorageMigrationTest, OlderFileMigratesWithItsRowsAndDefaults) {
  int version = GetParam();
  std::string columns = "\"id\" INTEGER PRIMARY KEY AUTOINCREMENT, \"groupId\" TEXT NOT NULL, \"log\" TEXT NOT NULL";
  if (version >= 1) columns += ", \"targetToken\" TEXT";
  if (version >= 2) columns += ", \"targetKey\" TEXT";
  if (version >= 3) columns += ", \"priority\" INTEGER DEFAULT 1";
  std::string sql = "CREATE TABLE \"logs\" (" + columns + ");";
  if (version >= 3) sql += "CREATE INDEX \"ix_logs_priority\" ON \"logs\" (\"priority\");";
  sql += "INSERT INTO logs (groupId, log) VALUES ('old', '" + base64Archive(*makeLog("kept")) + "');";
  sql += "PRAGMA user_version = " + std::to_string(version) + ";";
  sqliteExec(file(), sql);

  auto storage = open();
  EXPECT_EQ(sqliteInteger(file(), "PRAGMA user_version"), 4);
  EXPECT_EQ(sqliteColumn(file(), "SELECT name FROM pragma_table_info('logs')"),
            (std::vector<std::string>{"id", "groupId", "log", "targetToken", "targetKey", "priority", "timestamp"}));
  EXPECT_EQ(sqliteColumn(file(), "SELECT priority || '/' || timestamp || '/' || IFNULL(targetKey, 'NULL') FROM logs"),
            std::vector<std::string>{"1/0/NULL"});
  EXPECT_EQ(sqliteInteger(file(), "SELECT COUNT(*) FROM sqlite_master WHERE type='index' AND name='ix_logs_priority'"), 1);
  EXPECT_EQ(capture.count(TLLogLevel::error), 0u);
  EXPECT_EQ(sidsOf(load(*storage, "old", 10).logs), std::vector<std::string>{"kept"});
}

INSTANTIATE_TEST_SUITE_P(Versions, TLLogDBStorageMigrationTest, ::testing::Values(0, 2, 3));

TEST_F(TLLogDBStorageTest, GarbageFileIsRecreated) {
  fs::create_directories(file().parent_path());
  {
    std::ofstream out(file(), std::ios::binary);
    for (int i = 0; i < 1000; ++i) out << "garbage";
  }
  auto storage = open();
  EXPECT_EQ(sqliteInteger(file(), "PRAGMA user_version"), 4);
  EXPECT_TRUE(storage->saveLog(makeLog("a"), "g", 1));
  EXPECT_EQ(storage->countLogs(), 1u);
}

// --- Saving and loading

TEST_F(TLLogDBStorageTest, SavedLogReadsBackEqualWithItsColumns) {
  auto storage = open();
  auto log = makeLog("s1");
  EXPECT_TRUE(storage->saveLog(log, "group", 0x1'02));
  EXPECT_EQ(sqliteColumn(file(), "SELECT groupId || '/' || priority || '/' || timestamp FROM logs"),
            std::vector<std::string>{"group/2/1700000000000"});
  auto loaded = load(*storage, "group", 10);
  ASSERT_EQ(loaded.logs.size(), 1u);
  EXPECT_TRUE(loaded.logs[0]->isEqual(*log));
  EXPECT_FALSE(loaded.more);
  ASSERT_TRUE(loaded.batchId);
  EXPECT_EQ(loaded.batchId->size(), 36u);
  EXPECT_EQ(*loaded.batchId, [&] {
    std::string upper = *loaded.batchId;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
  }());
  EXPECT_FALSE(storage->saveLog(nullptr, "group", 1));
}

TEST_F(TLLogDBStorageTest, LoadOrdersByPriorityThenAgeAndReportsMore) {
  auto storage = open();
  storage->saveLog(makeLog("p1-old"), "g", 1);
  storage->saveLog(makeLog("p1-new"), "g", 1);
  storage->saveLog(makeLog("p2"), "g", 2);
  storage->saveLog(makeLog("other group"), "h", 9);
  auto loaded = load(*storage, "g", 2);
  EXPECT_EQ(sidsOf(loaded.logs), (std::vector<std::string>{"p2", "p1-old"}));
  EXPECT_TRUE(loaded.more);

  // The first batch's rows are reserved until it is deleted.
  auto second = load(*storage, "g", 2);
  EXPECT_EQ(sidsOf(second.logs), std::vector<std::string>{"p1-new"});
  EXPECT_FALSE(second.more);
  auto third = load(*storage, "g", 2);
  EXPECT_TRUE(third.logs.empty());
  EXPECT_FALSE(third.batchId);
}

TEST_F(TLLogDBStorageTest, DeletingABatchRemovesItsRowsAndReleasesNothingElse) {
  auto storage = open();
  for (int i = 0; i < 3; ++i) storage->saveLog(makeLog("l" + std::to_string(i)), "g", 1);
  auto first = load(*storage, "g", 2);
  storage->deleteLogsWithBatchId(*first.batchId, "g");
  EXPECT_EQ(storage->countLogs(), 1u);
  EXPECT_TRUE(storage->batches().empty());
  storage->deleteLogsWithBatchId("unknown", "g");
  storage->deleteLogsWithBatchId(*first.batchId, "other");
  EXPECT_EQ(storage->countLogs(), 1u);
  EXPECT_EQ(sidsOf(load(*storage, "g", 5).logs), std::vector<std::string>{"l2"});
}

TEST_F(TLLogDBStorageTest, DeletingAGroupAnswersItsLogsAndKeepsOtherGroupsBatches) {
  auto storage = open();
  storage->saveLog(makeLog("a1"), "Analytics", 1);
  storage->saveLog(makeLog("a2"), "Analytics", 1);
  storage->saveLog(makeLog("o1"), "Analytics/one", 1);
  storage->saveLog(makeLog("o2"), "Analytics/one", 1);
  load(*storage, "Analytics", 1);
  auto otherBatch = load(*storage, "Analytics/one", 1);

  auto deleted = storage->deleteLogsWithGroupId("Analytics");
  EXPECT_EQ(sidsOf(deleted), (std::vector<std::string>{"a1", "a2"}));
  EXPECT_EQ(storage->countLogs(), 2u);
  ASSERT_EQ(storage->batches().size(), 1u);
  EXPECT_EQ(storage->batches().begin()->first, (std::pair<std::string, std::string>{"Analytics/one", *otherBatch.batchId}));
  // The other group's batch is still reserved: only its second log is handed out.
  EXPECT_EQ(sidsOf(load(*storage, "Analytics/one", 5).logs), std::vector<std::string>{"o2"});
}

TEST_F(TLLogDBStorageTest, DatesBoundTheLoadAndTheCount) {
  auto storage = open();
  Date t0 = kEpochPlus;
  storage->saveLog(makeLog("t0", t0), "g", 1);
  storage->saveLog(makeLog("t1", t0 + milliseconds(1000)), "g", 1);
  storage->saveLog(makeLog("t2", t0 + milliseconds(2000)), "g", 1);
  EXPECT_EQ(sidsOf(load(*storage, "g", 10, std::nullopt, t0 + milliseconds(1000), t0 + milliseconds(2000)).logs),
            std::vector<std::string>{"t1"});
  EXPECT_EQ(storage->countLogsBeforeDate(t0 + milliseconds(1000)), 2u);
  EXPECT_EQ(storage->countLogsBeforeDate(t0 - milliseconds(1)), 0u);
}

TEST_F(TLLogDBStorageTest, UndecodableRowIsDeletedWhenRead) {
  auto storage = open();
  storage->saveLog(makeLog("good"), "g", 1);
  sqliteExec(file(), "INSERT INTO logs (groupId, log, priority, timestamp) VALUES ('g', 'bm90IGFuIGFyY2hpdmU=', 1, 0);"
                     "INSERT INTO logs (groupId, log, priority, timestamp) VALUES ('g', '%%% not base64', 1, 0);");
  EXPECT_EQ(storage->countLogs(), 3u);
  EXPECT_EQ(sidsOf(load(*storage, "g", 10).logs), std::vector<std::string>{"good"});
  EXPECT_EQ(storage->countLogs(), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::error, "Deserialization failed for log with Id 2"), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::error, "Deserialization failed for log with Id 3"), 1u);
}

// --- Target tokens

TEST_F(TLLogDBStorageTest, TargetTokenIsStoredEncryptedWithItsKeyAndRestored) {
  auto storage = open();
  storage->saveLog(makeCommonSchemaLog("cs", "key1-secret-part"), "g", 1);
  storage->saveLog(makeLog("plain"), "g", 1);  // ordinary logs keep no token
  EXPECT_EQ(sqliteColumn(file(), "SELECT IFNULL(targetKey, 'NULL') FROM logs ORDER BY id"),
            (std::vector<std::string>{"key1", "NULL"}));
  auto stored = sqliteColumn(file(), "SELECT targetToken FROM logs WHERE id = 1");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].find("secret"), std::string::npos);

  auto loaded = load(*storage, "g", 10);
  ASSERT_EQ(loaded.logs.size(), 2u);
  EXPECT_EQ(loaded.logs[0]->transmissionTargetTokens(), std::set<std::string>{"key1-secret-part"});
  EXPECT_FALSE(loaded.logs[1]->transmissionTargetTokens());
}

TEST_F(TLLogDBStorageTest, HostileTargetKeyAndGroupAreStoredAndLoadedIntact) {
  auto storage = open();
  std::string token = "x'); DROP TABLE logs; --tail";
  std::string group = "g'); DELETE FROM logs; --";
  ASSERT_TRUE(storage->saveLog(makeCommonSchemaLog("hostile", token), group, 1));
  storage->saveLog(makeCommonSchemaLog("other", "safe-1"), group, 1);
  EXPECT_EQ(sqliteColumn(file(), "SELECT targetKey FROM logs WHERE id = 1"),
            std::vector<std::string>{"x'); DROP TABLE logs; "});

  auto paused = load(*storage, group, 10, std::vector<std::string>{"x'); DROP TABLE logs; "});
  EXPECT_EQ(sidsOf(paused.logs), std::vector<std::string>{"other"});
  auto resumed = load(*storage, group, 10, std::vector<std::string>{"safe"});
  ASSERT_EQ(sidsOf(resumed.logs), std::vector<std::string>{"hostile"});
  EXPECT_EQ(resumed.logs[0]->transmissionTargetTokens(), std::set<std::string>{token});
  EXPECT_EQ(storage->countLogs(), 2u);
  EXPECT_EQ(storage->deleteLogsWithGroupId(group).size(), 2u);
  EXPECT_EQ(storage->countLogs(), 0u);
}

TEST_F(TLLogDBStorageTest, LogsWithoutATargetKeyStillLoadWhileKeysArePaused) {
  auto storage = open();
  storage->saveLog(makeLog("ordinary"), "g", 1);
  storage->saveLog(makeCommonSchemaLog("no key", "-starts-with-dash"), "g", 1);
  storage->saveLog(makeCommonSchemaLog("paused", "k-1"), "g", 1);
  EXPECT_EQ(sidsOf(load(*storage, "g", 10, std::vector<std::string>{"k"}).logs),
            (std::vector<std::string>{"ordinary", "no key"}));
}

TEST_F(TLLogDBStorageTest, EmptyStoredTokenIsReportedAndTheLogKept) {
  auto storage = open();
  storage->saveLog(makeCommonSchemaLog("cs", "k-1"), "g", 1);
  sqliteExec(file(), "UPDATE logs SET targetToken = '' WHERE id = 1; INSERT INTO logs (groupId, log, targetToken, "
                     "priority, timestamp) SELECT groupId, log, 'bm90IGVuY3J5cHRlZA==', 1, 0 FROM logs WHERE id = 1;");
  auto loaded = load(*storage, "g", 10);
  ASSERT_EQ(loaded.logs.size(), 2u);
  EXPECT_FALSE(loaded.logs[0]->transmissionTargetTokens());
  EXPECT_FALSE(loaded.logs[1]->transmissionTargetTokens());
  EXPECT_EQ(capture.count(TLLogLevel::error, "Unexpected empty target token for log with Id 1."), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::error, "Failed to decrypt the target token for log with Id 2."), 1u);
}

// --- Size cap and eviction

TEST_F(TLLogDBStorageTest, FullDatabaseEvictsLowestPriorityOldestFirst) {
  auto storage = open();
  storage->setMaxStorageSize(12 * 4096, {});
  std::map<std::string, std::size_t> evicted;  // group -> logs reported as evicted
  storage->setEvictionHandler([&](const std::string& group, const TLStorage::Logs& logs) {
    for (const auto& log : logs) evicted[group] += log ? 1 : 0;
  });
  std::string padding(700, 'x');
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(storage->saveLog(makeLog("high" + padding), "B", 2));  // ids 1-3

  // Low-priority logs fill the file; the first eviction takes the oldest low-priority row.
  int saved = 0;
  while (capture.count(TLLogLevel::debug, "Deleted a log with id") == 0 && saved < 200) {
    ASSERT_TRUE(storage->saveLog(makeLog("low" + padding), "A", 1));
    ++saved;
  }
  ASSERT_LT(saved, 200);
  EXPECT_EQ(capture.count(TLLogLevel::debug, "Deleted a log with id 4 to store a new log."), 1u);
  EXPECT_EQ(sqliteInteger(file(), "SELECT COUNT(*) FROM logs WHERE id <= 3"), 3);
  EXPECT_EQ(capture.count(TLLogLevel::warning, "oldest log(s) with equal or lower priority deleted."), 1u);
  EXPECT_EQ(evicted, (std::map<std::string, std::size_t>{{"A", capture.count(TLLogLevel::debug, "Deleted a log with id")}}));

  // High-priority logs push out every low-priority row before any high-priority one.
  capture.clear();
  for (int i = 0; i < 200 && capture.count(TLLogLevel::debug, "Deleted a log with id 1 ") == 0; ++i) {
    ASSERT_TRUE(storage->saveLog(makeLog("high" + padding), "B", 2));
  }
  EXPECT_EQ(sqliteInteger(file(), "SELECT COUNT(*) FROM logs WHERE priority = 1"), 0);
  EXPECT_LE(fs::file_size(file()), 12u * 4096u);

  // Only higher priorities left: a low-priority log (larger than the room the last eviction left)
  // is discarded without evicting anything.
  capture.clear();
  std::uint64_t before = storage->countLogs();
  EXPECT_FALSE(storage->saveLog(makeLog("low" + std::string(16000, 'y')), "A", 1));
  EXPECT_EQ(storage->countLogs(), before);
  EXPECT_EQ(capture.count(TLLogLevel::debug, "Deleted a log"), 0u);
  EXPECT_EQ(capture.count(TLLogLevel::error,
                          "Storage is full and no logs with equal or lower priority exist; discarding the log."),
            1u);
}

// Logs lost to make room are what the new log needs and at most a page more, also at a larger cap
// (each a log that would have been sent once the server came back), and every save still goes in.
TEST_F(TLLogDBStorageTest, EachEvictionDeletesNoMoreThanTheNewLogAndAPage) {
  auto storage = open();
  storage->setMaxStorageSize(1024 * 1024, {});
  std::vector<std::size_t> deletedPerSave;
  storage->setEvictionHandler([&](const std::string&, const TLStorage::Logs& logs) { deletedPerSave.push_back(logs.size()); });
  const std::string padding(700, 'x');
  int saves = 0;
  for (; saves < 5000 && deletedPerSave.size() < 100; ++saves) ASSERT_TRUE(storage->saveLog(makeLog("log" + padding), "g", 1));
  ASSERT_EQ(deletedPerSave.size(), 100u) << "the cap was never reached in " << saves << " saves";
  const std::int64_t length = sqliteInteger(file(), "SELECT MAX(length(log)) FROM logs");
  const auto most = static_cast<std::int64_t>(*std::max_element(deletedPerSave.begin(), deletedPerSave.end()));
  RecordProperty("most_logs_deleted_by_one_save", std::to_string(most));
  EXPECT_LE(most * length, length + 4096);
  EXPECT_LE(fs::file_size(file()), 1024u * 1024u);
}

TEST_F(TLLogDBStorageTest, LogLargerThanTheCapIsRefusedWithoutEviction) {
  auto storage = open();
  storage->setMaxStorageSize(12 * 4096, {});
  storage->saveLog(makeLog("small"), "g", 1);
  EXPECT_FALSE(storage->saveLog(makeLog(std::string(40000, 'x')), "g", 255));
  EXPECT_EQ(storage->countLogs(), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::error, "to store in database. Current maximum database size is 49152 bytes."), 1u);
}

TEST_F(TLLogDBStorageTest, RequestedSizeRoundsUpToTheNextPage) {
  auto storage = open();
  std::optional<bool> answer;
  storage->setMaxStorageSize(24577, [&](bool ok) { answer = ok; });
  EXPECT_EQ(answer, true);
  EXPECT_EQ(storage->maxSizeInBytes(), 28672);
}

}  // namespace
}  // namespace ml::beacon
