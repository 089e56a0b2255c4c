#pragma once
// Helpers of the storage suite: database files built by hand with plain SQLite calls, and reads
// of their pragmas and rows, independent of the code under test.
#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ml::test {

// Runs `sql` (several statements allowed) on the file, creating it; fails the test on error.
void sqliteExec(const std::filesystem::path& file, const std::string& sql);
// The first column of every row of `sql`, as text ("NULL" for null).
std::vector<std::string> sqliteColumn(const std::filesystem::path& file, const std::string& sql);
std::int64_t sqliteInteger(const std::filesystem::path& file, const std::string& sql);

}  // namespace ml::test
