#pragma once
// Dates of the telemetry client: ISO 8601 text in UTC with milliseconds and a literal Z
// ("2026-12-07T08:00:00.123Z") whatever the process's TZ and locale, and the millisecond clock.
// Thread-safe.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace ml::beacon {

class TLUtilityDate {
 public:
  TLUtilityDate() = delete;
  using Date = std::chrono::system_clock::time_point;

  // Seconds since 1970 times 1000, with the clock's fraction.
  static double nowInMilliseconds();
  static std::string dateToISO8601(Date date);
  // Nothing for text that is not of that form.
  static std::optional<Date> dateFromISO8601(std::string_view text);
};

}  // namespace ml::beacon
