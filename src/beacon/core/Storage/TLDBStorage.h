#pragma once
// The telemetry client's thin layer over SQLite: one database file in the client folder, its
// tables created from a schema description, the schema version kept in user_version (a subclass
// migrates older files), the file kept below a maximum size through max_page_count, and a file
// that SQLite reports as corrupt (or as not a database), or whose tables lack columns of the
// schema, replaced by a new file that keeps every row that could still be read. Corruption counts
// the same whether configuring the file or a later query meets it; the replacement is reported
// at warning level with the rows kept and lost. A folder found where the file belongs is renamed
// aside (never deleted) and the file created in its place.
//
// One handle is opened at the first query and kept for the object's life (closed and opened again
// after corruption or when the file is dropped); every query sets max_page_count for the current
// size cap and runs (executeQuery). The file uses the write-ahead log with synchronous=NORMAL:
// every commit that returned survives a killed process, and readers never block the writer.
//
// Other processes may use the same file: a lock file beside it (TLDBFileLock) lets creation,
// migration and rebuilds run alone and every query wait for them, and a file another process
// replaced is opened anew. Not thread-safe: the callers run every call on the channel group's
// serial queue. Failures are logged under the core's tag and answered as SQLite result codes,
// false, empty rows or zero counts; nothing throws.
//
// Subclasses with migration or customisation hooks construct through the protected constructor
// and call initializeDatabase() at the end of their own constructor, so that the hooks run on the
// finished subclass.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "beacon/core/Storage/TLDBConnection.h"
#include "beacon/core/Storage/TLDBFileLock.h"
#include "beacon/core/Storage/TLDBValue.h"

namespace ml::beacon {

class TLDBStorage {
 public:
  static constexpr std::int64_t kDefaultMaxSizeInBytes = 10 * 1024 * 1024;

  // Configures the file at once (see initializeDatabase).
  TLDBStorage(std::optional<TLDBSchema> schema, std::uint32_t version, std::string_view filename);
  TLDBStorage(std::uint32_t version, std::string_view filename);
  virtual ~TLDBStorage() = default;
  TLDBStorage(const TLDBStorage&) = delete;
  TLDBStorage& operator=(const TLDBStorage&) = delete;

  const std::filesystem::path& dbFileURL() const { return dbFileURL_; }
  std::int64_t maxSizeInBytes() const { return maxSizeInBytes_; }
  // Bytes per page, read when the file is configured (or on the first query after a failed
  // configuration); 0 while unknown.
  std::int64_t pageSize() const { return pageSize_; }

  // The road of every query: opens the file, applies the size cap and runs `block` on the open
  // connection, whose answer is the result. An open failure skips the block and answers that
  // code. Corruption met while applying the cap or by the block replaces the file (see above)
  // and runs the block once more on the new file.
  int executeQuery(const std::function<int(TLDBConnection&)>& block);
  int executeNonSelectionQuery(const std::string& sql, const TLDBBindings& bindings = {});
  TLDBRows executeSelectionQuery(const std::string& sql, const TLDBBindings& bindings = {});
  // SELECT COUNT(*) of the table, restricted by `condition` (a WHERE clause body whose values are
  // "?" placeholders filled from `bindings`) when it is not empty.
  std::uint64_t countEntriesForTable(std::string_view table, std::string_view condition = {},
                                     const TLDBBindings& bindings = {});
  // An existing table counts as created; a missing table as dropped.
  bool createTable(std::string_view table, const TLDBColumnsSchema& columns,
                   const std::vector<std::string>& uniqueColumnsConstraint = {});
  bool dropTable(std::string_view table);
  // Deletes the file (and any journal SQLite left beside it). A folder in its place is renamed
  // aside instead.
  void dropDatabase();

  // Caps the file at `sizeInBytes`, rounded up to whole pages. Refused (false) when the file
  // already uses more pages; on success maxSizeInBytes becomes the achieved size. The handler (when
  // given) is called on this thread after the handle is closed; not at all when the file cannot be
  // opened.
  void setMaxStorageSize(std::int64_t sizeInBytes, const std::function<void(bool)>& completionHandler = {});

  // table -> (column name -> position in the table's description).
  static std::map<std::string, std::map<std::string, std::size_t>> columnsIndexes(const TLDBSchema& schema);

  // The result of the one process-wide SQLite configuration (URI file names on).
  static int sqliteConfigurationResult();

 protected:
  struct DeferredConfiguration {};
  explicit TLDBStorage(DeferredConfiguration) {}
  // Configures the file; on corruption deletes it and configures once more. A failure is logged
  // ("Failed to initialize database.") and leaves a usable object whose queries fail on their own.
  void initializeDatabase(const std::optional<TLDBSchema>& schema, std::uint32_t version, std::string_view filename);
  // SQLITE_CORRUPT, with `damage` (when given) saying why, also for a table of the schema that
  // lacks one of its columns or has an extra one that refuses rows without it.
  int configureDatabase(const std::optional<TLDBSchema>& schema, std::uint32_t version, std::string_view filename,
                        std::string* damage = nullptr);

  // Hooks, called on the open connection during configuration: a new file, or an existing file
  // whose version is lower than the requested one.
  virtual void customizeDatabase(TLDBConnection& connection);
  virtual void migrateDatabase(TLDBConnection& connection, std::uint32_t fromVersion);
  // Called on the new file that replaces a damaged one, after the rows that could be read were
  // copied in and before it takes the damaged file's place, and on a file another process put in
  // place of the one this object used: a subclass restores what its in-memory state needs of the
  // file (row ids still handed out must not be given again).
  virtual void prepareRebuiltDatabase(TLDBConnection& connection);

  // Whether this object may send from the file: true once it holds the file's sending lock, which
  // it keeps until it gives it back; false while another object (another process) holds it.
  bool holdsSendingLock() { return !lock_ || lock_->tryHoldSending(); }
  void releaseSendingLock() {
    if (lock_) lock_->releaseSending();
  }

 private:
  // The page size, read now when it is still unknown; 0 when it cannot be read.
  std::int64_t knownPageSize(TLDBConnection& connection);
  // One run of `block` on the kept connection (see executeQuery).
  int runQuery(const std::function<int(TLDBConnection&)>& block);
  // Replaces the damaged file by a new one holding every row that could still be read, and
  // reports it. False when not even an empty new file could be made.
  bool recreateDamagedDatabase(const std::string& damage);
  // Renames a folder (or anything that is not a file) found at the file's path aside.
  static void moveAsideIfNotAFile(const std::filesystem::path& file);
  // Device and inode of the file at the database's path; nothing when it is missing.
  std::optional<std::pair<dev_t, ino_t>> fileIdentity() const;

  std::filesystem::path dbFileURL_;
  // What the file is configured with, kept to build a replacement of a damaged file.
  std::optional<TLDBSchema> schema_;
  std::uint32_t version_ = 0;
  std::string filename_;
  // The handle queries run on, opened at the first query and kept: opening a file per query costs
  // a wal-index recovery (or, in rollback mode, the journal's syncs) on every save.
  std::optional<TLDBConnection> connection_;
  // The file connection_ was opened on. Another process may replace a damaged file: a connection
  // to the replaced file would write into a file nobody reads again, so it is opened anew.
  std::optional<std::pair<dev_t, ino_t>> connectionFile_;
  // Shared with every other process using the file (see TLDBFileLock).
  std::unique_ptr<TLDBFileLock> lock_;
  std::int64_t maxSizeInBytes_ = kDefaultMaxSizeInBytes;
  bool rebuildFailed_ = false;  // the last rebuild of a damaged file failed
  std::int64_t pageSize_ = 0;
};

}  // namespace ml::beacon
