#include "beacon/core/Storage/TLLogDBStorage.h"

#include <algorithm>
#include <limits>

#include "beacon/core/Storage/TLDBSalvage.h"
#include "beacon/core/TLAbstractLog.h"
#include "beacon/core/TLEncrypter.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLNeverDestroyed.h"
#include "beacon/core/TLUtility.h"
#include "platform/foundation/Uuid.h"
#include "platform/security/Base64.h"

namespace ml::beacon {

namespace {

std::string q(std::string_view identifier) { return TLDBConnection::quoteIdentifier(identifier); }

// Built once and never destroyed: the storage thread may still build a query while the
// program's static objects are torn down.
const std::string& logsTable() {
  static TLNeverDestroyed<std::string> table(q(TLLogDBStorage::kTableName));
  return table.get();
}

// Every column, in schema order: rows read this way have the schema's positions whatever order
// an older file's ALTER TABLE steps left the columns in.
const std::string& selectColumns() {
  static TLNeverDestroyed<std::string> columns([] {
    std::string list;
    for (const auto& column : TLLogDBStorage::schema().at(std::string(TLLogDBStorage::kTableName))) {
      if (!list.empty()) list += ", ";
      list += q(column.name);
    }
    return list;
  }());
  return columns.get();
}

enum Column : std::size_t { kId = 0, kGroupId = 1, kLog = 2, kTargetToken = 3 };

// A JSON array of integers, bound as one parameter and read back with json_each: a list of any
// length costs one bound value (the statement's count of parameters is limited).
std::string jsonIntegerArray(const std::vector<TLDBValue>& values) {
  std::string json = "[";
  for (const auto& value : values) {
    if (json.size() > 1) json += ',';
    json += std::to_string(tlDBInteger(value) ? *tlDBInteger(value) : 0);
  }
  return json + "]";
}

std::string placeholders(std::size_t count) {
  std::string list;
  for (std::size_t i = 0; i < count; ++i) list += i == 0 ? "?" : ", ?";
  return list;
}

std::string describe(const TLDBValue& value) {
  if (const auto* integer = tlDBInteger(value)) return std::to_string(*integer);
  if (const auto* text = tlDBText(value)) return *text;
  return "NULL";
}

// Base64 text as stored: characters outside the alphabet (line breaks, blanks) are skipped
// before the strict decoding.
std::optional<security::Bytes> decodeBase64(const std::string& text) {
  std::string clean;
  clean.reserve(text.size());
  for (char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' || c == '=') {
      clean.push_back(c);
    }
  }
  return security::Base64::decode(clean);
}

}  // namespace

const TLDBSchema& TLLogDBStorage::schema() {
  static TLNeverDestroyed<TLDBSchema> schema(TLDBSchema{{std::string(kTableName),
                                     {{std::string(kIdColumnName), {"INTEGER", "PRIMARY KEY", "AUTOINCREMENT"}},
                                      {std::string(kGroupIdColumnName), {"TEXT", "NOT NULL"}},
                                      {std::string(kLogColumnName), {"TEXT", "NOT NULL"}},
                                      {std::string(kTargetTokenColumnName), {"TEXT"}},
                                      {std::string(kTargetKeyColumnName), {"TEXT"}},
                                      {std::string(kPriorityColumnName), {"INTEGER"}},
                                      {std::string(kTimestampColumnName), {"INTEGER"}}}}});
  return schema.get();
}

TLLogDBStorage::TLLogDBStorage() : TLLogDBStorage(std::make_unique<TLEncrypter>()) {}

TLLogDBStorage::TLLogDBStorage(std::unique_ptr<TLEncrypter> targetTokenEncrypter)
    : TLDBStorage(DeferredConfiguration{}), targetTokenEncrypter_(std::move(targetTokenEncrypter)) {
  initializeDatabase(schema(), kSchemaVersion, kFileName);
}

TLLogDBStorage::~TLLogDBStorage() { reportEvictions(true); }

std::int64_t TLLogDBStorage::milliseconds(Date date) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
}

// --- Saving

bool TLLogDBStorage::saveLog(const std::shared_ptr<TLAbstractLog>& log, const std::string& groupId,
                             std::uint64_t flags) {
  if (!log) return false;

  std::int64_t timestamp = log->timestamp() ? milliseconds(*log->timestamp()) : 0;
  auto archive = TLKeyedArchiver::archivedData(*log);
  if (!archive) {
    TL_LOG_ERROR(kBeaconLogTag, "Failed to archive a log: " << archive.error().description());
    return false;
  }
  std::string base64 = security::Base64::encode(*archive);
  auto priority = static_cast<std::uint32_t>(flags & 0xFF);

  TLDBValue targetToken, targetKey;
  if (log->className() == kCommonSchemaLogClassName) {
    auto tokens = log->transmissionTargetTokens();
    if (tokens && !tokens->empty()) {
      const std::string& token = *tokens->begin();
      if (auto encrypted = targetTokenEncrypter_->encryptString(token)) {
        targetToken = std::move(*encrypted);
      } else {
        // Kept without its token rather than with the token in clear.
        TL_LOG_ERROR(kBeaconLogTag, "Failed to encrypt the target token of a log.");
      }
      if (auto key = TLUtility::targetKeyFromTargetToken(token)) targetKey = std::move(*key);
    }
  }

  const std::string insert = "INSERT INTO " + logsTable() + " (" + q(kGroupIdColumnName) + ", " + q(kLogColumnName) +
                             ", " + q(kTargetTokenColumnName) + ", " + q(kTargetKeyColumnName) + ", " +
                             q(kPriorityColumnName) + ", " + q(kTimestampColumnName) + ") VALUES (?, ?, ?, ?, ?, ?)";
  const TLDBBindings values = {groupId, base64, targetToken, targetKey, std::int64_t{priority}, timestamp};

  std::map<std::string, Logs> evicted;  // group id -> logs deleted to make room
  std::int64_t deleted = 0;
  int rc = executeQuery([&](TLDBConnection& connection) {
    std::int64_t maxSize = connection.maxPageCount() * connection.pageSize();
    if (static_cast<std::int64_t>(base64.size()) >= maxSize) {
      TL_LOG_ERROR(kBeaconLogTag, "Log is too large (" << base64.size()
                                                       << " bytes) to store in database. Current maximum database size is "
                                                       << maxSize << " bytes.");
      return SQLITE_ERROR;
    }
    evicted.clear();  // the block runs again after a damaged file was replaced
    deleted = 0;
    int result = connection.executeNonSelectionQuery(insert, values);
    if (result == SQLITE_FULL) result = evictAndInsert(connection, insert, values, priority, base64.size(), evicted, deleted);
    if (result == SQLITE_OK) {
      highestRowId_ = std::max(highestRowId_, connection.lastInsertRowId());
      TL_LOG_VERBOSE(kBeaconLogTag, "Log is stored with id: '" << connection.lastInsertRowId() << "'");
    } else if (result == SQLITE_FULL) {
      TL_LOG_ERROR(kBeaconLogTag, "Storage is full and no logs with equal or lower priority exist; discarding the log.");
    }
    return result;
  });
  evictionsUnreported_ += static_cast<std::uint64_t>(deleted);
  reportEvictions(false);
  if (evictionHandler_) {
    for (const auto& [group, logs] : evicted) evictionHandler_(group, logs);
  }
  return rc == SQLITE_OK;
}

int TLLogDBStorage::evictAndInsert(TLDBConnection& connection, const std::string& insert, const TLDBBindings& values,
                                   std::uint32_t priority, std::size_t bytes, std::map<std::string, Logs>& evicted,
                                   std::int64_t& deleted) {
  // Room comes from the oldest rows of equal or lower priority, deleted in one transaction with
  // the insertion. SQLite frees a page only once enough of its rows are gone, so rows holding
  // just the new log's size may free none, and trying again after each deleted row would cost a
  // failed insertion per row. A round therefore deletes rows holding the new log's size and at
  // most one page more: the page that round frees also holds the next few logs, which then go in
  // at the cost of a plain insertion, and no log is lost that the new one did not need (give or
  // take that page). Should the insertion still find the file full, the next round deletes at
  // most one page's worth more.
  const std::int64_t pageSize = std::max<std::int64_t>(connection.pageSize(), 512);
  std::int64_t needed = static_cast<std::int64_t>(bytes);  // at least this much, in this round
  std::int64_t budget = needed + pageSize;                  // at most this much, in this round
  std::int64_t limit = 16;                                  // candidate rows read in one round
  const std::string candidatesQuery = "SELECT " + q(kIdColumnName) + ", " + q(kGroupIdColumnName) + ", " +
                                      q(kLogColumnName) + ", " + q(kTargetTokenColumnName) + ", length(" +
                                      q(kLogColumnName) + ") FROM " + logsTable() + " WHERE " + q(kPriorityColumnName) +
                                      " <= ? ORDER BY " + q(kPriorityColumnName) + " ASC, " + q(kIdColumnName) +
                                      " ASC LIMIT ?";
  std::vector<std::int64_t> reserved;  // read once, when the first candidates are met
  bool reservedRead = false;
  int result = SQLITE_FULL;
  while (result == SQLITE_FULL) {
    TLDBRows candidates = connection.executeSelectionQuery(candidatesQuery, {std::int64_t{priority}, limit});
    if (candidates.empty()) return SQLITE_FULL;
    if (!reservedRead) {
      reserved = reservedIds();
      std::sort(reserved.begin(), reserved.end());
      reservedRead = true;
    }
    std::vector<TLDBValue> ids;
    std::vector<std::size_t> taken;  // positions in `candidates` of `ids`
    std::int64_t freed = 0, firstLeftOut = 0;
    bool budgetReached = false;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      const auto& candidate = candidates[i];
      if (candidate.size() < 5 || !tlDBInteger(candidate[0])) continue;
      const auto* lengthValue = tlDBInteger(candidate[4]);
      const std::int64_t length = lengthValue ? *lengthValue : 0;
      if (!ids.empty() && freed >= needed && freed + length > budget) {
        budgetReached = true;
        firstLeftOut = length;
        break;
      }
      ids.push_back(candidate[0]);
      taken.push_back(i);
      freed += length;
    }
    const bool allCandidatesRead = static_cast<std::int64_t>(candidates.size()) < limit;
    if (!budgetReached && !allCandidatesRead) {
      limit *= 2;  // more rows may fit in the budget
      continue;
    }
    if (ids.empty()) return SQLITE_FULL;

    if (int begun = connection.executeNonSelectionQuery("BEGIN IMMEDIATE"); begun != SQLITE_OK) return begun;
    result = deleteLogsWithColumnValues(ids, kIdColumnName, connection);
    if (result != SQLITE_OK) {
      connection.executeNonSelectionQuery("ROLLBACK");
      return result;
    }
    result = connection.executeNonSelectionQuery(insert, values);
    // A full file may have rolled the whole transaction back: then nothing of this round stands.
    const bool deletionStands = !sqlite3_get_autocommit(connection.handle());
    if (deletionStands) {
      int committed = connection.executeNonSelectionQuery("COMMIT");
      if (committed != SQLITE_OK) {
        connection.executeNonSelectionQuery("ROLLBACK");
        return committed;
      }
    }
    if (!deletionStands) {
      if (result != SQLITE_FULL) return result;
      // Not even every candidate made room.
      if (!budgetReached && allCandidatesRead) return SQLITE_FULL;
      // The same rows and at most a page's worth after them (at least the next row).
      budget = std::max(budget + pageSize, freed + firstLeftOut);
      continue;
    }
    for (std::size_t i = 0; i < ids.size(); ++i) {
      const std::int64_t id = *tlDBInteger(ids[i]);
      const auto& candidate = candidates[taken[i]];
      ++deleted;
      TL_LOG_DEBUG(kBeaconLogTag, "Deleted a log with id " << id << " to store a new log.");
      // A log of a batch in flight gets the answer to its batch as its outcome instead.
      if (std::binary_search(reserved.begin(), reserved.end(), id)) continue;
      const auto* group = tlDBText(candidate[1]);
      if (!group) continue;
      if (auto log = decodeLog(id, candidate[2], candidate[3])) evicted[*group].push_back(std::move(log));
    }
    // Still full with this round's rows gone: a page's worth more, at least one row.
    needed = 0;
    budget = pageSize;
  }
  return result;
}

void TLLogDBStorage::reportEvictions(bool always) {
  if (evictionsUnreported_ == 0) return;
  constexpr auto kInterval = std::chrono::minutes(1);
  const auto now = std::chrono::steady_clock::now();
  if (!always && lastEvictionWarning_ && now - *lastEvictionWarning_ < kInterval) return;
  TL_LOG_WARNING(kBeaconLogTag, "Log storage was over capacity, " << evictionsUnreported_
                                                                   << " oldest log(s) with equal or lower priority deleted.");
  evictionsUnreported_ = 0;
  lastEvictionWarning_ = now;
}

void TLLogDBStorage::releaseSendingWhenIdle() {
  if (batches_.empty()) releaseSendingLock();
}

std::vector<std::int64_t> TLLogDBStorage::reservedIds() const {
  std::vector<std::int64_t> ids;
  for (const auto& [key, batch] : batches_) ids.insert(ids.end(), batch.begin(), batch.end());
  return ids;
}

std::uint64_t TLLogDBStorage::countLogs() { return countEntriesForTable(kTableName); }

std::uint64_t TLLogDBStorage::countLogsWithGroupId(const std::string& groupId) {
  return countEntriesForTable(kTableName, q(kGroupIdColumnName) + " = ?", {groupId});
}

std::uint64_t TLLogDBStorage::countLogsBeforeDate(Date date) {
  return countEntriesForTable(kTableName, q(kTimestampColumnName) + " <= ?", {milliseconds(date)});
}

// --- Deleting

TLStorage::Logs TLLogDBStorage::deleteLogsWithGroupId(const std::string& groupId) {
  Logs logs;
  for (auto& stored : logsWithCondition(q(kGroupIdColumnName) + " = ?", {groupId})) logs.push_back(std::move(stored.log));
  // Rows that could not be deleted keep their batches reserved (see deleteLogsWithBatchId).
  if (deleteLogsWithColumnValues({groupId}, kGroupIdColumnName) != SQLITE_OK) return logs;
  // Batches are keyed by the exact group: another group whose name starts with this one keeps its
  // batches.
  for (auto it = batches_.begin(); it != batches_.end();) {
    it = it->first.first == groupId ? batches_.erase(it) : std::next(it);
  }
  releaseSendingWhenIdle();
  return logs;
}

void TLLogDBStorage::deleteLogsWithBatchId(const std::string& batchId, const std::string& groupId) {
  auto batch = batches_.find({groupId, batchId});
  if (batch == batches_.end()) return;
  int rc = SQLITE_OK;
  if (!batch->second.empty()) {
    std::vector<TLDBValue> ids(batch->second.begin(), batch->second.end());
    rc = deleteLogsWithColumnValues(ids, kIdColumnName, false);  // a failure is reported below, once
  }
  if (rc == SQLITE_OK) {
    batches_.erase(batch);
    deletionFailing_ = false;
    releaseSendingWhenIdle();
    return;
  }
  // Forgetting the batch would hand its rows out again at once, and a store that refuses every
  // deletion (a read-only file) would then resend them as fast as the server answers. The rows
  // stay reserved instead: sent once per process, and again only after a restart.
  if (!deletionFailing_) {
    TL_LOG_ERROR(kBeaconLogTag, "Could not delete the " << batch->second.size() << " sent log(s) of batch " << batchId
                                                        << " from the store (" << sqlite3_errstr(rc)
                                                        << "); they are not sent again until the next launch, "
                                                           "which may send them once more.");
  } else {
    TL_LOG_DEBUG(kBeaconLogTag, "Could not delete the sent logs of batch " << batchId << " either; kept reserved.");
  }
  deletionFailing_ = true;
}

int TLLogDBStorage::deleteLogsWithColumnValues(const std::vector<TLDBValue>& values, std::string_view columnName,
                                               bool logsFailure) {
  return executeQuery([&](TLDBConnection& connection) {
    connection.setLogsFailures(logsFailure);
    int rc = deleteLogsWithColumnValues(values, columnName, connection, logsFailure);
    connection.setLogsFailures(true);
    return rc;
  });
}

int TLLogDBStorage::deleteLogsWithColumnValues(const std::vector<TLDBValue>& values, std::string_view columnName,
                                               TLDBConnection& connection, bool logsFailure) {
  if (values.empty()) return SQLITE_OK;
  std::string sql = "DELETE FROM " + logsTable() + " WHERE " + q(columnName) + " IN (";
  TLDBBindings bindings;
  if (tlDBInteger(values.front())) {
    sql += "SELECT value FROM json_each(?))";
    bindings.push_back(jsonIntegerArray(values));
  } else {
    sql += placeholders(values.size()) + ")";
    bindings = values;
  }
  int rc = connection.executeNonSelectionQuery(sql, bindings);
  std::string joined;
  for (const auto& value : values) joined += (joined.empty() ? "" : "','") + describe(value);
  if (rc == SQLITE_OK) {
    TL_LOG_VERBOSE(kBeaconLogTag, "Deletion of log(s) by " << columnName << " with value(s) '" << joined << "' succeeded.");
  } else if (logsFailure) {
    TL_LOG_ERROR(kBeaconLogTag, "Deletion of log(s) by " << columnName << " with value(s) '" << joined << "' failed.");
  }
  return rc;
}

// --- Loading

bool TLLogDBStorage::loadLogsWithGroupId(const std::string& groupId, std::uint64_t limit,
                                         const std::optional<std::vector<std::string>>& excludedTargetKeys,
                                         const std::optional<Date>& afterDate, const std::optional<Date>& beforeDate,
                                         const LoadCompletion& completionHandler) {
  // Another process sends from this file: its batches are reserved in its memory, not here.
  if (!holdsSendingLock()) {
    if (!sentByAnother_) {
      TL_LOG_INFO(kBeaconLogTag, "Another process sends the logs of \"" << kFileName
                                                                        << "\"; this one stores its logs there for it.");
    }
    sentByAnother_ = true;
    if (completionHandler) completionHandler({}, std::nullopt);
    return false;
  }
  if (sentByAnother_) TL_LOG_INFO(kBeaconLogTag, "This process now sends the logs of \"" << kFileName << "\".");
  sentByAnother_ = false;
  std::vector<TLDBValue> reservedIds;
  for (const auto& [key, ids] : batches_) {
    if (key.first == groupId) reservedIds.insert(reservedIds.end(), ids.begin(), ids.end());
  }

  std::string condition = q(kGroupIdColumnName) + " = ?";
  TLDBBindings bindings = {groupId};
  if (excludedTargetKeys && !excludedTargetKeys->empty()) {
    // Rows without a target key (ordinary logs, and common-schema logs whose key could not be
    // derived) are never paused by a target key.
    condition += " AND (" + q(kTargetKeyColumnName) + " IS NULL OR " + q(kTargetKeyColumnName) + " NOT IN (" +
                 placeholders(excludedTargetKeys->size()) + "))";
    bindings.insert(bindings.end(), excludedTargetKeys->begin(), excludedTargetKeys->end());
  }
  if (!reservedIds.empty()) {
    condition += " AND " + q(kIdColumnName) + " NOT IN (SELECT value FROM json_each(?))";
    bindings.push_back(jsonIntegerArray(reservedIds));
  }
  if (afterDate) {
    condition += " AND " + q(kTimestampColumnName) + " >= ?";
    bindings.push_back(milliseconds(*afterDate));
  }
  if (beforeDate) {
    condition += " AND " + q(kTimestampColumnName) + " < ?";
    bindings.push_back(milliseconds(*beforeDate));
  }
  condition += " ORDER BY " + q(kPriorityColumnName) + " DESC, " + q(kIdColumnName) + " ASC LIMIT ?";
  // One row more than asked tells whether more remain; a limit without bound reads everything.
  constexpr auto kMaxLimit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  bindings.push_back(limit >= kMaxLimit ? std::int64_t{-1} : static_cast<std::int64_t>(limit + 1));

  std::vector<StoredLog> stored = logsWithCondition(condition, bindings);
  bool moreLogsAvailable = stored.size() > limit;
  if (moreLogsAvailable) stored.resize(static_cast<std::size_t>(limit));

  Logs logs;
  std::vector<std::int64_t> ids;
  for (auto& entry : stored) {
    ids.push_back(entry.id);
    logs.push_back(std::move(entry.log));
  }
  std::optional<std::string> batchId;
  if (!logs.empty()) {
    batchId = foundation::Uuid::random().string();
    std::string joined;
    for (auto id : ids) joined += (joined.empty() ? "" : "','") + std::to_string(id);
    for (auto id : ids) highestRowId_ = std::max(highestRowId_, id);
    batches_[{groupId, *batchId}] = std::move(ids);
    TL_LOG_VERBOSE(kBeaconLogTag, "Load log(s) with id(s) '" << joined << "' as batch Id:" << *batchId);
  }
  releaseSendingWhenIdle();  // nothing loaded: another process may send meanwhile
  if (completionHandler) completionHandler(logs, batchId);
  return moreLogsAvailable;
}

std::vector<TLLogDBStorage::StoredLog> TLLogDBStorage::logsWithCondition(const std::string& condition,
                                                                         const TLDBBindings& bindings) {
  std::string sql = "SELECT " + selectColumns() + " FROM " + logsTable();
  if (!condition.empty()) sql += " WHERE " + condition;
  TLDBRows rows = executeSelectionQuery(sql, bindings);

  std::vector<StoredLog> logs;
  std::vector<TLDBValue> undecodable;
  for (const auto& row : rows) {
    if (row.size() <= kTargetToken || !tlDBInteger(row[kId])) continue;
    std::int64_t id = *tlDBInteger(row[kId]);
    if (auto log = decodeLog(id, row[kLog], row[kTargetToken])) {
      logs.push_back({id, std::move(log)});
    } else {
      undecodable.emplace_back(id);
    }
  }
  for (const auto& id : undecodable) deleteLogsWithColumnValues({id}, kIdColumnName);
  return logs;
}

std::shared_ptr<TLAbstractLog> TLLogDBStorage::decodeLog(std::int64_t id, const TLDBValue& logText,
                                                         const TLDBValue& targetToken) {
  const std::string* text = tlDBText(logText);
  auto bytes = text ? decodeBase64(*text) : std::nullopt;
  if (!bytes) {
    TL_LOG_ERROR(kBeaconLogTag, "Deserialization failed for log with Id " << id << ": the log is not Base64 text.");
    return nullptr;
  }
  auto decoded = TLKeyedUnarchiver::unarchivedObjectOfClass<TLAbstractLog>(*bytes);
  if (!decoded) {
    TL_LOG_ERROR(kBeaconLogTag, "Deserialization failed for log with Id " << id << ": " << decoded.error().message);
    return nullptr;
  }
  std::shared_ptr<TLAbstractLog> log = std::move(*decoded);
  if (!log) {
    TL_LOG_ERROR(kBeaconLogTag, "Deserialization failed for log with Id " << id << ": The log deserialized to NULL.");
    return nullptr;
  }
  if (const std::string* token = tlDBText(targetToken)) {
    if (token->empty()) {
      TL_LOG_ERROR(kBeaconLogTag, "Unexpected empty target token for log with Id " << id << ".");
    } else if (auto decrypted = targetTokenEncrypter_->decryptString(*token)) {
      log->addTransmissionTargetToken(*decrypted);
    } else {
      TL_LOG_ERROR(kBeaconLogTag, "Failed to decrypt the target token for log with Id " << id << ".");
    }
  }
  return log;
}

// --- Schema

void TLLogDBStorage::createPriorityIndex(TLDBConnection& connection) {
  std::string table(kTableName), column(kPriorityColumnName);
  connection.executeNonSelectionQuery("CREATE INDEX IF NOT EXISTS " + q("ix_" + table + "_" + column) + " ON " + q(table) +
                                      " (" + q(column) + ")");
}

void TLLogDBStorage::customizeDatabase(TLDBConnection& connection) { createPriorityIndex(connection); }

void TLLogDBStorage::prepareRebuiltDatabase(TLDBConnection& connection) {
  // The new file's ids would start over above the rows copied in; ids of batches in flight (and
  // of logs stored since) that were not among them would be given to new rows, which the answer
  // to such a batch would then delete unsent.
  std::int64_t floor = highestRowId_;
  for (auto id : reservedIds()) floor = std::max(floor, id);
  raiseSequence(connection, std::string(kTableName), floor);
}

void TLLogDBStorage::migrateDatabase(TLDBConnection& connection, std::uint32_t fromVersion) {
  // Cumulative: a file of version N gets every step from N on. A column already present (a file
  // whose recorded version lags its table) is not added twice.
  TLDBRows existing = connection.executeSelectionQuery("SELECT name FROM pragma_table_info(?)", {std::string(kTableName)});
  auto hasColumn = [&](std::string_view name) {
    for (const auto& row : existing) {
      if (const auto* text = tlDBText(row.front()); text && *text == name) return true;
    }
    return false;
  };
  auto addColumn = [&](std::string_view name, const std::string& definition) {
    if (hasColumn(name)) return;
    connection.executeNonSelectionQuery("ALTER TABLE " + logsTable() + " ADD COLUMN " + q(name) + " " + definition);
  };
  if (fromVersion == 0) addColumn(kTargetTokenColumnName, "TEXT");
  if (fromVersion <= 1) addColumn(kTargetKeyColumnName, "TEXT");
  if (fromVersion <= 2) {
    addColumn(kPriorityColumnName, "INTEGER DEFAULT 1");
    createPriorityIndex(connection);
  }
  if (fromVersion <= 3) addColumn(kTimestampColumnName, "INTEGER DEFAULT 0");
}

}  // namespace ml::beacon
