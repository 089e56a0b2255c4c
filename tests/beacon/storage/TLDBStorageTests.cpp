#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "LogCapture.h"
#include "SqliteFixtures.h"
#include "beacon/core/Storage/TLDBStorage.h"
#include "beacon/core/TLUtilityFile.h"
#include "support/TempDir.h"

namespace ml::beacon {
namespace {

namespace fs = std::filesystem;
using test::sqliteColumn;
using test::sqliteExec;
using test::sqliteInteger;

const TLDBSchema kSchema = {
    {"items",
     {{"id", {"INTEGER", "PRIMARY KEY", "AUTOINCREMENT"}}, {"name", {"TEXT", "NOT NULL"}}, {"amount", {"INTEGER"}}}}};

// Records the hooks the configuration calls.
class RecordingStorage : public TLDBStorage {
 public:
  RecordingStorage(std::optional<TLDBSchema> schema, std::uint32_t version, std::string_view filename)
      : TLDBStorage(DeferredConfiguration{}) {
    initializeDatabase(schema, version, filename);
  }
  int customized = 0;
  std::vector<std::uint32_t> migrations;

 protected:
  void customizeDatabase(TLDBConnection&) override { ++customized; }
  void migrateDatabase(TLDBConnection&, std::uint32_t fromVersion) override { migrations.push_back(fromVersion); }
};

class TLDBStorageTest : public ::testing::Test {
 protected:
  fs::path file(const std::string& name = "Test.sqlite") { return TLUtilityFile::clientDirectoryURL() / name; }

  test::XdgSandbox sandbox;
  test::LogCapture capture;
};

// --- Configuration

TEST_F(TLDBStorageTest, NewFileGetsTablesCustomisationAutoVacuumAndVersion) {
  RecordingStorage storage(kSchema, 4, "Test.sqlite");
  EXPECT_EQ(storage.dbFileURL(), file());
  EXPECT_EQ(storage.customized, 1);
  EXPECT_TRUE(storage.migrations.empty());
  EXPECT_EQ(sqliteInteger(file(), "PRAGMA user_version"), 4);
  EXPECT_EQ(sqliteInteger(file(), "PRAGMA auto_vacuum"), 1);
  EXPECT_EQ(sqliteColumn(file(), "SELECT sql FROM sqlite_master WHERE name='items'"),
            std::vector<std::string>{
                "CREATE TABLE \"items\" (\"id\" INTEGER PRIMARY KEY AUTOINCREMENT, \"name\" TEXT NOT NULL, \"amount\" INTEGER)"});
  EXPECT_EQ(storage.pageSize(), 4096);
  EXPECT_EQ(storage.maxSizeInBytes(), 10485760);
  EXPECT_EQ(capture.count(TLLogLevel::info, "Created \"Test.sqlite\" database with 4 version."), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::debug, "Vacuuming database and enabling auto_vacuum"), 1u);
}

TEST_F(TLDBStorageTest, OlderFileIsMigratedFromItsVersion) {
  sqliteExec(file(), "CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT, amount INTEGER); PRAGMA user_version = 2;");
  RecordingStorage storage(kSchema, 4, "Test.sqlite");
  EXPECT_EQ(storage.migrations, std::vector<std::uint32_t>{2});
  EXPECT_EQ(storage.customized, 0);
  EXPECT_EQ(sqliteInteger(file(), "PRAGMA user_version"), 4);
  EXPECT_EQ(capture.count(TLLogLevel::info, "Migrating \"Test.sqlite\" database from version 2 to 4."), 1u);
}

TEST_F(TLDBStorageTest, NewerFileIsNotMigratedButTakesTheRequestedVersion) {
  sqliteExec(file(), "CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT, amount INTEGER); PRAGMA user_version = 5;");
  RecordingStorage storage(kSchema, 4, "Test.sqlite");
  EXPECT_TRUE(storage.migrations.empty());
  EXPECT_EQ(storage.customized, 0);
  EXPECT_EQ(sqliteInteger(file(), "PRAGMA user_version"), 4);
}

TEST_F(TLDBStorageTest, EmptyFileIsConfiguredAsNew) {
  std::ofstream(TLUtilityFile::clientDirectoryURL() / "Test.sqlite").close();
  RecordingStorage storage(kSchema, 4, "Test.sqlite");
  EXPECT_EQ(storage.customized, 1);
  EXPECT_TRUE(storage.migrations.empty());
}

TEST_F(TLDBStorageTest, FileThatIsNotADatabaseIsRecreated) {
  {
    std::ofstream out(TLUtilityFile::clientDirectoryURL() / "Test.sqlite", std::ios::binary);
    for (int i = 0; i < 512; ++i) out << "this is not a database file ";
  }
  RecordingStorage storage(kSchema, 4, "Test.sqlite");
  EXPECT_EQ(storage.customized, 1);
  EXPECT_EQ(sqliteInteger(file(), "PRAGMA user_version"), 4);
  EXPECT_EQ(storage.countEntriesForTable("items"), 0u);
  EXPECT_EQ(capture.count(TLLogLevel::warning,
                          "Database \"Test.sqlite\" is damaged (file is not a database); it was deleted and created "
                          "anew: nothing could be read from it; how many rows were lost is unknown."),
            1u);
  EXPECT_EQ(capture.count(TLLogLevel::error, "Failed to initialize database."), 0u);
}

TEST_F(TLDBStorageTest, StaleJournalGoesWithADeletedFile) {
  TLDBStorage storage(kSchema, 1, "Test.sqlite");
  std::ofstream(file().string() + "-journal") << "stale";
  storage.dropDatabase();
  EXPECT_FALSE(fs::exists(file()));
  EXPECT_FALSE(fs::exists(file().string() + "-journal"));
}

TEST_F(TLDBStorageTest, PathWithUriSpecialCharactersOpens) {
  fs::path odd = sandbox.root() / "data ?#%20&=";
  fs::create_directories(odd);
  ::setenv("XDG_DATA_HOME", odd.c_str(), 1);  // restored by the sandbox
  TLDBStorage storage(kSchema, 1, "Test.sqlite");
  EXPECT_EQ(storage.dbFileURL().string().rfind(odd.string(), 0), 0u);
  EXPECT_EQ(storage.executeNonSelectionQuery("INSERT INTO items (name) VALUES (?)", {std::string("a")}), 0);
  EXPECT_EQ(sqliteInteger(storage.dbFileURL(), "SELECT COUNT(*) FROM items"), 1);
  EXPECT_EQ(TLDBConnection::fileURI("/a b/?#%/x"), "file:/a%20b/%3F%23%25/x");
}

TEST_F(TLDBStorageTest, UnopenableFileLeavesAUsableObjectWithoutDividingByZero) {
  const fs::path blocker = sandbox.root() / "blocker";
  std::ofstream(blocker) << "a file where the data folder should be";
  ::setenv("XDG_DATA_HOME", blocker.c_str(), 1);  // restored by the sandbox; no folder can be made below a file
  TLDBStorage storage(kSchema, 1, "Test.sqlite");
  EXPECT_EQ(capture.count(TLLogLevel::error, "Failed to initialize database."), 1u);
  EXPECT_EQ(storage.pageSize(), 0);
  bool called = false;
  storage.setMaxStorageSize(8192, [&](bool) { called = true; });
  EXPECT_FALSE(called);  // the file cannot be opened: no answer

  fs::remove(blocker);
  fs::create_directories(storage.dbFileURL().parent_path());
  EXPECT_EQ(storage.executeNonSelectionQuery("CREATE TABLE t (x INTEGER)"), 0);
  EXPECT_EQ(storage.pageSize(), 4096);
}

// --- Tables

TEST_F(TLDBStorageTest, CreatingAnExistingTableAndDroppingAMissingOneSucceedWithoutAStatement) {
  TLDBStorage storage(kSchema, 1, "Test.sqlite");
  capture.clear();
  EXPECT_TRUE(storage.createTable("items", {{"other", {"TEXT"}}}));
  EXPECT_TRUE(storage.dropTable("missing"));
  EXPECT_EQ(capture.count(TLLogLevel::verbose, "Table"), 0u);
  EXPECT_EQ(sqliteInteger(file(), "SELECT COUNT(*) FROM pragma_table_info('items') WHERE name='other'"), 0);
}

TEST_F(TLDBStorageTest, CreatesTableWithUniqueConstraintAndDropsIt) {
  TLDBStorage storage(std::nullopt, 1, "Test.sqlite");
  EXPECT_TRUE(storage.createTable("pairs", {{"a", {"TEXT"}}, {"b", {"TEXT"}}}, {"a", "b"}));
  EXPECT_EQ(capture.count(TLLogLevel::verbose, "Table pairs has been created"), 1u);
  EXPECT_EQ(storage.executeNonSelectionQuery("INSERT INTO pairs VALUES ('x', 'y')"), 0);
  EXPECT_EQ(storage.executeNonSelectionQuery("INSERT INTO pairs VALUES ('x', 'y')"), SQLITE_CONSTRAINT);
  EXPECT_TRUE(storage.dropTable("pairs"));
  EXPECT_EQ(capture.count(TLLogLevel::verbose, "Table pairs has been deleted"), 1u);
  EXPECT_EQ(sqliteInteger(file(), "SELECT COUNT(*) FROM sqlite_master WHERE name='pairs'"), 0);
}

TEST_F(TLDBStorageTest, ColumnsQueryAndIndexesFollowTheDescription) {
  EXPECT_EQ(TLDBConnection::columnsQueryFromColumnsSchema(kSchema.at("items")),
            "\"id\" INTEGER PRIMARY KEY AUTOINCREMENT, \"name\" TEXT NOT NULL, \"amount\" INTEGER");
  auto indexes = TLDBStorage::columnsIndexes(kSchema);
  EXPECT_EQ(indexes["items"]["id"], 0u);
  EXPECT_EQ(indexes["items"]["name"], 1u);
  EXPECT_EQ(indexes["items"]["amount"], 2u);
  EXPECT_EQ(TLDBConnection::quoteIdentifier("a\"b"), "\"a\"\"b\"");
}

// --- Values

TEST_F(TLDBStorageTest, SelectedValuesKeepTheirKindsAndFullIntegerWidth) {
  TLDBStorage storage(std::nullopt, 1, "Test.sqlite");
  storage.executeNonSelectionQuery("CREATE TABLE v (t TEXT, i INTEGER, r REAL, b BLOB, n TEXT)");
  storage.executeNonSelectionQuery("INSERT INTO v VALUES ('42', 1700000000123, 1.5, x'00ff', NULL)");
  TLDBRows rows = storage.executeSelectionQuery("SELECT * FROM v");
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_EQ(rows[0].size(), 5u);
  ASSERT_TRUE(tlDBText(rows[0][0]));
  EXPECT_EQ(*tlDBText(rows[0][0]), "42");
  ASSERT_TRUE(tlDBInteger(rows[0][1]));
  EXPECT_EQ(*tlDBInteger(rows[0][1]), 1700000000123);
  EXPECT_TRUE(tlDBIsNull(rows[0][2]));
  EXPECT_TRUE(tlDBIsNull(rows[0][3]));
  EXPECT_TRUE(tlDBIsNull(rows[0][4]));
}

TEST_F(TLDBStorageTest, BoundValuesWithQuotesAreStoredVerbatim) {
  TLDBStorage storage(kSchema, 1, "Test.sqlite");
  std::string hostile = "x'); DROP TABLE items; --";
  EXPECT_EQ(storage.executeNonSelectionQuery("INSERT INTO items (name, amount) VALUES (?, ?)",
                                             {hostile, std::int64_t{-9000000000000}}),
            0);
  EXPECT_EQ(storage.countEntriesForTable("items", "\"name\" = ?", {hostile}), 1u);
  TLDBRows rows = storage.executeSelectionQuery("SELECT name, amount FROM items");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(*tlDBText(rows[0][0]), hostile);
  EXPECT_EQ(*tlDBInteger(rows[0][1]), -9000000000000);
}

TEST_F(TLDBStorageTest, FailingStatementsAreLoggedWithTheirText) {
  TLDBStorage storage(kSchema, 1, "Test.sqlite");
  EXPECT_NE(storage.executeNonSelectionQuery("INSERT INTO nowhere VALUES (1)"), 0);
  EXPECT_EQ(capture.count(TLLogLevel::error, "Query \"INSERT INTO nowhere VALUES (1)\" failed with error: 1 - no such table"), 1u);
  EXPECT_TRUE(storage.executeSelectionQuery("SELECT * FROM nowhere").empty());
  EXPECT_EQ(storage.countEntriesForTable("nowhere"), 0u);
}

// --- Size cap

TEST_F(TLDBStorageTest, RequestedSizeRoundsUpToWholePages) {
  TLDBStorage storage(kSchema, 1, "Test.sqlite");
  std::optional<bool> answer;
  storage.setMaxStorageSize(24577, [&](bool ok) { answer = ok; });
  EXPECT_EQ(answer, true);
  EXPECT_EQ(storage.maxSizeInBytes(), 28672);
  EXPECT_EQ(capture.count(TLLogLevel::info, "Changed maximum database size to 28672 bytes (next multiple of 4KiB)."), 1u);

  storage.setMaxStorageSize(32768, [&](bool ok) { answer = ok; });
  EXPECT_EQ(answer, true);
  EXPECT_EQ(storage.maxSizeInBytes(), 32768);
  EXPECT_EQ(capture.count(TLLogLevel::info, "Changed maximum database size to 32768 bytes."), 1u);
}

TEST_F(TLDBStorageTest, SizeBelowTheUsedPagesIsRefused) {
  TLDBStorage storage(kSchema, 1, "Test.sqlite");
  std::string big(3000, 'x');
  for (int i = 0; i < 10; ++i) storage.executeNonSelectionQuery("INSERT INTO items (name) VALUES (?)", {big});
  std::optional<bool> answer;
  storage.setMaxStorageSize(8192, [&](bool ok) { answer = ok; });
  EXPECT_EQ(answer, false);
  EXPECT_EQ(storage.maxSizeInBytes(), 10485760);
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Cannot change database size to 8192 bytes as it would cause a loss of data."),
            1u);
}

TEST_F(TLDBStorageTest, CapAppliesToEveryQuery) {
  TLDBStorage storage(kSchema, 1, "Test.sqlite");
  storage.setMaxStorageSize(6 * 4096);
  std::string big(3000, 'x');
  int rc = 0;
  for (int i = 0; i < 20 && rc == 0; ++i) rc = storage.executeNonSelectionQuery("INSERT INTO items (name) VALUES (?)", {big});
  EXPECT_EQ(rc, SQLITE_FULL);
  EXPECT_LE(fs::file_size(file()), 6u * 4096u);
  EXPECT_GE(capture.count(TLLogLevel::debug, "Query failed with error: 13"), 1u);
}

}  // namespace
}  // namespace ml::beacon
