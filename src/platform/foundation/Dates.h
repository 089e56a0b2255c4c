#pragma once
// Date helpers that never depend on the process's time zone or locale.
//
// ISO 8601 text is always UTC with milliseconds: "2026-12-07T08:00:00.123Z" (sub-millisecond
// parts are truncated toward the past). Parsing accepts that form and its near relatives: no
// fraction or 1 to 9 fraction digits, and "Z" or an offset "+hh:mm" / "+hhmm" / "+hh".
//
// The reference date is 2001-01-01T00:00:00Z; intervals from it are seconds as a double.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace ml::foundation {

class Dates {
 public:
  using TimePoint = std::chrono::system_clock::time_point;

  static std::string iso8601(TimePoint time);
  static std::optional<TimePoint> parseIso8601(std::string_view text);

  static TimePoint referenceDate();
  static double timeIntervalSinceReferenceDate(TimePoint time);
  // Non-finite intervals give the reference date; huge ones are clamped to the representable range.
  static TimePoint fromTimeIntervalSinceReferenceDate(double seconds);
};

}  // namespace ml::foundation
