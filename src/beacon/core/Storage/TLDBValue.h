#pragma once
// Values, rows and schema descriptions of the telemetry client's SQLite layer.
//
// A selected value is null, a 64-bit integer or UTF-8 text: INTEGER columns are read with the
// 64-bit accessor (millisecond timestamps and row ids must not wrap), TEXT columns as text, and
// every other storage class (REAL, BLOB, NULL) as null. The same three kinds are what a statement
// binds as parameters.
#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace ml::beacon {

using TLDBValue = std::variant<std::monostate, std::int64_t, std::string>;
using TLDBRow = std::vector<TLDBValue>;
using TLDBRows = std::vector<TLDBRow>;
// Parameters of one statement, bound in order to its "?" placeholders.
using TLDBBindings = std::vector<TLDBValue>;

// One column of a table description: its name and its attribute words, in order
// ({"id", {"INTEGER", "PRIMARY KEY", "AUTOINCREMENT"}}).
struct TLDBColumn {
  std::string name;
  std::vector<std::string> attributes;
};
// The columns of one table, in order: a column's position here is its index in every row that a
// selection of the table's columns returns.
using TLDBColumnsSchema = std::vector<TLDBColumn>;
// Table name -> its columns.
using TLDBSchema = std::map<std::string, TLDBColumnsSchema>;

// Readers for selected values; nothing when the value has another kind.
inline const std::int64_t* tlDBInteger(const TLDBValue& value) { return std::get_if<std::int64_t>(&value); }
inline const std::string* tlDBText(const TLDBValue& value) { return std::get_if<std::string>(&value); }
inline bool tlDBIsNull(const TLDBValue& value) { return std::holds_alternative<std::monostate>(value); }

}  // namespace ml::beacon
