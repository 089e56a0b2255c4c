#pragma once
// Calendar reads, times of day and texts of dates, all in the user's current calendar: the
// calendar of the ICU default locale in the ICU default time zone. Both are looked up on every
// call, so a change of either (icu::Locale::setDefault, icu::TimeZone::adoptDefault, as the
// application does when the user's settings change) is followed at once. Any thread.
#include <optional>
#include <string>

#include "files/Date.h"
#include "files/format/DateComponents.h"

namespace ml::files::dates {

// The value of one component of `date`. 0 only when the calendar cannot place the date at all
// (its data missing), which no caller expects.
int value(Date date, CalendarComponent component);

inline int era(Date d) { return value(d, CalendarComponent::era); }
inline int year(Date d) { return value(d, CalendarComponent::year); }
inline int month(Date d) { return value(d, CalendarComponent::month); }
inline int day(Date d) { return value(d, CalendarComponent::day); }
inline int hour(Date d) { return value(d, CalendarComponent::hour); }
inline int minute(Date d) { return value(d, CalendarComponent::minute); }
inline int second(Date d) { return value(d, CalendarComponent::second); }
inline int nanosecond(Date d) { return value(d, CalendarComponent::nanosecond); }
inline int yearForWeekOfYear(Date d) { return value(d, CalendarComponent::yearForWeekOfYear); }
inline int weekOfYear(Date d) { return value(d, CalendarComponent::weekOfYear); }
inline int weekday(Date d) { return value(d, CalendarComponent::weekday); }
inline int weekdayOrdinal(Date d) { return value(d, CalendarComponent::weekdayOrdinal); }
inline int weekOfMonth(Date d) { return value(d, CalendarComponent::weekOfMonth); }
// Optional for its callers' sake; always present.
inline std::optional<int> quarter(Date d) { return value(d, CalendarComponent::quarter); }

// The values of every component of DateComponents::allComponentsSet().
DateComponents components(Date date);

// The same day at hour:minute:second (sub-seconds zero). A time the clocks skip on that day
// gives the next time that exists (02:30 on a spring-forward night at 02:00 gives 03:00); a time
// they repeat gives its first occurrence. nullopt for a time of day out of range (hour 0-23,
// minute and second 0-59).
std::optional<Date> atTime(Date date, int hour, int minute, int second);

enum class DateStyle { noStyle, shortStyle, mediumStyle, longStyle, fullStyle };

// The date written with the locale's patterns for the two styles ("Mar 9, 2025, 3:04:05 PM" for
// medium and medium in en_US). Both noStyle give an empty text.
std::string string(Date date, DateStyle dateStyle = DateStyle::mediumStyle,
                   DateStyle timeStyle = DateStyle::mediumStyle);

}  // namespace ml::files::dates
