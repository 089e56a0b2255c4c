#pragma once
// The log database: "Logs.sqlite" in the client folder, schema version 4, one table "logs":
//   id INTEGER PRIMARY KEY AUTOINCREMENT, groupId TEXT NOT NULL, log TEXT NOT NULL (Base64 of the
//   log's keyed archive), targetToken TEXT (common-schema logs: one target token, encrypted),
//   targetKey TEXT (its target key), priority INTEGER (flags & 0xFF), timestamp INTEGER (ms since
//   1970), with the index ix_logs_priority on priority.
// Loaded batches are remembered in memory by (group id, batch id) so their rows are not handed
// out twice until the batch or its group is deleted; a batch whose rows cannot be deleted stays
// reserved for the life of the object. Row ids are never given again while a batch holds them,
// also when a damaged file is replaced by a new one (its id sequence starts above every id this
// object handed out).
//
// When the file is full a new log evicts logs of any group with equal or lower priority, lowest
// priority and oldest first, at least a page's worth at a time so that the following saves find
// room. Evicted logs go to the eviction handler, except those of a batch in flight: the answer to
// their batch is their one outcome. The eviction warning is rate-limited: the first eviction is
// reported at once, later ones together at most once a minute, with their count.
//
// Several processes may store into one file; only one at a time has batches from it in flight:
// it holds the file's sending lock from its first load until no batch of it is left, and the
// others load nothing meanwhile (isSendingElsewhere), so no log is sent by two processes.
//
// Not thread-safe: every call comes from the channel group's serial queue (which also guards the
// batches). Rows that no longer decode are deleted when met. Failures are logged and surface as
// false, empty results or zero counts.
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "beacon/core/Storage/TLDBStorage.h"
#include "beacon/core/Storage/TLStorage.h"

namespace ml::beacon {

class TLEncrypter;

class TLLogDBStorage : public TLDBStorage, public TLStorage {
 public:
  static constexpr std::uint32_t kSchemaVersion = 4;
  static constexpr std::string_view kFileName = "Logs.sqlite";
  static constexpr std::string_view kTableName = "logs";
  static constexpr std::string_view kIdColumnName = "id";
  static constexpr std::string_view kGroupIdColumnName = "groupId";
  static constexpr std::string_view kLogColumnName = "log";
  static constexpr std::string_view kTargetTokenColumnName = "targetToken";
  static constexpr std::string_view kTargetKeyColumnName = "targetKey";
  static constexpr std::string_view kPriorityColumnName = "priority";
  static constexpr std::string_view kTimestampColumnName = "timestamp";
  // The class name of common-schema logs, the only logs whose target token is stored.
  static constexpr std::string_view kCommonSchemaLogClassName = "TLCommonSchemaLog";

  // Over a new encrypter of the shared settings and key store.
  TLLogDBStorage();
  explicit TLLogDBStorage(std::unique_ptr<TLEncrypter> targetTokenEncrypter);
  ~TLLogDBStorage() override;

  static const TLDBSchema& schema();

  bool saveLog(const std::shared_ptr<TLAbstractLog>& log, const std::string& groupId, std::uint64_t flags) override;
  std::uint64_t countLogs() override;
  std::uint64_t countLogsWithGroupId(const std::string& groupId) override;
  Logs deleteLogsWithGroupId(const std::string& groupId) override;
  void deleteLogsWithBatchId(const std::string& batchId, const std::string& groupId) override;
  bool loadLogsWithGroupId(const std::string& groupId, std::uint64_t limit,
                           const std::optional<std::vector<std::string>>& excludedTargetKeys,
                           const std::optional<Date>& afterDate, const std::optional<Date>& beforeDate,
                           const LoadCompletion& completionHandler) override;
  std::uint64_t countLogsBeforeDate(Date date) override;
  void setEvictionHandler(EvictionHandler handler) override { evictionHandler_ = std::move(handler); }
  bool isSendingElsewhere() const override { return sentByAnother_; }
  void setMaxStorageSize(std::int64_t sizeInBytes, const std::function<void(bool)>& completionHandler) override {
    TLDBStorage::setMaxStorageSize(sizeInBytes, completionHandler);
  }

  // Row ids of the batches loaded and not yet deleted, by (group id, batch id). For tests.
  const std::map<std::pair<std::string, std::string>, std::vector<std::int64_t>>& batches() const { return batches_; }

  // Milliseconds since 1970 of a log date, truncated toward zero.
  static std::int64_t milliseconds(Date date);

 protected:
  void customizeDatabase(TLDBConnection& connection) override;
  void migrateDatabase(TLDBConnection& connection, std::uint32_t fromVersion) override;
  void prepareRebuiltDatabase(TLDBConnection& connection) override;

 private:
  struct StoredLog {
    std::int64_t id;
    std::shared_ptr<TLAbstractLog> log;
  };

  // Logs of the rows matching `condition` (a WHERE body with "?" placeholders, may be followed by
  // ORDER BY / LIMIT), decoded; rows that do not decode are deleted and left out.
  std::vector<StoredLog> logsWithCondition(const std::string& condition, const TLDBBindings& bindings);
  std::shared_ptr<TLAbstractLog> decodeLog(std::int64_t id, const TLDBValue& logText, const TLDBValue& targetToken);
  // Deletes the rows whose column holds one of the values (all of one kind: ids or texts). A
  // failure is logged unless `logsFailure` is false (the caller reports it).
  int deleteLogsWithColumnValues(const std::vector<TLDBValue>& values, std::string_view columnName,
                                 bool logsFailure = true);
  static int deleteLogsWithColumnValues(const std::vector<TLDBValue>& values, std::string_view columnName,
                                        TLDBConnection& connection, bool logsFailure = true);
  static void createPriorityIndex(TLDBConnection& connection);
  // Deletes the oldest logs of equal or lower priority until `insert` finds room; answers its last
  // result. Logs deleted are added to `evicted` (by group), those of batches in flight left out.
  int evictAndInsert(TLDBConnection& connection, const std::string& insert, const TLDBBindings& values,
                     std::uint32_t priority, std::size_t bytes, std::map<std::string, Logs>& evicted,
                     std::int64_t& deleted);
  // Logs the evictions not yet reported, unless one was reported less than a minute ago (or
  // `always`).
  void reportEvictions(bool always);
  // Row ids some batch in flight holds.
  std::vector<std::int64_t> reservedIds() const;
  // Gives the sending lock back once no batch is in flight.
  void releaseSendingWhenIdle();

  std::map<std::pair<std::string, std::string>, std::vector<std::int64_t>> batches_;
  std::unique_ptr<TLEncrypter> targetTokenEncrypter_;
  // The last deletion of a sent batch failed: further failures are not reported as errors again.
  bool deletionFailing_ = false;
  EvictionHandler evictionHandler_;
  // The highest row id this object stored or handed out.
  std::int64_t highestRowId_ = 0;
  // Evictions since the last warning about them, and when that was.
  std::uint64_t evictionsUnreported_ = 0;
  std::optional<std::chrono::steady_clock::time_point> lastEvictionWarning_;
  // Whether loading was last refused because another process sends from the file.
  bool sentByAnother_ = false;
};

}  // namespace ml::beacon
