#pragma once
// The calendar work of the date sheets, in the user's current calendar (the ICU default locale
// and time zone, as files/format/DateExtensions reads dates). Any thread.
#include <array>
#include <optional>

#include "files/Date.h"

namespace ml::info {

// The units a date adjuster shifts by, in the order of its steppers' tags (0 to 5).
enum class DateUnit : int { year = 0, month = 1, day = 2, hour = 3, minute = 4, second = 5 };
using DateOffsets = std::array<int, 6>;  // indexed by DateUnit

// `value` with each of its year, month, day, hour, minute and second plus the matching offset,
// made into a date the lenient way: a component past its range carries into the next larger
// unit (month 13 is January of the next year, 31 February is early March, hour -1 the evening
// before). The part of `value` below the second is kept, and all-zero offsets give `value`
// itself. A wall time a daylight-saving change repeats or skips is read with the UTC offset of
// `value` where it can be (a minute after 01:30 in the first, daylight, 01:30 of a repeated hour
// is 01:31 daylight time). nullopt when the calendar makes no date of it.
std::optional<files::Date> adjustedDate(files::Date value, const DateOffsets& offsets);

// The day of `day` at the time of day (whole seconds) of `timeOfDay`: a time the clocks skip
// that day gives the next time that exists, a time they repeat its first occurrence.
// nullopt when the calendar finds no such time.
std::optional<files::Date> joinedDayAndTime(files::Date day, files::Date timeOfDay);

// What a date picker hands back: the day of `day` at hour:minute:second (as joinedDayAndTime).
// When that is the very second `original` falls in, `original` itself, so saving a picker the
// user did not change hands back the date unchanged, below-second part included.
std::optional<files::Date> pickedDate(files::Date day, int hour, int minute, int second,
                                      std::optional<files::Date> original);

}  // namespace ml::info
