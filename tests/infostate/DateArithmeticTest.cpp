#include "info/state/DateArithmetic.h"

#include <gtest/gtest.h>

#include "formatters/ScopedIcuDefaults.h"
#include "platform/foundation/Dates.h"

namespace ml::info {
namespace {

using namespace std::chrono_literals;

class DateArithmeticTest : public ::testing::Test {
 protected:
  // A wall-clock time in the test's zone, written as ISO 8601 with its offset.
  static files::Date at(const std::string& utc) { return *foundation::Dates::parseIso8601(utc); }
  test::ScopedIcuDefaults defaults{"en_US", "Europe/Berlin"};
};

TEST_F(DateArithmeticTest, OffsetsShiftEachComponent) {
  // 2020-03-10 14:00:00 in Berlin (UTC+1); years +2 and days -3 give 2022-03-07 14:00:00.
  const auto value = at("2020-03-10T13:00:00.000Z");
  EXPECT_EQ(adjustedDate(value, {2, 0, -3, 0, 0, 0}), at("2022-03-07T13:00:00.000Z"));
}

TEST_F(DateArithmeticTest, AMonthPastTheEndOfTheNextMonthCarriesOver) {
  // January 31 plus one month: February has no 31st, so early March.
  const auto value = at("2021-01-31T11:00:00.000Z");
  EXPECT_EQ(adjustedDate(value, {0, 1, 0, 0, 0, 0}), at("2021-03-03T11:00:00.000Z"));
}

TEST_F(DateArithmeticTest, ANegativeHourReachesIntoTheDayBefore) {
  const auto value = at("2021-06-10T00:30:00.000Z");  // 02:30 in Berlin (UTC+2)
  EXPECT_EQ(adjustedDate(value, {0, 0, 0, -3, 0, 0}), at("2021-06-09T21:30:00.000Z"));
}

TEST_F(DateArithmeticTest, NoOffsetGivesTheDateItselfSubSecondsIncluded) {
  const auto value = at("2021-06-10T00:30:00.000Z") + 123456789ns;
  EXPECT_EQ(adjustedDate(value, {0, 0, 0, 0, 0, 0}), value);
}

TEST_F(DateArithmeticTest, TheDayOfOneDateMeetsTheTimeOfAnother) {
  // Day 2021-05-04 (09:00 there) and time 23:15:30 (of 1999-12-31) give 2021-05-04 23:15:30.
  const auto day = at("2021-05-04T07:00:00.000Z");
  const auto time = at("1999-12-31T22:15:30.000Z");
  EXPECT_EQ(joinedDayAndTime(day, time), at("2021-05-04T21:15:30.000Z"));
}

TEST_F(DateArithmeticTest, ASkippedTimeGivesTheNextOneThatExists) {
  // 2021-03-28: clocks in Berlin go from 02:00 to 03:00; 02:30 becomes 03:00 (UTC+2).
  const auto day = at("2021-03-28T10:00:00.000Z");
  const auto time = at("2021-01-01T01:30:00.000Z");  // 02:30 in winter
  EXPECT_EQ(joinedDayAndTime(day, time), at("2021-03-28T01:00:00.000Z"));
}

}  // namespace
}  // namespace ml::info
