#pragma once
// Calendar components of a date and a record of their values. Every component here has an
// integer value, so a lookup by component can always answer.
#include <array>
#include <cstddef>
#include <optional>
#include <set>
#include <vector>

namespace ml::files {

enum class CalendarComponent {
  era,
  year,
  month,       // 1-based
  day,         // day of the month, 1-based
  hour,        // 0-23
  minute,
  second,
  weekday,     // 1 = Sunday
  weekdayOrdinal,
  quarter,     // 1-4
  weekOfMonth,
  weekOfYear,
  yearForWeekOfYear,
  nanosecond,  // within the second
};
inline constexpr std::size_t calendarComponentCount = 14;

// The values of some components of a date; components not asked for stay empty.
class DateComponents {
 public:
  std::optional<int> value(CalendarComponent component) const { return values_[index(component)]; }
  void setValue(CalendarComponent component, std::optional<int> value) { values_[index(component)] = value; }

  // The components a date's full record holds, in this order: nanosecond, second, minute,
  // hour, day, month, year, yearForWeekOfYear, weekOfYear, weekday, quarter, weekdayOrdinal,
  // weekOfMonth (era is not among them). Built once; safe from any thread.
  static const std::vector<CalendarComponent>& allComponents();
  static const std::set<CalendarComponent>& allComponentsSet();

  friend bool operator==(const DateComponents&, const DateComponents&) = default;

 private:
  static std::size_t index(CalendarComponent c) { return static_cast<std::size_t>(c); }
  std::array<std::optional<int>, calendarComponentCount> values_{};
};

}  // namespace ml::files
