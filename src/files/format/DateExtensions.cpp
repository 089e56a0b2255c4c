#include "files/format/DateExtensions.h"

#include <unicode/calendar.h>
#include <unicode/datefmt.h>
#include <unicode/locid.h>

#include <algorithm>
#include <chrono>
#include <memory>

namespace ml::files::dates {

namespace {

using namespace std::chrono;

// ICU counts time in milliseconds (a double) since 1970 in UTC; a Date keeps nanoseconds, so
// the sub-millisecond part is dropped towards the past (a date just before a second boundary
// stays in that second).
UDate toUDate(Date date) {
  return static_cast<UDate>(floor<duration<darwin::DateTicks, std::milli>>(date.time_since_epoch()).count());
}

// ICU's own dates lie within a few million years, far inside what a Date holds.
Date fromUDate(UDate udate) {
  return Date(duration_cast<Date::duration>(duration<darwin::DateTicks, std::milli>(static_cast<int64_t>(udate))));
}

// The current calendar, set to `date`; null when ICU has no calendar data.
std::unique_ptr<icu::Calendar> calendarAt(Date date) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(icu::Locale::getDefault(), status));
  if (U_FAILURE(status) || !calendar) return nullptr;
  calendar->setTime(toUDate(date), status);
  if (U_FAILURE(status)) return nullptr;
  return calendar;
}

int field(icu::Calendar& calendar, UCalendarDateFields f) {
  UErrorCode status = U_ZERO_ERROR;
  const int v = calendar.get(f, status);
  return U_SUCCESS(status) ? v : 0;
}

int componentValue(icu::Calendar& calendar, Date date, CalendarComponent component) {
  switch (component) {
    case CalendarComponent::era: return field(calendar, UCAL_ERA);
    case CalendarComponent::year: return field(calendar, UCAL_YEAR);
    case CalendarComponent::month: return field(calendar, UCAL_MONTH) + 1;  // ICU months are 0-based
    case CalendarComponent::day: return field(calendar, UCAL_DATE);
    case CalendarComponent::hour: return field(calendar, UCAL_HOUR_OF_DAY);
    case CalendarComponent::minute: return field(calendar, UCAL_MINUTE);
    case CalendarComponent::second: return field(calendar, UCAL_SECOND);
    case CalendarComponent::weekday: return field(calendar, UCAL_DAY_OF_WEEK);
    case CalendarComponent::weekdayOrdinal: return field(calendar, UCAL_DAY_OF_WEEK_IN_MONTH);
    // ICU has no quarter field: three months each, the fourth also taking any thirteenth month
    // of calendars that have one.
    case CalendarComponent::quarter: return std::min(4, field(calendar, UCAL_MONTH) / 3 + 1);
    case CalendarComponent::weekOfMonth: return field(calendar, UCAL_WEEK_OF_MONTH);
    case CalendarComponent::weekOfYear: return field(calendar, UCAL_WEEK_OF_YEAR);
    case CalendarComponent::yearForWeekOfYear: return field(calendar, UCAL_YEAR_WOY);
    case CalendarComponent::nanosecond: {
      // Zone offsets are whole seconds, so the nanoseconds within the local second are those
      // within the UTC second (counted forward also for dates before 1970).
      const auto ns = date.time_since_epoch().count() % 1'000'000'000;
      return static_cast<int>(ns < 0 ? ns + 1'000'000'000 : ns);
    }
  }
  return 0;
}

icu::DateFormat::EStyle icuStyle(DateStyle style) {
  switch (style) {
    case DateStyle::noStyle: return icu::DateFormat::kNone;
    case DateStyle::shortStyle: return icu::DateFormat::kShort;
    case DateStyle::mediumStyle: return icu::DateFormat::kMedium;
    case DateStyle::longStyle: return icu::DateFormat::kLong;
    case DateStyle::fullStyle: return icu::DateFormat::kFull;
  }
  return icu::DateFormat::kMedium;
}

}  // namespace

int value(Date date, CalendarComponent component) {
  const auto calendar = calendarAt(date);
  return calendar ? componentValue(*calendar, date, component) : 0;
}

DateComponents components(Date date) {
  DateComponents out;
  const auto calendar = calendarAt(date);
  if (!calendar) return out;
  for (const auto component : DateComponents::allComponentsSet())
    out.setValue(component, componentValue(*calendar, date, component));
  return out;
}

std::optional<Date> atTime(Date date, int hour, int minute, int second) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return std::nullopt;
  const auto calendar = calendarAt(date);
  if (!calendar) return std::nullopt;
  // The calendar stays lenient (a strict one rejects skipped wall times outright); the range
  // check above keeps leniency from rolling fields over into another day.
  calendar->setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
  calendar->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
  calendar->set(UCAL_HOUR_OF_DAY, hour);
  calendar->set(UCAL_MINUTE, minute);
  calendar->set(UCAL_SECOND, second);
  calendar->set(UCAL_MILLISECOND, 0);
  UErrorCode status = U_ZERO_ERROR;
  const UDate result = calendar->getTime(status);
  if (U_FAILURE(status)) return std::nullopt;
  return fromUDate(result);
}

std::string string(Date date, DateStyle dateStyle, DateStyle timeStyle) {
  // ICU falls back to its default pattern when neither part is wanted; the caller asked for nothing.
  if (dateStyle == DateStyle::noStyle && timeStyle == DateStyle::noStyle) return {};
  std::unique_ptr<icu::DateFormat> formatter(
      icu::DateFormat::createDateTimeInstance(icuStyle(dateStyle), icuStyle(timeStyle), icu::Locale::getDefault()));
  if (!formatter) return {};
  icu::UnicodeString text;
  formatter->format(toUDate(date), text);
  std::string out;
  text.toUTF8String(out);
  return out;
}

}  // namespace ml::files::dates
