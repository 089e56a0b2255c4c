#include "files/format/DateComponents.h"

namespace ml::files {

const std::vector<CalendarComponent>& DateComponents::allComponents() {
  using C = CalendarComponent;
  static const std::vector<CalendarComponent> all{
      C::nanosecond, C::second,      C::minute,  C::hour,    C::day,
      C::month,      C::year,        C::yearForWeekOfYear,   C::weekOfYear,
      C::weekday,    C::quarter,     C::weekdayOrdinal,      C::weekOfMonth};
  return all;
}

const std::set<CalendarComponent>& DateComponents::allComponentsSet() {
  static const std::set<CalendarComponent> all(allComponents().begin(), allComponents().end());
  return all;
}

}  // namespace ml::files
