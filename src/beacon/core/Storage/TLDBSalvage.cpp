#include "beacon/core/Storage/TLDBSalvage.h"

#include <limits>
#include <set>

#include "beacon/core/Storage/TLDBConnection.h"
#include "beacon/core/Storage/TLDBPageScan.h"
#include "beacon/core/TLNeverDestroyed.h"

namespace ml::beacon {

namespace {

constexpr std::int64_t kFirstRowid = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kLastRowid = std::numeric_limits<std::int64_t>::max();

std::string columnList(const std::vector<std::string>& columns) {
  std::string list;
  for (const auto& column : columns) list += (list.empty() ? "" : ", ") + TLDBConnection::quoteIdentifier(column);
  return list;
}

// Reads one table's rows in rowid order from rowid `start` on. Each row comes back with its rowid
// in front.
class TableReader {
 public:
  TableReader(TLDBConnection& connection, const std::string& table, const std::vector<std::string>& columns)
      : connection_(connection),
        select_("SELECT rowid, " + columnList(columns) + " FROM " + TLDBConnection::quoteIdentifier(table) +
                " WHERE rowid >= ? ORDER BY rowid") {}

  // Appends the rows from `start` until the end (true) or the first failing read (false).
  bool readFrom(std::int64_t start, TLDBRows& rows) {
    int rc = 0;
    TLDBRows read = connection_.executeSelectionQuery(select_, {start}, &rc);
    for (auto& row : read) rows.push_back(std::move(row));
    return rc == SQLITE_OK;
  }
  // Whether the first row from `start` on (or the end) can be read.
  bool readableFrom(std::int64_t start) {
    int rc = 0;
    connection_.executeSelectionQuery(select_ + " LIMIT 1", {start}, &rc);
    return rc == SQLITE_OK;
  }

 private:
  TLDBConnection& connection_;
  const std::string select_;
};

// The first rowid after `failing` (from which reading fails) from which reading works again:
// steps of doubling length find one, a bisection then moves back to the first. Nothing when no
// rowid up to the largest works.
std::optional<std::int64_t> nextReadableRowid(TableReader& reader, std::int64_t failing) {
  std::int64_t step = 1;
  std::int64_t low = failing;
  std::int64_t high = 0;
  while (true) {
    if (low > kLastRowid - step) return std::nullopt;
    high = low + step;
    if (reader.readableFrom(high)) break;
    low = high;
    if (step < kLastRowid / 2) step *= 2;
  }
  while (high - low > 1) {
    std::int64_t middle = low + (high - low) / 2;
    (reader.readableFrom(middle) ? high : low) = middle;
  }
  return high;
}

TLDBRows readableRows(TLDBConnection& connection, const std::string& table, const std::vector<std::string>& columns) {
  TableReader reader(connection, table, columns);
  TLDBRows rows;
  std::int64_t start = kFirstRowid;
  while (true) {
    const std::size_t before = rows.size();
    if (reader.readFrom(start, rows)) break;
    // The rows up to the last one read are kept; reading failed at the next row.
    std::int64_t failing = start;
    if (rows.size() > before) {
      const auto* last = tlDBInteger(rows.back().front());
      if (!last || *last == kLastRowid) break;
      failing = *last + 1;
    }
    auto next = nextReadableRowid(reader, failing);
    if (!next) break;
    start = *next;
  }
  return rows;  // each with its rowid in front
}

std::set<std::string> existingColumns(TLDBConnection& connection, const std::string& table) {
  std::set<std::string> names;
  for (const auto& row : connection.executeSelectionQuery("SELECT name FROM pragma_table_info(?)", {table})) {
    if (const auto* name = tlDBText(row.front())) names.insert(*name);
  }
  return names;
}

}  // namespace

TLDBSalvage salvageReadableRows(const std::filesystem::path& file, const TLDBSchema& schema) {
  // Read below SQLite first: opening the file lets SQLite fold the part of its write-ahead log it
  // accepts into the file and drop the rest.
  std::map<std::string, std::map<std::int64_t, TLDBRow>> scanned;
  for (const auto& [table, columns] : schema) scanned[table] = scanTableRows(file, columns);
  // With commits of the write-ahead log after a damaged frame, SQLite reads an older state of the
  // file: a row it has that the scan of the later state lacks was deleted since (sent, most
  // likely), and is not brought back.
  const bool laterStateScanned = !inspectWriteAheadLog(file).damage.empty();

  TLDBSalvage salvage;
  int rc = 0;
  auto connection = TLDBConnection::open(file, rc);
  if (connection) connection->setLogsFailures(false);
  for (const auto& [table, columns] : schema) {
    const std::set<std::string> existing = connection ? existingColumns(*connection, table) : std::set<std::string>{};
    TLDBSalvagedTable salvaged;
    for (const auto& column : columns) {
      // A table SQLite cannot describe (its schema page is damaged) is read with every column.
      if (existing.empty() || existing.count(column.name)) salvaged.columns.push_back(column.name);
    }
    std::set<std::int64_t> read;
    if (connection && !existing.empty()) {
      int counted = 0;
      std::int64_t count = connection->querySingleValue("SELECT COUNT(*) FROM " + TLDBConnection::quoteIdentifier(table),
                                                        {}, &counted);
      const bool preferScan = laterStateScanned && !scanned[table].empty();
      // The count of the older state says nothing of what the later one held.
      if (counted == SQLITE_OK && count >= 0 && !preferScan) salvaged.rowCount = static_cast<std::uint64_t>(count);
      for (auto& row : readableRows(*connection, table, salvaged.columns)) {
        const auto* rowid = tlDBInteger(row.front());
        if (preferScan && (!rowid || !scanned[table].count(*rowid))) continue;
        if (rowid) read.insert(*rowid);
        row.erase(row.begin());  // the rowid in front
        salvaged.rows.push_back(std::move(row));
      }
    }
    // Rows only the page scan found: on pages SQLite could not reach, or in intact commits of the
    // write-ahead log after a damaged frame.
    for (const auto& [rowid, values] : scanned[table]) {
      if (read.count(rowid)) continue;
      TLDBRow row;
      for (const auto& name : salvaged.columns) {
        for (std::size_t i = 0; i < columns.size(); ++i) {
          if (columns[i].name == name) row.push_back(values[i]);
        }
      }
      salvaged.rows.push_back(std::move(row));
    }
    if (salvaged.columns.empty() || (salvaged.rows.empty() && existing.empty())) continue;
    salvage.emplace(table, std::move(salvaged));
  }
  return salvage;
}

std::map<std::string, std::int64_t> salvageSequences(const std::filesystem::path& file) {
  static TLNeverDestroyed<TLDBColumnsSchema> sequence(TLDBColumnsSchema{{"name", {"TEXT"}}, {"seq", {"INTEGER"}}});
  std::map<std::string, std::int64_t> sequences;
  for (const auto& [rowid, row] : scanTableRows(file, sequence.get())) {
    const auto* name = row.size() == 2 ? tlDBText(row[0]) : nullptr;
    const auto* seq = row.size() == 2 ? tlDBInteger(row[1]) : nullptr;
    if (name && seq) sequences[*name] = std::max(sequences[*name], *seq);
  }
  return sequences;
}

void raiseSequence(TLDBConnection& connection, const std::string& table, std::int64_t floor) {
  if (floor <= 0) return;
  const TLDBValue name = table;
  if (!connection.tableExists("sqlite_sequence")) return;  // no AUTOINCREMENT table
  connection.executeNonSelectionQuery(
      "INSERT INTO sqlite_sequence (name, seq) SELECT ?, ? WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = ?)",
      {name, floor, name});
  connection.executeNonSelectionQuery("UPDATE sqlite_sequence SET seq = ? WHERE name = ? AND seq < ?", {floor, name, floor});
}

TLDBRestoreCount restoreSalvagedRows(TLDBConnection& connection, const TLDBSalvage& salvage) {
  TLDBRestoreCount count;
  connection.setLogsFailures(false);  // a refused row is counted, not logged one by one
  connection.executeNonSelectionQuery("BEGIN");
  for (const auto& [table, salvaged] : salvage) {
    std::string values;
    for (std::size_t i = 0; i < salvaged.columns.size(); ++i) values += i == 0 ? "?" : ", ?";
    const std::string insert = "INSERT INTO " + TLDBConnection::quoteIdentifier(table) + " (" +
                               columnList(salvaged.columns) + ") VALUES (" + values + ")";
    for (const auto& row : salvaged.rows) {
      if (connection.executeNonSelectionQuery(insert, row) == SQLITE_OK) {
        ++count.kept;
      } else {
        ++count.refused;
      }
    }
  }
  if (connection.executeNonSelectionQuery("COMMIT") != SQLITE_OK) {
    connection.executeNonSelectionQuery("ROLLBACK");
    count.refused += count.kept;
    count.kept = 0;
  }
  connection.setLogsFailures(true);
  return count;
}

std::vector<std::string> columnsMismatch(TLDBConnection& connection, const std::string& table,
                                         const TLDBColumnsSchema& columns) {
  std::vector<std::string> faults;
  int rc = 0;
  TLDBRows described = connection.executeSelectionQuery(
      "SELECT name, \"notnull\", dflt_value, pk FROM pragma_table_info(?)", {table}, &rc);
  if (rc != SQLITE_OK || described.empty()) return faults;
  std::set<std::string> existing;
  for (const auto& row : described) {
    const auto* name = tlDBText(row[0]);
    if (!name) continue;
    existing.insert(*name);
    bool known = false;
    for (const auto& column : columns) known = known || column.name == *name;
    const auto* notNull = tlDBInteger(row[1]);
    const auto* primaryKey = tlDBInteger(row[3]);
    if (!known && notNull && *notNull != 0 && tlDBIsNull(row[2]) && !(primaryKey && *primaryKey != 0)) {
      faults.push_back("unknown column \"" + *name + "\" that must not be null");
    }
  }
  for (const auto& column : columns) {
    if (!existing.count(column.name)) faults.push_back("no column \"" + column.name + "\"");
  }
  return faults;
}

}  // namespace ml::beacon
