#pragma once
// Reading a database file below SQLite, for the salvage of a damaged file: its pages as the last
// intact commit left them (the main file with the write-ahead log's intact committed frames laid
// over it), and the rows of the table leaf pages among them. SQLite itself stops at the first
// damaged frame of a write-ahead log and ignores everything after it, and cannot read a file
// whose header or schema page is damaged; the rows are still on their pages.
//
// Only the pages reached through a leaf page's cell pointers are read (never free space within a
// page, where deleted rows linger), and only pages within the database's size at the last
// commit. A row is taken for a table when its record has the table's shape: no more values than
// columns, a null in the INTEGER PRIMARY KEY column (its value is the row id), text or null in
// TEXT columns, integers or null in INTEGER columns, and no null in a NOT NULL column. Nothing
// here logs or throws; damaged bytes are skipped.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "beacon/core/Storage/TLDBValue.h"

namespace ml::beacon {

// What is wrong with the write-ahead log beside a database file, as far as reading it tells.
// Nothing is while another process has the file open (its log is live, not damaged).
struct TLDBWalInspection {
  // Committed changes that SQLite would silently leave out: empty when there are none.
  std::string damage;
};
TLDBWalInspection inspectWriteAheadLog(const std::filesystem::path& database);

// "the file holds only K of its N pages" when the file is shorter than its intact header says
// (cut short); empty otherwise.
std::string describeMissingPages(const std::filesystem::path& database);

// Row id -> the row's values in `columns` order (missing trailing values null), of every record
// shaped like the table.
std::map<std::int64_t, TLDBRow> scanTableRows(const std::filesystem::path& database, const TLDBColumnsSchema& columns);

}  // namespace ml::beacon
