#include "beacon/core/Storage/TLDBConnection.h"

#include "beacon/core/TLLogger.h"

namespace ml::beacon {

namespace {

// Owns a prepared statement for the duration of one query.
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

int bindAll(sqlite3_stmt* statement, const TLDBBindings& bindings) {
  int index = 1;
  for (const auto& value : bindings) {
    int rc = SQLITE_OK;
    if (const auto* integer = tlDBInteger(value)) {
      rc = sqlite3_bind_int64(statement, index, *integer);
    } else if (const auto* text = tlDBText(value)) {
      rc = sqlite3_bind_text64(statement, index, text->data(), text->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    } else {
      rc = sqlite3_bind_null(statement, index);
    }
    if (rc != SQLITE_OK) return rc;
    ++index;
  }
  return SQLITE_OK;
}

TLDBValue columnValue(sqlite3_stmt* statement, int column) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
      return static_cast<std::int64_t>(sqlite3_column_int64(statement, column));
    case SQLITE_TEXT: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      int length = sqlite3_column_bytes(statement, column);
      return text ? std::string(text, static_cast<std::size_t>(length)) : std::string();
    }
    default:
      return std::monostate{};
  }
}

bool isCorruption(int rc) { return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB; }

void logStatementFailure(int rc, const std::string& sql, const char* message) {
  std::string_view text = message ? message : "";
  if (rc == SQLITE_FULL) {
    TL_LOG_DEBUG(kBeaconLogTag, "Query failed with error: " << rc << " - " << text);
  } else if (isCorruption(rc)) {
    TL_LOG_ERROR(kBeaconLogTag, "A database file is corrupted: " << rc << " - " << text);
  } else {
    TL_LOG_ERROR(kBeaconLogTag, "Query \"" << sql << "\" failed with error: " << rc << " - " << text);
  }
}

}  // namespace

std::string TLDBConnection::fileURI(const std::filesystem::path& file) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (unsigned char c : file.string()) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
                 c == '_' || c == '~' || c == '/';
    if (plain) {
      uri.push_back(static_cast<char>(c));
    } else {
      uri.push_back('%');
      uri.push_back(kHex[c >> 4]);
      uri.push_back(kHex[c & 0xF]);
    }
  }
  return uri;
}

std::string TLDBConnection::quoteIdentifier(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted.push_back('"');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return quoted;
}

std::string TLDBConnection::columnsQueryFromColumnsSchema(const TLDBColumnsSchema& columns) {
  std::string query;
  for (const auto& column : columns) {
    if (!query.empty()) query += ", ";
    query += quoteIdentifier(column.name);
    query += ' ';
    for (std::size_t i = 0; i < column.attributes.size(); ++i) {
      if (i > 0) query += ' ';
      query += column.attributes[i];
    }
  }
  return query;
}

std::optional<TLDBConnection> TLDBConnection::open(const std::filesystem::path& file, int& result) {
  sqlite3* db = nullptr;
  result = sqlite3_open_v2(fileURI(file).c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI,
                           nullptr);
  if (result != SQLITE_OK) {
    // A handle is allocated even when opening fails (except when out of memory); it must be closed.
    sqlite3_close(db);
    TL_LOG_ERROR(kBeaconLogTag, "Failed to open database with result: " << result << ".");
    return std::nullopt;
  }
  // With the write-ahead log (switched on when the file is configured) a commit is durable
  // against a killed process once it returns: its frames are in the log file. NORMAL skips the
  // fsync per commit (only a power cut can lose the last commits).
  sqlite3_exec(db, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
  // Another reader of the file (a diagnostic tool, a second process at start) is waited for
  // briefly instead of failing the save; this runs on the channel's queue, never the caller's.
  sqlite3_busy_timeout(db, 1000);
  return TLDBConnection(db);
}

int TLDBConnection::executeNonSelectionQuery(const std::string& sql, const TLDBBindings& bindings) {
  if (bindings.empty()) {
    char* message = nullptr;
    int rc = sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK && logsFailures_) logStatementFailure(rc, sql, message ? message : sqlite3_errmsg(db_.get()));
    sqlite3_free(message);
    return rc;
  }
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db_.get(), sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
  Statement statement(raw);
  if (rc == SQLITE_OK) rc = bindAll(raw, bindings);
  if (rc == SQLITE_OK) {
    do {
      rc = sqlite3_step(raw);
    } while (rc == SQLITE_ROW);
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
  }
  if (rc != SQLITE_OK && logsFailures_) logStatementFailure(rc, sql, sqlite3_errmsg(db_.get()));
  return rc;
}

TLDBRows TLDBConnection::executeSelectionQuery(const std::string& sql, const TLDBBindings& bindings, int* result) {
  TLDBRows rows;
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db_.get(), sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
  Statement statement(raw);
  if (rc == SQLITE_OK) rc = bindAll(raw, bindings);
  if (rc == SQLITE_OK) {
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
      int count = sqlite3_column_count(raw);
      if (count <= 0) continue;
      TLDBRow row;
      row.reserve(static_cast<std::size_t>(count));
      for (int column = 0; column < count; ++column) row.push_back(columnValue(raw, column));
      rows.push_back(std::move(row));
    }
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
  }
  if (rc != SQLITE_OK && logsFailures_) {
    TL_LOG_ERROR(kBeaconLogTag,
                 "Query \"" << sql << "\" failed with error: " << rc << " - " << sqlite3_errmsg(db_.get()));
  }
  if (result) *result = rc;
  return rows;
}

std::int64_t TLDBConnection::querySingleValue(const std::string& sql, const TLDBBindings& bindings, int* result) {
  TLDBRows rows = executeSelectionQuery(sql, bindings, result);
  if (rows.empty()) return 0;
  const auto* value = tlDBInteger(rows.front().front());
  return value ? *value : 0;
}

bool TLDBConnection::tableExists(std::string_view table, int* result) {
  return querySingleValue("SELECT COUNT(*) FROM \"sqlite_master\" WHERE \"type\"='table' AND \"name\"=?;",
                          {std::string(table)}, result) != 0;
}

std::uint32_t TLDBConnection::version(int* result) {
  return static_cast<std::uint32_t>(querySingleValue("PRAGMA user_version", {}, result));
}

void TLDBConnection::setVersion(std::uint32_t version) {
  // PRAGMA arguments cannot be bound; the value is a number formatted by us.
  executeNonSelectionQuery("PRAGMA user_version = " + std::to_string(static_cast<std::int32_t>(version)));
}

void TLDBConnection::enableAutoVacuum() {
  // 1 is FULL; 0 (NONE) and 2 (INCREMENTAL) are switched to FULL, which takes a VACUUM to apply
  // to a file that already has tables.
  if (querySingleValue("PRAGMA auto_vacuum") == 1) return;
  TL_LOG_DEBUG(kBeaconLogTag, "Vacuuming database and enabling auto_vacuum");
  executeNonSelectionQuery("PRAGMA auto_vacuum = FULL; VACUUM");
}

std::int64_t TLDBConnection::pageSize() { return querySingleValue("PRAGMA page_size;"); }

std::int64_t TLDBConnection::pageCount() { return querySingleValue("PRAGMA page_count;"); }

std::int64_t TLDBConnection::maxPageCount() { return querySingleValue("PRAGMA max_page_count;"); }

int TLDBConnection::setMaxPageCount(std::int64_t pages) {
  return executeNonSelectionQuery("PRAGMA max_page_count = " + std::to_string(pages) + ";");
}

int TLDBConnection::createTablesWithSchema(const TLDBSchema& schema) {
  std::string statements;
  for (const auto& [table, columns] : schema) {
    int rc = SQLITE_OK;
    bool exists = tableExists(table, &rc);
    if (rc != SQLITE_OK) return rc;
    if (exists) continue;
    if (!statements.empty()) statements += "; ";
    // IF NOT EXISTS: another process may create it between the question and the statement.
    statements += "CREATE TABLE IF NOT EXISTS " + quoteIdentifier(table) + " (" + columnsQueryFromColumnsSchema(columns) + ");";
  }
  return statements.empty() ? SQLITE_OK : executeNonSelectionQuery(statements);
}

std::int64_t TLDBConnection::lastInsertRowId() const { return sqlite3_last_insert_rowid(db_.get()); }

}  // namespace ml::beacon
