#include "files/format/DateExtensions.h"

#include <gtest/gtest.h>

#include <chrono>

#include "ScopedIcuDefaults.h"

namespace ml::files {
namespace {

using namespace std::chrono;
using C = CalendarComponent;

Date utc(int y, unsigned mo, unsigned d, int h = 0, int mi = 0, int s = 0) {
  return Date(sys_days(year(y) / mo / d).time_since_epoch() + hours(h) + minutes(mi) + seconds(s));
}

struct NewYork {
  test::ScopedIcuDefaults defaults{"en_US", "America/New_York"};
};

TEST(DateComponentsTable, ListsThirteenComponentsInTheirOrder) {
  const std::vector<C> expected{C::nanosecond, C::second,  C::minute,         C::hour,
                                C::day,        C::month,   C::year,           C::yearForWeekOfYear,
                                C::weekOfYear, C::weekday, C::quarter,        C::weekdayOrdinal,
                                C::weekOfMonth};
  EXPECT_EQ(DateComponents::allComponents(), expected);
  EXPECT_EQ(DateComponents::allComponentsSet().size(), 13u);
  EXPECT_FALSE(DateComponents::allComponentsSet().contains(C::era));
}

TEST(DateValues, AreReadInTheLocalZoneAndCalendar) {
  NewYork ny;
  // 02:30 UTC on the 16th is 22:30 EDT on Friday the 15th.
  const Date d = utc(2024, 3, 16, 2, 30, 45) + nanoseconds(123456789);
  EXPECT_EQ(dates::era(d), 1);
  EXPECT_EQ(dates::year(d), 2024);
  EXPECT_EQ(dates::month(d), 3);
  EXPECT_EQ(dates::day(d), 15);
  EXPECT_EQ(dates::hour(d), 22);
  EXPECT_EQ(dates::minute(d), 30);
  EXPECT_EQ(dates::second(d), 45);
  EXPECT_EQ(dates::nanosecond(d), 123456789);
  EXPECT_EQ(dates::weekday(d), 6);         // Sunday is 1
  EXPECT_EQ(dates::weekdayOrdinal(d), 3);  // third Friday of March
  EXPECT_EQ(dates::weekOfMonth(d), 3);
  EXPECT_EQ(dates::weekOfYear(d), 11);
  EXPECT_EQ(dates::yearForWeekOfYear(d), 2024);
  EXPECT_EQ(dates::quarter(d), 1);
  EXPECT_EQ(dates::quarter(utc(2024, 12, 1, 12)), 4);
}

TEST(DateValues, TheLastDaysOfAYearCanBelongToTheNextWeekYear) {
  NewYork ny;
  const Date d = utc(2024, 12, 31, 17);
  EXPECT_EQ(dates::year(d), 2024);
  EXPECT_EQ(dates::weekOfYear(d), 1);
  EXPECT_EQ(dates::yearForWeekOfYear(d), 2025);
}

TEST(DateValues, NanosecondsBefore1970CountForwardWithinTheSecond) {
  NewYork ny;
  const Date d = Date(nanoseconds(-1));  // 1969-12-31 18:59:59.999999999 EST
  EXPECT_EQ(dates::nanosecond(d), 999999999);
  EXPECT_EQ(dates::second(d), 59);
  EXPECT_EQ(dates::hour(d), 18);
  EXPECT_EQ(dates::year(d), 1969);
}

TEST(DateValues, FollowAChangeOfTheDefaultZone) {
  const Date d = utc(2024, 3, 16, 2, 30);
  {
    NewYork ny;
    EXPECT_EQ(dates::day(d), 15);
  }
  test::ScopedIcuDefaults berlin("de_DE", "Europe/Berlin");
  EXPECT_EQ(dates::day(d), 16);
  EXPECT_EQ(dates::hour(d), 3);
}

TEST(DateComponentsOfADate, HoldEveryListedComponentAndNothingElse) {
  NewYork ny;
  const Date d = utc(2024, 3, 16, 2, 30, 45);
  const DateComponents all = dates::components(d);
  for (const C c : DateComponents::allComponents()) EXPECT_EQ(all.value(c), dates::value(d, c));
  EXPECT_EQ(all.value(C::era), std::nullopt);
}

TEST(AtTime, SetsTheTimeOfDayOnTheSameLocalDay) {
  NewYork ny;
  const Date lateEvening = utc(2024, 3, 16, 3, 59, 0) + milliseconds(500);  // 23:59:00.5 EDT on the 15th
  EXPECT_EQ(dates::atTime(lateEvening, 8, 5, 0), utc(2024, 3, 15, 12, 5, 0));
  EXPECT_EQ(dates::atTime(lateEvening, 0, 0, 0), utc(2024, 3, 15, 4, 0, 0));
}

TEST(AtTime, ASkippedTimeGivesTheNextExistingTime) {
  NewYork ny;
  // On 2024-03-10 New York clocks jump from 02:00 EST to 03:00 EDT.
  const Date day = utc(2024, 3, 10, 17);
  EXPECT_EQ(dates::atTime(day, 2, 30, 0), utc(2024, 3, 10, 7, 0, 0));  // 03:00 EDT
  EXPECT_EQ(dates::atTime(day, 3, 30, 0), utc(2024, 3, 10, 7, 30, 0));
  EXPECT_EQ(dates::atTime(day, 1, 30, 0), utc(2024, 3, 10, 6, 30, 0));  // 01:30 EST
}

TEST(AtTime, ARepeatedTimeGivesItsFirstOccurrence) {
  NewYork ny;
  // On 2024-11-03 01:00-02:00 happens twice, first in EDT then in EST.
  EXPECT_EQ(dates::atTime(utc(2024, 11, 3, 17), 1, 30, 0), utc(2024, 11, 3, 5, 30, 0));
}

TEST(AtTime, ATimeOfDayOutOfRangeGivesNothing) {
  NewYork ny;
  const Date day = utc(2024, 3, 15, 17);
  EXPECT_EQ(dates::atTime(day, 24, 0, 0), std::nullopt);
  EXPECT_EQ(dates::atTime(day, 12, 60, 0), std::nullopt);
  EXPECT_EQ(dates::atTime(day, 12, 0, -1), std::nullopt);
}

TEST(DateString, UsesTheLocalePatternsForBothStyles) {
  NewYork ny;
  const Date d = utc(2024, 3, 15, 14, 30, 45);
  EXPECT_EQ(dates::string(d), "Mar 15, 2024, 10:30:45\u202FAM");
  EXPECT_EQ(dates::string(d, dates::DateStyle::shortStyle, dates::DateStyle::noStyle), "3/15/24");
  EXPECT_EQ(dates::string(d, dates::DateStyle::noStyle, dates::DateStyle::noStyle), "");
  test::ScopedIcuDefaults berlin("de_DE", "Europe/Berlin");
  EXPECT_EQ(dates::string(d), "15.03.2024, 15:30:45");
}

}  // namespace
}  // namespace ml::files
