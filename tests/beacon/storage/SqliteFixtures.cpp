#include "SqliteFixtures.h"

#include <gtest/gtest.h>

namespace ml::test {

namespace {

sqlite3* openFile(const std::filesystem::path& file) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  EXPECT_EQ(rc, SQLITE_OK) << file;
  return db;
}

}  // namespace

void sqliteExec(const std::filesystem::path& file, const std::string& sql) {
  sqlite3* db = openFile(file);
  char* message = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << (message ? message : "");
  sqlite3_free(message);
  sqlite3_close(db);
}

std::vector<std::string> sqliteColumn(const std::filesystem::path& file, const std::string& sql) {
  std::vector<std::string> values;
  sqlite3* db = openFile(file);
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
  EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << sqlite3_errmsg(db);
  while (rc == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(statement, 0);
    values.push_back(text ? reinterpret_cast<const char*>(text) : "NULL");
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return values;
}

std::int64_t sqliteInteger(const std::filesystem::path& file, const std::string& sql) {
  auto values = sqliteColumn(file, sql);
  return values.empty() ? -1 : std::stoll(values.front());
}

}  // namespace ml::test
