#include "beacon/core/Storage/TLDBStorage.h"

#include <sys/stat.h>

#include <mutex>
#include <system_error>

#include "beacon/core/Storage/TLDBPageScan.h"
#include "beacon/core/Storage/TLDBSalvage.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUtilityFile.h"

namespace ml::beacon {

namespace fs = std::filesystem;

namespace {

bool isCorruption(int rc) { return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB; }

// Suffix of the file a damaged database's replacement is built in.
constexpr std::string_view kRebuiltSuffix = ".rebuilt";

// Removes a database file and the journals SQLite keeps beside it. A journal left beside a
// deleted file would be taken for the next file's hot journal and rolled into it.
void removeDatabaseFiles(const fs::path& file, bool withMainFile) {
  for (const char* suffix : {"-journal", "-wal", "-shm"}) {
    std::error_code ec;
    fs::remove(fs::path(file.string() + suffix), ec);
  }
  std::error_code ec;
  if (withMainFile && fs::is_regular_file(file, ec)) fs::remove(file, ec);
}

// What a rebuild kept and lost: "N row(s) of table "t" could be read, K were copied into the new
// file, L were lost", with the losses left open where the damaged file could not count its rows.
std::string describeSalvage(const TLDBSalvage& salvage, const TLDBRestoreCount& restored, bool replaced) {
  if (!replaced) return "it could not be rebuilt, so every row it held was lost";
  if (salvage.empty()) return "nothing could be read from it; how many rows were lost is unknown";
  std::string text;
  std::uint64_t unreadable = 0;
  bool counted = true;  // every table could still count its rows
  for (const auto& [table, salvaged] : salvage) {
    if (!text.empty()) text += ", ";
    text += std::to_string(salvaged.rows.size()) + " row(s) of table \"" + table + "\"";
    if (!salvaged.rowCount || *salvaged.rowCount < salvaged.rows.size()) {
      counted = false;
    } else {
      unreadable += *salvaged.rowCount - salvaged.rows.size();
    }
  }
  text += " could be read, " + std::to_string(restored.kept) + " were copied into the new file";
  if (counted) return text + ", " + std::to_string(unreadable + restored.refused) + " were lost";
  if (restored.refused > 0) text += ", " + std::to_string(restored.refused) + " could not be copied";
  return text + "; how many rows could not be read is unknown";
}

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
  schema_ = schema;
  version_ = version;
  filename_ = std::string(filename);
  // Another process creating, migrating or rebuilding the same file at the same moment is waited
  // for: two creations racing would each find no table and one would fail to create it.
  if (auto path = TLUtilityFile::fullURLForPathComponent(filename)) {
    TLUtilityFile::createDirectoryAtURL(path->parent_path());
    lock_ = std::make_unique<TLDBFileLock>(*path);
  }
  TLDBFileLock::Guard configuring(lock_.get(), TLDBFileLock::Use::configuration);
  std::string damage;
  // SQLite leaves out, without a word, every commit of the write-ahead log after a damaged frame,
  // and cannot tell a log cut short: looked at before SQLite opens the file and folds the log in.
  int rc = SQLITE_OK;
  auto path = TLUtilityFile::fullURLForPathComponent(filename);
  if (std::string walDamage = path ? inspectWriteAheadLog(*path).damage : std::string(); !walDamage.empty()) {
    dbFileURL_ = *path;
    damage = walDamage;
    rc = SQLITE_CORRUPT;
  } else {
    rc = configureDatabase(schema, version, filename, &damage);
  }
  if (isCorruption(rc)) {
    if (damage.empty()) damage = sqlite3_errstr(rc);
    if (recreateDamagedDatabase(damage)) rc = SQLITE_OK;
  }
  if (rc != SQLITE_OK) TL_LOG_ERROR(kBeaconLogTag, "Failed to initialize database.");
}

int TLDBStorage::configureDatabase(const std::optional<TLDBSchema>& schema, std::uint32_t version,
                                   std::string_view filename, std::string* damage) {
  // A file of zero bytes holds no database yet (SQLite treats it as empty): it is configured as a
  // new file, not migrated.
  bool existed = false;
  if (auto path = TLUtilityFile::fullURLForPathComponent(filename)) {
    moveAsideIfNotAFile(*path);
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
    // A table the migrations could not bring to the schema refuses every new row: the file is
    // treated as damaged.
    for (const auto& [table, columns] : schema.value_or(TLDBSchema{})) {
      auto faults = columnsMismatch(*connection, table, columns);
      if (faults.empty()) continue;
      if (damage) {
        *damage = "table \"" + table + "\" has ";
        for (std::size_t i = 0; i < faults.size(); ++i) *damage += (i == 0 ? "" : ", ") + faults[i];
      }
      return SQLITE_CORRUPT;
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

void TLDBStorage::prepareRebuiltDatabase(TLDBConnection&) {}

std::int64_t TLDBStorage::knownPageSize(TLDBConnection& connection) {
  if (pageSize_ <= 0) pageSize_ = std::max<std::int64_t>(connection.pageSize(), 0);
  return pageSize_;
}

int TLDBStorage::executeQuery(const std::function<int(TLDBConnection&)>& block) {
  std::optional<std::pair<dev_t, ino_t>> queried;
  int rc = SQLITE_OK;
  {
    TLDBFileLock::Guard querying(lock_.get(), TLDBFileLock::Use::query);
    queried = fileIdentity();
    rc = runQuery(block);
  }
  // A file that could not be rebuilt once (a read-only folder, a full disk) is not salvaged
  // again at every query.
  if (!isCorruption(rc) || rebuildFailed_) return rc;
  {
    TLDBFileLock::Guard configuring(lock_.get(), TLDBFileLock::Use::configuration);
    // Another process met the damage first and replaced the file meanwhile: nothing to rebuild.
    if (fileIdentity() == queried && !recreateDamagedDatabase(sqlite3_errstr(rc))) return rc;
  }
  TLDBFileLock::Guard querying(lock_.get(), TLDBFileLock::Use::query);
  return runQuery(block);
}

std::optional<std::pair<dev_t, ino_t>> TLDBStorage::fileIdentity() const {
  struct stat status {};
  if (dbFileURL_.empty() || ::stat(dbFileURL_.c_str(), &status) != 0) return std::nullopt;
  return std::pair{status.st_dev, status.st_ino};
}

int TLDBStorage::runQuery(const std::function<int(TLDBConnection&)>& block) {
  int rc = SQLITE_OK;
  bool replaced = false;
  if (connection_ && fileIdentity() != connectionFile_) {  // another process replaced the file
    connection_.reset();
    replaced = true;
  }
  if (!connection_) {
    connectionFile_ = fileIdentity();
    connection_ = TLDBConnection::open(dbFileURL_, rc);
    if (connection_ && !connectionFile_) connectionFile_ = fileIdentity();  // created by the open
  }
  if (!connection_) return rc;
  // What this object handed out of the old file must not be given again by the new one.
  if (replaced) prepareRebuiltDatabase(*connection_);
  TLDBConnection* connection = &*connection_;

  // With an unknown page size there is no page count to cap at; the query then runs uncapped
  // rather than dividing by zero.
  if (std::int64_t pageSize = knownPageSize(*connection); pageSize > 0) {
    rc = connection->setMaxPageCount(maxSizeInBytes_ / pageSize);
    if (isCorruption(rc)) {
      connection_.reset();
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

bool TLDBStorage::recreateDamagedDatabase(const std::string& damage) {
  connection_.reset();  // closed before its file is read and replaced
  const fs::path damaged = dbFileURL_;
  const std::int64_t maxSize = maxSizeInBytes_;
  TLDBSalvage salvage;
  std::map<std::string, std::int64_t> sequences;  // ids given, so that none is given again
  std::string reason = damage;
  if (std::string missing = damaged.empty() ? std::string() : describeMissingPages(damaged); !missing.empty()) {
    reason += "; " + missing;
  }
  if (schema_ && !damaged.empty()) {
    sequences = salvageSequences(damaged);
    salvage = salvageReadableRows(damaged, *schema_);
  }

  // The replacement is built beside the damaged file and then renamed over it: a process killed
  // meanwhile finds the damaged file again (and salvages it again), never a half-filled one.
  const std::string rebuiltName = filename_ + std::string(kRebuiltSuffix);
  if (auto rebuilt = TLUtilityFile::fullURLForPathComponent(rebuiltName)) removeDatabaseFiles(*rebuilt, true);
  TLDBRestoreCount restored;
  int rc = configureDatabase(schema_, version_, rebuiltName);
  bool replaced = rc == SQLITE_OK && !damaged.empty();
  if (replaced) {
    {
      int opened = SQLITE_OK;
      auto connection = TLDBConnection::open(dbFileURL_, opened);  // closing it folds its log into the file
      if (connection) {
        restored = restoreSalvagedRows(*connection, salvage);
        for (const auto& [table, seq] : sequences) raiseSequence(*connection, table, seq);
        prepareRebuiltDatabase(*connection);
      }
    }
    removeDatabaseFiles(damaged, false);
    std::error_code ec;
    fs::rename(dbFileURL_, damaged, ec);
    replaced = !ec;
  }
  if (!replaced) {
    if (!dbFileURL_.empty() && dbFileURL_ != damaged) removeDatabaseFiles(dbFileURL_, true);
    dbFileURL_ = damaged;
    dropDatabase();
    rc = configureDatabase(schema_, version_, filename_);
    int opened = SQLITE_OK;
    if (auto connection = rc == SQLITE_OK ? TLDBConnection::open(dbFileURL_, opened) : std::nullopt) {
      for (const auto& [table, seq] : sequences) raiseSequence(*connection, table, seq);
      prepareRebuiltDatabase(*connection);
    }
  }
  dbFileURL_ = damaged;
  maxSizeInBytes_ = maxSize;
  rebuildFailed_ = rc != SQLITE_OK;
  TL_LOG_WARNING(kBeaconLogTag, "Database \"" << filename_ << "\" is damaged (" << reason
                                             << "); it was deleted and created anew: "
                                             << describeSalvage(salvage, restored, replaced) << ".");
  return rc == SQLITE_OK;
}

void TLDBStorage::moveAsideIfNotAFile(const fs::path& file) {
  std::error_code ec;
  const auto status = fs::status(file, ec);
  if (ec || !fs::exists(status) || fs::is_regular_file(status)) return;
  for (int attempt = 1; attempt <= 100; ++attempt) {
    fs::path aside = file.string() + ".moved-aside" + (attempt > 1 ? "-" + std::to_string(attempt) : std::string());
    if (fs::exists(fs::symlink_status(aside, ec))) continue;
    fs::rename(file, aside, ec);
    if (!ec) {
      TL_LOG_WARNING(kBeaconLogTag, "Found " << (fs::is_directory(status) ? "a folder" : "an item that is not a file")
                                             << " where the database " << file << " belongs; it was renamed to "
                                             << aside << " and a new database is created in its place.");
      return;
    }
    break;
  }
  TL_LOG_ERROR(kBeaconLogTag, "Found an item that is not a database file at " << file
                                                                              << " and could not rename it aside.");
}

void TLDBStorage::dropDatabase() {
  connection_.reset();  // closed before its file goes
  if (dbFileURL_.empty()) {
    TL_LOG_ERROR(kBeaconLogTag, "Failed to delete database.");
    return;
  }
  moveAsideIfNotAFile(dbFileURL_);  // a folder's contents are not ours to delete
  removeDatabaseFiles(dbFileURL_, false);
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
