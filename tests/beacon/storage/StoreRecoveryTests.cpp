// The log store when its file is rebuilt or full while batches are in flight, and two stores
// (standing for two processes) over one file.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "LogCapture.h"
#include "ModelFixtures.h"
#include "SqliteFixtures.h"
#include "beacon/core/Storage/TLLogDBStorage.h"
#include "beacon/core/TLAbstractLog.h"
#include "beacon/core/TLEncrypter.h"
#include "beacon/core/TLUserDefaults.h"
#include "beacon/core/TLUtilityFile.h"
#include "platform/dispatch/ManualClock.h"
#include "platform/foundation/Preferences.h"
#include "support/TempDir.h"

namespace ml::beacon {
namespace {

namespace fs = std::filesystem;

std::shared_ptr<TLAbstractLog> makeLog(const std::string& sid) {
  auto log = std::make_shared<TLAbstractLog>();
  log->setType("event");
  log->setTimestamp(std::chrono::system_clock::now());
  log->setSid(sid);
  log->setDevice(test::validDevice());
  return log;
}

class StoreRecoveryTest : public ::testing::Test {
 protected:
  std::unique_ptr<TLLogDBStorage> open() {
    return std::make_unique<TLLogDBStorage>(
        std::make_unique<TLEncrypter>(security::RandomSource::system(), settings, clock));
  }
  fs::path file() const { return TLUtilityFile::clientDirectoryURL() / "Logs.sqlite"; }
  struct Batch {
    std::vector<std::string> sids;
    std::optional<std::string> id;
  };
  Batch load(TLLogDBStorage& storage, std::uint64_t limit = 100) {
    Batch batch;
    storage.loadLogsWithGroupId("g", limit, std::nullopt, std::nullopt, std::nullopt,
                                [&](const TLStorage::Logs& logs, const std::optional<std::string>& id) {
                                  for (const auto& log : logs) batch.sids.push_back(log->sid().value_or("?"));
                                  batch.id = id;
                                });
    return batch;
  }
  // Folds the write-ahead log into the file, then overwrites `bytes` bytes of it from `offset` (to
  // its end when 0) with random bytes.
  void spoil(std::size_t offset, std::size_t bytes) {
    ::ml::test::sqliteExec(file(), "PRAGMA wal_checkpoint(TRUNCATE)");
    const std::size_t size = fs::file_size(file());
    std::fstream out(file(), std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(offset));
    std::mt19937 random(11);
    for (std::size_t i = 0; i < (bytes ? bytes : size - offset); ++i) out.put(static_cast<char>(random()));
  }

  ::ml::test::XdgSandbox sandbox;
  ::ml::test::TempDir temp;
  foundation::Preferences preferences{temp.path() / "prefs.plist"};
  dispatch::ManualClock clock;
  TLUserDefaults settings{preferences, clock};
  ::ml::test::LogCapture capture;
};

TEST_F(StoreRecoveryTest, ARebuildWithABatchInFlightLosesNothingAndHandsNothingOutTwice) {
  auto storage = open();
  for (int i = 1; i <= 6; ++i) ASSERT_TRUE(storage->saveLog(makeLog("a" + std::to_string(i)), "g", 1));
  const Batch first = load(*storage, 3);
  ASSERT_EQ(first.sids, (std::vector<std::string>{"a1", "a2", "a3"}));

  // A damaged header: the page scan still reads every row; the batch's rows stay reserved.
  spoil(0, 100);
  ASSERT_TRUE(storage->saveLog(makeLog("a7"), "g", 1));
  EXPECT_EQ(capture.count(TLLogLevel::warning, "6 row(s) of table \"logs\" could be read, 6 were copied"), 1u);
  const Batch second = load(*storage);
  EXPECT_EQ(second.sids, (std::vector<std::string>{"a4", "a5", "a6", "a7"}));
  storage->deleteLogsWithBatchId(*first.id, "g");  // the first batch is answered 2xx
  EXPECT_EQ(storage->countLogs(), 4u);

  // Every byte lost while the second batch is in flight: the next row must not take one of its
  // ids, or the answer to that batch would delete it unsent.
  spoil(0, 0);
  ASSERT_TRUE(storage->saveLog(makeLog("b1"), "g", 1));
  EXPECT_GT(::ml::test::sqliteInteger(file(), "SELECT MIN(id) FROM logs"), 7);
  storage->deleteLogsWithBatchId(*second.id, "g");
  EXPECT_EQ(storage->countLogs(), 1u);
  EXPECT_EQ(load(*storage).sids, std::vector<std::string>{"b1"});
}

TEST_F(StoreRecoveryTest, EvictionGivesOneOutcomePerLogAndOneWarningPerRun) {
  auto storage = open();
  storage->setMaxStorageSize(24 * 4096, {});
  std::vector<std::string> evicted;
  storage->setEvictionHandler([&](const std::string&, const TLStorage::Logs& logs) {
    for (const auto& log : logs) evicted.push_back(log->sid().value_or("?"));
  });
  const std::string padding(600, 'x');
  ASSERT_TRUE(storage->saveLog(makeLog("in flight" + padding), "g", 1));
  const Batch inFlight = load(*storage, 1);
  ASSERT_EQ(inFlight.sids.size(), 1u);
  int saved = 0;
  for (; saved < 400; ++saved) ASSERT_TRUE(storage->saveLog(makeLog(std::to_string(saved) + padding), "g", 1));

  const auto deletions = capture.count(TLLogLevel::debug, "to store a new log.");
  ASSERT_GT(deletions, 50u);  // many evictions, in several runs
  EXPECT_EQ(capture.count(TLLogLevel::debug, "Deleted a log with id 1 to store a new log."), 1u);
  // The log of the batch in flight is left to its batch's answer; every other one is reported.
  EXPECT_EQ(evicted.size(), deletions - 1);
  EXPECT_EQ(std::count(evicted.begin(), evicted.end(), "in flight" + padding), 0);
  EXPECT_EQ(capture.count(TLLogLevel::warning, "oldest log(s) with equal or lower priority deleted."), 1u);
  storage.reset();  // the rest is reported when the store goes
  EXPECT_EQ(capture.count(TLLogLevel::warning, "oldest log(s) with equal or lower priority deleted."), 2u);
}

TEST_F(StoreRecoveryTest, OnlyOneStoreOverAFileHasBatchesInFlight) {
  auto first = open();
  auto second = open();  // another process would open the same file
  for (int i = 0; i < 4; ++i) first->saveLog(makeLog("f" + std::to_string(i)), "g", 1);
  for (int i = 0; i < 4; ++i) second->saveLog(makeLog("s" + std::to_string(i)), "g", 1);
  const Batch sending = load(*first, 5);
  EXPECT_EQ(sending.sids.size(), 5u);
  EXPECT_TRUE(load(*second).sids.empty());
  EXPECT_TRUE(second->isSendingElsewhere());
  EXPECT_TRUE(load(*first).sids.size() == 3u);  // the same store goes on with the rest
  first->deleteLogsWithGroupId("other");        // batches still in flight: nothing changes
  EXPECT_TRUE(load(*second).sids.empty());
  first->deleteLogsWithGroupId("g");            // no batch left: the lock is given back
  second->saveLog(makeLog("late"), "g", 1);
  EXPECT_EQ(load(*second).sids, std::vector<std::string>{"late"});
  EXPECT_FALSE(second->isSendingElsewhere());
  EXPECT_EQ(capture.count(TLLogLevel::error), 0u);
}

}  // namespace
}  // namespace ml::beacon
