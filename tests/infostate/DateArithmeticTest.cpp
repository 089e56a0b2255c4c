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

// Both daylight-saving changes of 2025 in New York: on March 9 the clocks skip from 02:00 EST to
// 03:00 EDT, on November 2 they show 01:00-01:59 twice (EDT, then EST). Each case is a counter
// setting and the UTC instants before and after.
TEST(DateArithmeticAcrossDaylightSaving, ACounterMovesTheDateByItsOwnAmountAndZeroNotAtAll) {
  test::ScopedIcuDefaults defaults{"en_US", "America/New_York"};
  const auto at = [](const std::string& utc) { return *foundation::Dates::parseIso8601(utc); };
  struct Case {
    const char* what;
    const char* from;
    DateOffsets offsets;
    const char* to;
  };
  const Case cases[] = {
      {"nothing, first 01:30 (EDT)", "2025-11-02T05:30:00.000Z", {0, 0, 0, 0, 0, 0}, "2025-11-02T05:30:00.000Z"},
      {"nothing, second 01:30 (EST)", "2025-11-02T06:30:00.000Z", {0, 0, 0, 0, 0, 0}, "2025-11-02T06:30:00.000Z"},
      {"a minute, first 01:30", "2025-11-02T05:30:00.000Z", {0, 0, 0, 0, 1, 0}, "2025-11-02T05:31:00.000Z"},
      {"a minute back, second 01:30", "2025-11-02T06:30:00.000Z", {0, 0, 0, 0, -1, 0}, "2025-11-02T06:29:00.000Z"},
      {"an hour into the repeated one", "2025-11-02T04:30:00.000Z", {0, 0, 0, 1, 0, 0}, "2025-11-02T05:30:00.000Z"},
      {"an hour back into it", "2025-11-02T07:30:00.000Z", {0, 0, 0, -1, 0, 0}, "2025-11-02T06:30:00.000Z"},
      {"a day onto it", "2025-11-01T05:30:00.000Z", {0, 0, 1, 0, 0, 0}, "2025-11-02T05:30:00.000Z"},
      {"a day back onto it", "2025-11-03T06:30:00.000Z", {0, 0, -1, 0, 0, 0}, "2025-11-02T06:30:00.000Z"},
      {"nothing, 03:30 EDT", "2025-03-09T07:30:00.000Z", {0, 0, 0, 0, 0, 0}, "2025-03-09T07:30:00.000Z"},
      {"an hour into the skipped one", "2025-03-09T06:30:00.000Z", {0, 0, 0, 1, 0, 0}, "2025-03-09T07:30:00.000Z"},
      {"an hour back into it", "2025-03-09T07:30:00.000Z", {0, 0, 0, -1, 0, 0}, "2025-03-09T06:30:00.000Z"},
      {"half an hour over it", "2025-03-09T06:45:00.000Z", {0, 0, 0, 0, 30, 0}, "2025-03-09T07:15:00.000Z"},
      {"a month onto the day", "2025-02-09T07:30:00.000Z", {0, 1, 0, 0, 0, 0}, "2025-03-09T07:30:00.000Z"},
      {"a year from summer", "2024-11-02T05:30:00.000Z", {1, 0, 0, 0, 0, 0}, "2025-11-02T05:30:00.000Z"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(adjustedDate(at(c.from), c.offsets), at(c.to)) << c.what;
  }
  // Below the second too.
  const auto first = at("2025-11-02T05:30:00.000Z") + 250ms;
  EXPECT_EQ(adjustedDate(first, {0, 0, 0, 0, 0, 0}), first);
  EXPECT_EQ(adjustedDate(first, {0, 0, 0, 0, 0, 10}), first + 10s);
}

}  // namespace
}  // namespace ml::info
