#pragma once
// One open SQLite handle and the statements the telemetry storage runs on it.
//
// The storage keeps one connection for its queries (and opens short-lived ones to configure the
// file and to change its cap); this type owns the handle (RAII: closed on destruction). Not
// thread-safe: one thread at a time (the storage's callers serialise every call).
//
// Result codes are SQLite's primary codes (0 success, 11 corrupt, 13 full, 26 not a database).
// Identifiers are written into the text in double quotes (quoteIdentifier); values always travel
// as bound parameters, so a quote inside a value can neither break a statement nor change what it
// does. Failures are logged under the core's tag as the storage's callers expect them.
#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "beacon/core/Storage/TLDBValue.h"

namespace ml::beacon {

class TLDBConnection {
 public:
  // Opens (creating when missing) the file read-write through its "file:" URI. On failure logs
  // "Failed to open database with result: <code>." and answers nothing; `result` gets the code.
  static std::optional<TLDBConnection> open(const std::filesystem::path& file, int& result);
  // The "file:" URI of a path, with every byte outside the unreserved set and "/" percent-encoded
  // (so "?", "#" and "%" in a folder name stay part of the path).
  static std::string fileURI(const std::filesystem::path& file);
  // An identifier in double quotes, embedded double quotes doubled.
  static std::string quoteIdentifier(std::string_view name);
  // The column list of a CREATE TABLE: "\"name\" WORD WORD" per column, joined by ", ".
  static std::string columnsQueryFromColumnsSchema(const TLDBColumnsSchema& columns);

  // Runs a statement that selects nothing. Without bindings the text may hold several statements
  // separated by ";"; with bindings it must be one statement. Logs a failure: SQLITE_FULL at debug
  // level, corruption (11, 26) at error level as "A database file is corrupted", anything else at
  // error level with the statement.
  int executeNonSelectionQuery(const std::string& sql, const TLDBBindings& bindings = {});
  // Steps through every row of one statement. `result` (optional) gets the first failing code of
  // the prepare or of a step (0 when every row was read); a failure is logged with the statement
  // and ends the reading (rows read before it are answered). Rows without columns are left out.
  TLDBRows executeSelectionQuery(const std::string& sql, const TLDBBindings& bindings = {}, int* result = nullptr);
  // The first value of the first row as a signed 64-bit integer; 0 without a row or for a value
  // that is not an integer.
  std::int64_t querySingleValue(const std::string& sql, const TLDBBindings& bindings = {}, int* result = nullptr);

  bool tableExists(std::string_view table, int* result = nullptr);
  // user_version (a signed 32-bit value in the file, answered as unsigned); 0 without a row.
  std::uint32_t version(int* result = nullptr);
  void setVersion(std::uint32_t version);
  // Turns auto-vacuum FULL on (rewriting the file with VACUUM) unless it is on already.
  void enableAutoVacuum();
  std::int64_t pageSize();
  std::int64_t pageCount();
  std::int64_t maxPageCount();
  int setMaxPageCount(std::int64_t pages);
  // Creates every table of the schema that does not exist yet, in one statement text. Answers the
  // code of the first failing existence query, of that statement, or 0.
  int createTablesWithSchema(const TLDBSchema& schema);
  std::int64_t lastInsertRowId() const;

  sqlite3* handle() const { return db_.get(); }
  // Off while a caller reads a damaged file and reports the outcome as a whole (on by default).
  void setLogsFailures(bool logsFailures) { logsFailures_ = logsFailures; }

 private:
  struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
  };
  explicit TLDBConnection(sqlite3* db) : db_(db) {}

  std::unique_ptr<sqlite3, Closer> db_;
  bool logsFailures_ = true;
};

}  // namespace ml::beacon
