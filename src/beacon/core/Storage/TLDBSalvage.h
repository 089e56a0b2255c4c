#pragma once
// Salvage of a damaged database: what rows of its tables can still be read, and their copy into a
// new file. Rows come from two readings: SQLite's, and a scan of the pages below it
// (TLDBPageScan) that also reads pages SQLite cannot reach (a damaged header or schema page, a
// file cut short) and intact commits of the write-ahead log after a damaged frame. A damaged page loses only the rows it held: the reading walks each table in rowid
// order, and where a read fails it searches forward for the first rowid from which reading works
// again, so the rows behind the damage are kept too.
//
// Only the columns of the schema that the damaged table actually has are read (a table with
// missing columns gives what it has; a row the new table then refuses, for example with a NOT
// NULL column missing, is counted as lost). Failing reads are not logged: the caller reports the
// salvage as a whole.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "beacon/core/Storage/TLDBValue.h"

namespace ml::beacon {

class TLDBConnection;

struct TLDBSalvagedTable {
  std::vector<std::string> columns;  // the schema's columns the damaged table has, in schema order
  TLDBRows rows;                     // the readable rows, rowid order, values in `columns` order
  // Rows the table held, when the damaged file could still count them.
  std::optional<std::uint64_t> rowCount;
};
using TLDBSalvage = std::map<std::string, TLDBSalvagedTable>;

// The readable rows of every table of `schema` in the file. A file that cannot be opened or read
// at all gives nothing.
TLDBSalvage salvageReadableRows(const std::filesystem::path& file, const TLDBSchema& schema);

// The AUTOINCREMENT sequences (table -> highest id ever given) the damaged file's pages still
// hold; read below SQLite, so call it before anything opens the file.
std::map<std::string, std::int64_t> salvageSequences(const std::filesystem::path& file);
// Makes the table's next AUTOINCREMENT id larger than `floor` (no effect when it is already).
void raiseSequence(TLDBConnection& connection, const std::string& table, std::int64_t floor);

// Rows kept and rows refused by the new file.
struct TLDBRestoreCount {
  std::uint64_t kept = 0;
  std::uint64_t refused = 0;
};
// Inserts the salvaged rows (rowids kept) into the tables of the open connection, in one
// transaction.
TLDBRestoreCount restoreSalvagedRows(TLDBConnection& connection, const TLDBSalvage& salvage);

// The columns of `schema`'s table that the open database's table lacks, and its extra columns
// that refuse a row without them (NOT NULL without a default). Empty when the table fits (or does
// not exist) or cannot be described.
std::vector<std::string> columnsMismatch(TLDBConnection& connection, const std::string& table,
                                         const TLDBColumnsSchema& columns);

}  // namespace ml::beacon
