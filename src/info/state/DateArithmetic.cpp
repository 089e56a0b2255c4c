#include "info/state/DateArithmetic.h"

#include <unicode/calendar.h>
#include <unicode/locid.h>

#include <algorithm>
#include <memory>

#include "files/format/DateExtensions.h"

namespace ml::info {

using namespace std::chrono;

std::optional<files::Date> adjustedDate(files::Date value, const DateOffsets& offsets) {
  // Every counter at 0 is the date itself, whatever the calendar would make of its wall time.
  if (std::all_of(offsets.begin(), offsets.end(), [](int offset) { return offset == 0; })) return value;
  // ICU keeps milliseconds; whole seconds go through the calendar and the rest is added back.
  const auto wholeSeconds = floor<seconds>(value);
  const auto belowSecond = value - wholeSeconds;

  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(icu::Locale::getDefault(), status));
  if (U_FAILURE(status) || !calendar) return std::nullopt;
  calendar->setLenient(true);
  calendar->setTime(static_cast<UDate>(duration_cast<milliseconds>(wholeSeconds.time_since_epoch()).count()), status);
  if (U_FAILURE(status)) return std::nullopt;

  static constexpr UCalendarDateFields kFields[] = {UCAL_YEAR, UCAL_MONTH, UCAL_DATE,
                                                     UCAL_HOUR_OF_DAY, UCAL_MINUTE, UCAL_SECOND};
  // Every field is read before any is set: setting one would otherwise renormalise the others.
  int values[6];
  for (int i = 0; i < 6; ++i) {
    values[i] = calendar->get(kFields[i], status);
    if (U_FAILURE(status)) return std::nullopt;
  }
  // A wall time the clocks show twice (the hour repeated when daylight saving ends), or never
  // (the hour skipped when it starts), is read with the UTC offset `value` has where it can be:
  // from a daylight-saving time the first of a repeated hour and, for a skipped one, the offset
  // after the change; from a standard time the second and the offset before. So a shift of a few
  // minutes stays a few minutes, across either change and in either direction.
  const bool daylight = calendar->get(UCAL_DST_OFFSET, status) != 0;
  if (U_FAILURE(status)) return std::nullopt;
  const UCalendarWallTimeOption option = daylight ? UCAL_WALLTIME_FIRST : UCAL_WALLTIME_LAST;
  calendar->setRepeatedWallTimeOption(option);
  calendar->setSkippedWallTimeOption(option);
  for (int i = 0; i < 6; ++i) {
    const long long shifted = static_cast<long long>(values[i]) + offsets[static_cast<size_t>(i)];
    if (shifted < INT32_MIN || shifted > INT32_MAX) return std::nullopt;
    calendar->set(kFields[i], static_cast<int32_t>(shifted));
  }
  const UDate result = calendar->getTime(status);
  if (U_FAILURE(status)) return std::nullopt;
  return files::Date(duration_cast<files::Date::duration>(milliseconds(static_cast<int64_t>(result)))) + belowSecond;
}

std::optional<files::Date> joinedDayAndTime(files::Date day, files::Date timeOfDay) {
  return files::dates::atTime(day, files::dates::hour(timeOfDay), files::dates::minute(timeOfDay),
                              files::dates::second(timeOfDay));
}

std::optional<files::Date> pickedDate(files::Date day, int hour, int minute, int second,
                                      std::optional<files::Date> original) {
  auto picked = files::dates::atTime(day, hour, minute, second);
  if (picked && original && *picked == floor<seconds>(*original)) return original;
  return picked;
}

}  // namespace ml::info
