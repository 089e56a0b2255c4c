#include "beacon/core/Storage/TLLogDBStorage.h"

#include <limits>

#include "beacon/core/TLAbstractLog.h"
#include "beacon/core/TLEncrypter.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUtility.h"
#include "platform/foundation/Uuid.h"
#include "platform/security/Base64.h"

namespace ml::beacon {

namespace {

std::string q(std::string_view identifier) { return TLDBConnection::quoteIdentifier(identifier); }

const std::string& logsTable() {
  static const std::string table = q(TLLogDBStorage::kTableName);
  return table;
}

// Every column, in schema order: rows read this way have the schema's positions whatever order
// an older file's ALTER TABLE steps left the columns in.
const std::string& selectColumns() {
  static const std::string columns = [] {
    std::string list;
    for (const auto& column : TLLogDBStorage::schema().at(std::string(TLLogDBStorage::kTableName))) {
      if (!list.empty()) list += ", ";
      list += q(column.name);
    }
    return list;
  }();
  return columns;
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
  static const TLDBSchema schema = {{std::string(kTableName),
                                     {{std::string(kIdColumnName), {"INTEGER", "PRIMARY KEY", "AUTOINCREMENT"}},
                                      {std::string(kGroupIdColumnName), {"TEXT", "NOT NULL"}},
                                      {std::string(kLogColumnName), {"TEXT", "NOT NULL"}},
                                      {std::string(kTargetTokenColumnName), {"TEXT"}},
                                      {std::string(kTargetKeyColumnName), {"TEXT"}},
                                      {std::string(kPriorityColumnName), {"INTEGER"}},
                                      {std::string(kTimestampColumnName), {"INTEGER"}}}}};
  return schema;
}

TLLogDBStorage::TLLogDBStorage() : TLLogDBStorage(std::make_unique<TLEncrypter>()) {}

TLLogDBStorage::TLLogDBStorage(std::unique_ptr<TLEncrypter> targetTokenEncrypter)
    : TLDBStorage(DeferredConfiguration{}), targetTokenEncrypter_(std::move(targetTokenEncrypter)) {
  initializeDatabase(schema(), kSchemaVersion, kFileName);
}

TLLogDBStorage::~TLLogDBStorage() = default;

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
  int rc = executeQuery([&](TLDBConnection& connection) {
    std::int64_t maxSize = connection.maxPageCount() * connection.pageSize();
    if (static_cast<std::int64_t>(base64.size()) >= maxSize) {
      TL_LOG_ERROR(kBeaconLogTag, "Log is too large (" << base64.size()
                                                       << " bytes) to store in database. Current maximum database size is "
                                                       << maxSize << " bytes.");
      return SQLITE_ERROR;
    }
    evicted.clear();  // the block runs again after a damaged file was replaced
    int result = connection.executeNonSelectionQuery(insert, values);
    if (result == SQLITE_FULL) {
      TLDBRows candidates = connection.executeSelectionQuery(
          "SELECT " + q(kIdColumnName) + ", " + q(kGroupIdColumnName) + " FROM " + logsTable() + " WHERE " +
              q(kPriorityColumnName) + " <= ? ORDER BY " + q(kPriorityColumnName) + " ASC, " + q(kIdColumnName) + " ASC",
          {std::int64_t{priority}});
      std::int64_t deleted = 0;
      for (const auto& candidate : candidates) {
        // Read before it goes, so that its channel can report it as not delivered.
        TLDBRows row = connection.executeSelectionQuery("SELECT " + q(kLogColumnName) + ", " + q(kTargetTokenColumnName) +
                                                            " FROM " + logsTable() + " WHERE " + q(kIdColumnName) + " = ?",
                                                        {candidate.front()});
        const auto* id = tlDBInteger(candidate.front());
        const auto* group = candidate.size() > 1 ? tlDBText(candidate[1]) : nullptr;
        std::shared_ptr<TLAbstractLog> evictedLog;
        if (id && group && !row.empty() && row.front().size() > 1) evictedLog = decodeLog(*id, row.front()[0], row.front()[1]);
        int deletion = deleteLogsWithColumnValues({candidate.front()}, kIdColumnName, connection);
        if (deletion != SQLITE_OK) {
          result = deletion;
          break;
        }
        ++deleted;
        if (evictedLog) evicted[*group].push_back(std::move(evictedLog));
        TL_LOG_DEBUG(kBeaconLogTag, "Deleted a log with id " << describe(candidate.front()) << " to store a new log.");
        result = connection.executeNonSelectionQuery(insert, values);
        if (result != SQLITE_FULL) break;
      }
      if (deleted > 0) {
        TL_LOG_WARNING(kBeaconLogTag, "Log storage was over capacity, " << deleted
                                                                         << " oldest log(s) with equal or lower priority deleted.");
      }
    }
    if (result == SQLITE_OK) {
      TL_LOG_VERBOSE(kBeaconLogTag, "Log is stored with id: '" << connection.lastInsertRowId() << "'");
    } else if (result == SQLITE_FULL) {
      TL_LOG_ERROR(kBeaconLogTag, "Storage is full and no logs with equal or lower priority exist; discarding the log.");
    }
    return result;
  });
  if (evictionHandler_) {
    for (const auto& [group, logs] : evicted) evictionHandler_(group, logs);
  }
  return rc == SQLITE_OK;
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
    batches_[{groupId, *batchId}] = std::move(ids);
    TL_LOG_VERBOSE(kBeaconLogTag, "Load log(s) with id(s) '" << joined << "' as batch Id:" << *batchId);
  }
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
