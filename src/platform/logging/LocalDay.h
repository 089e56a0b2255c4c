#pragma once
// A calendar day in the local time zone: the unit of log rotation. Each day has one file named
// "YYYY-MM-DD.log".
#include <chrono>
#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace ml::logging {

struct LocalDay {
  int year = 1970;
  unsigned month = 1;  // 1...12
  unsigned day = 1;    // 1...31

  // The local day `time` falls on (by the process's time zone).
  static LocalDay of(std::chrono::system_clock::time_point time);
  // Parses exactly "YYYY-MM-DD.log" naming a valid date; nothing for any other name.
  static std::optional<LocalDay> fromFileName(std::string_view name);

  std::string fileName() const;
  // Days since 1970-01-01 of this date; differences give whole days regardless of DST.
  long ordinal() const;

  friend auto operator<=>(const LocalDay&, const LocalDay&) = default;
};

}  // namespace ml::logging
