#include "beacon/core/Storage/TLDBStorage.h"

#include <mutex>
#include <system_error>

#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUtilityFile.h"

namespace ml::beacon {

namespace fs = std::filesystem;

namespace {

bool isCorruption(int rc) { return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB; }

// Reports the process-wide configuration once, on the first storage made in the process.
void reportSQLiteConfigurationOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    int rc = TLDBStorage::sqliteConfigurationResult();
    if (rc == SQLITE_OK) {
      TL_LOG_DEBUG(kBeaconLogTag, "SQLite global configuration successfully updated.");
    } else {
      TL_LOG_ERROR(kBeaconLogTag, "Failed to update SQLite global configuration. Error: " << sqlite3_errstr(rc) << ".");
    }
  });
}

// The configuration must precede every other use of SQLite in the process, so it runs while the
// program loads (as soon as this file is part of it), not at the first storage.
[[maybe_unused]] const int kSQLiteConfiguredAtLoad = TLDBStorage::sqliteConfigurationResult();

}  // namespace

int TLDBStorage::sqliteConfigurationResult() {
  // Must run before SQLite initialises itself; every open also passes SQLITE_OPEN_URI, so a
  // process where another library initialised SQLite first still opens "file:" names.
  static const int result = sqlite3_config(SQLITE_CONFIG_URI, 1);
  return result;
}

TLDBStorage::TLDBStorage(std::optional<TLDBSchema> schema, std::uint32_t version, std::string_view filename) {
  initializeDatabase(schema, version, filename);
}

TLDBStorage::TLDBStorage(std::uint32_t version, std::string_view filename)
    : TLDBStorage(std::nullopt, version, filename) {}

void TLDBStorage::initializeDatabase(const std::optional<TLDBSchema>& schema, std::uint32_t version,
                                     std::string_view filename) {
  reportSQLiteConfigurationOnce();
  int rc = configureDatabase(schema, version, filename);
  if (isCorruption(rc)) {
    dropDatabase();
    rc = configureDatabase(schema, version, filename);
  }
  if (rc != SQLITE_OK) TL_LOG_ERROR(kBeaconLogTag, "Failed to initialize database.");
}

int TLDBStorage::configureDatabase(const std::optional<TLDBSchema>& schema, std::uint32_t version,
                                   std::string_view filename) {
  // A file of zero bytes holds no database yet (SQLite treats it as empty): it is configured as a
  // new file, not migrated.
  bool existed = false;
  if (auto path = TLUtilityFile::fullURLForPathComponent(filename)) {
    std::error_code ec;
    existed = TLUtilityFile::fileExistsForPathComponent(filename) && fs::file_size(*path, ec) > 0 && !ec;
  }
  auto url = TLUtilityFile::createFileAtPathComponent(filename, std::nullopt, false, false);
  maxSizeInBytes_ = kDefaultMaxSizeInBytes;
  if (!url) {
    dbFileURL_ = TLUtilityFile::fullURLForPathComponent(filename).value_or(fs::path());
    return SQLITE_CANTOPEN;
  }
  dbFileURL_ = *url;

  int rc = SQLITE_OK;
  auto connection = TLDBConnection::open(dbFileURL_, rc);
  if (!connection) return rc;
  pageSize_ = connection->pageSize();

  std::uint32_t storedVersion = connection->version(&rc);
  if (rc != SQLITE_OK) return rc;

  if (schema) {
    rc = connection->createTablesWithSchema(*schema);
    if (rc != SQLITE_OK) {
      TL_LOG_ERROR(kBeaconLogTag, "Failed to create tables with schema with error \"" << rc << "\".");
      return rc;
    }
  }

  std::string name = dbFileURL_.filename().string();
  if (existed) {
    if (storedVersion < version) {
      TL_LOG_INFO(kBeaconLogTag, "Migrating \"" << name << "\" database from version " << storedVersion << " to "
                                                << version << ".");
      migrateDatabase(*connection, storedVersion);
    }
  } else {
    TL_LOG_INFO(kBeaconLogTag, "Created \"" << name << "\" database with " << version << " version.");
    customizeDatabase(*connection);
  }

  connection->enableAutoVacuum();
  connection->setVersion(version);
  // Kept in the file: every later connection uses the write-ahead log. A file that cannot switch
  // (another process holds it) stays in rollback mode, which is slower but just as safe.
  connection->executeNonSelectionQuery("PRAGMA journal_mode = WAL");
  return SQLITE_OK;
}

void TLDBStorage::customizeDatabase(TLDBConnection&) {}

void TLDBStorage::migrateDatabase(TLDBConnection&, std::uint32_t) {}

std::int64_t TLDBStorage::knownPageSize(TLDBConnection& connection) {
  if (pageSize_ <= 0) pageSize_ = std::max<std::int64_t>(connection.pageSize(), 0);
  return pageSize_;
}

int TLDBStorage::executeQuery(const std::function<int(TLDBConnection&)>& block) {
  int rc = SQLITE_OK;
  if (!connection_) connection_ = TLDBConnection::open(dbFileURL_, rc);
  if (!connection_) return rc;
  TLDBConnection* connection = &*connection_;

  // With an unknown page size there is no page count to cap at; the query then runs uncapped
  // rather than dividing by zero.
  if (std::int64_t pageSize = knownPageSize(*connection); pageSize > 0) {
    rc = connection->setMaxPageCount(maxSizeInBytes_ / pageSize);
    if (isCorruption(rc)) {
      connection_.reset();  // the next query opens the file again
      return rc;
    }
    if (rc != SQLITE_OK) TL_LOG_ERROR(kBeaconLogTag, "Failed to open database with specified maximum size constraint.");
  } else {
    TL_LOG_ERROR(kBeaconLogTag, "Failed to open database with specified maximum size constraint.");
  }
  rc = block(*connection);
  if (isCorruption(rc)) connection_.reset();
  return rc;
}

int TLDBStorage::executeNonSelectionQuery(const std::string& sql, const TLDBBindings& bindings) {
  return executeQuery([&](TLDBConnection& connection) { return connection.executeNonSelectionQuery(sql, bindings); });
}

TLDBRows TLDBStorage::executeSelectionQuery(const std::string& sql, const TLDBBindings& bindings) {
  TLDBRows rows;
  executeQuery([&](TLDBConnection& connection) {
    int rc = SQLITE_OK;
    rows = connection.executeSelectionQuery(sql, bindings, &rc);
    return rc;
  });
  return rows;
}

std::uint64_t TLDBStorage::countEntriesForTable(std::string_view table, std::string_view condition,
                                                const TLDBBindings& bindings) {
  std::string sql = "SELECT COUNT(*) FROM " + TLDBConnection::quoteIdentifier(table) + " ";
  if (!condition.empty()) sql += "WHERE " + std::string(condition);
  TLDBRows rows = executeSelectionQuery(sql, bindings);
  if (rows.empty()) return 0;
  const auto* count = tlDBInteger(rows.front().front());
  return count && *count > 0 ? static_cast<std::uint64_t>(*count) : 0;
}

bool TLDBStorage::createTable(std::string_view table, const TLDBColumnsSchema& columns,
                              const std::vector<std::string>& uniqueColumnsConstraint) {
  int rc = executeQuery([&](TLDBConnection& connection) {
    int existsResult = SQLITE_OK;
    if (connection.tableExists(table, &existsResult)) return SQLITE_OK;
    if (existsResult != SQLITE_OK) return existsResult;
    std::string unique;
    for (const auto& name : uniqueColumnsConstraint) {
      unique += unique.empty() ? ", UNIQUE(" : ", ";
      unique += TLDBConnection::quoteIdentifier(name);
    }
    if (!unique.empty()) unique += ")";
    int created = connection.executeNonSelectionQuery("CREATE TABLE " + TLDBConnection::quoteIdentifier(table) + " (" +
                                                      TLDBConnection::columnsQueryFromColumnsSchema(columns) + unique +
                                                      ");");
    if (created == SQLITE_OK) TL_LOG_VERBOSE(kBeaconLogTag, "Table " << table << " has been created");
    return created;
  });
  if (rc != SQLITE_OK) TL_LOG_ERROR(kBeaconLogTag, "Failed to create table " << table);
  return rc == SQLITE_OK;
}

bool TLDBStorage::dropTable(std::string_view table) {
  int rc = executeQuery([&](TLDBConnection& connection) {
    int existsResult = SQLITE_OK;
    if (!connection.tableExists(table, &existsResult)) return existsResult;
    int dropped = connection.executeNonSelectionQuery("DROP TABLE " + TLDBConnection::quoteIdentifier(table) + ";");
    if (dropped == SQLITE_OK) TL_LOG_VERBOSE(kBeaconLogTag, "Table " << table << " has been deleted");
    return dropped;
  });
  if (rc != SQLITE_OK) TL_LOG_ERROR(kBeaconLogTag, "Failed to delete table " << table);
  return rc == SQLITE_OK;
}

void TLDBStorage::dropDatabase() {
  connection_.reset();  // closed before its file goes
  if (dbFileURL_.empty()) {
    TL_LOG_ERROR(kBeaconLogTag, "Failed to delete database.");
    return;
  }
  // A journal left beside a deleted file would be taken for the new file's hot journal and rolled
  // into it; it goes with the file.
  for (const char* suffix : {"-journal", "-wal", "-shm"}) {
    std::error_code ec;
    fs::remove(fs::path(dbFileURL_.string() + suffix), ec);
  }
  if (TLUtilityFile::deleteFileAtURL(dbFileURL_)) {
    TL_LOG_VERBOSE(kBeaconLogTag, "Database " << TLDBConnection::fileURI(dbFileURL_) << " has been deleted.");
  } else {
    TL_LOG_ERROR(kBeaconLogTag, "Failed to delete database.");
  }
}

void TLDBStorage::setMaxStorageSize(std::int64_t sizeInBytes, const std::function<void(bool)>& completionHandler) {
  bool success = false;
  {
    int rc = SQLITE_OK;
    auto connection = TLDBConnection::open(dbFileURL_, rc);
    if (!connection) return;

    std::int64_t pageCount = connection->pageCount();
    TL_LOG_DEBUG(kBeaconLogTag, "Found " << pageCount << " pages in the database.");
    std::int64_t pageSize = knownPageSize(*connection);
    if (pageSize <= 0) {
      TL_LOG_ERROR(kBeaconLogTag, "Could not change maximum database size to "
                                      << sizeInBytes << " bytes. SQLite error code: " << SQLITE_ERROR);
    } else {
      std::int64_t requiredPages = sizeInBytes > 0 ? sizeInBytes / pageSize + (sizeInBytes % pageSize != 0 ? 1 : 0) : 0;
      if (pageCount > requiredPages) {
        TL_LOG_WARNING(kBeaconLogTag, "Cannot change database size to "
                                          << sizeInBytes
                                          << " bytes as it would cause a loss of data. Maximum database size will not be "
                                             "changed.");
      } else if (rc = connection->setMaxPageCount(requiredPages); rc != SQLITE_OK) {
        TL_LOG_ERROR(kBeaconLogTag, "Could not change maximum database size to " << sizeInBytes
                                                                                 << " bytes. SQLite error code: " << rc);
      } else {
        std::int64_t maxPageCount = connection->maxPageCount();
        std::int64_t achieved = pageSize * maxPageCount;
        if (maxPageCount != requiredPages) {
          TL_LOG_ERROR(kBeaconLogTag, "Could not change maximum database size to "
                                          << sizeInBytes << " bytes, current maximum size is " << achieved << " bytes.");
        } else {
          if (achieved == sizeInBytes) {
            TL_LOG_INFO(kBeaconLogTag, "Changed maximum database size to " << achieved << " bytes.");
          } else {
            TL_LOG_INFO(kBeaconLogTag, "Changed maximum database size to " << achieved << " bytes (next multiple of 4KiB).");
          }
          maxSizeInBytes_ = achieved;
          success = true;
        }
      }
    }
  }  // the handle is closed before the handler runs
  if (completionHandler) completionHandler(success);
}

std::map<std::string, std::map<std::string, std::size_t>> TLDBStorage::columnsIndexes(const TLDBSchema& schema) {
  std::map<std::string, std::map<std::string, std::size_t>> indexes;
  for (const auto& [table, columns] : schema) {
    auto& tableIndexes = indexes[table];
    for (std::size_t i = 0; i < columns.size(); ++i) tableIndexes.emplace(columns[i].name, i);
  }
  return indexes;
}

}  // namespace ml::beacon
