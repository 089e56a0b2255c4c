#include "platform/foundation/Dates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

namespace ml::foundation {
namespace {

using namespace std::chrono;

TEST(DatesTest, FormatsUtcWithMillisecondsWhateverTheTimeZone) {
  auto time = sys_days{year(2026) / December / 7} + hours(8) + milliseconds(123) + microseconds(999);
  const char* oldTz = std::getenv("TZ");
  std::string saved = oldTz ? oldTz : "";
  setenv("TZ", "Asia/Kolkata", 1);
  tzset();
  EXPECT_EQ(Dates::iso8601(time), "2026-12-07T08:00:00.123Z");
  if (oldTz) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
  EXPECT_EQ(Dates::iso8601(sys_days{year(2026) / January / 1}), "2026-01-01T00:00:00.000Z");
  EXPECT_EQ(Dates::iso8601(sys_days{year(1969) / December / 31} + hours(23) + milliseconds(59999)),
            "1969-12-31T23:00:59.999Z");
}

TEST(DatesTest, ParsesWhatItFormatsAndCommonRelatives) {
  auto time = sys_days{year(2026) / December / 7} + hours(8) + milliseconds(123);
  EXPECT_EQ(Dates::parseIso8601("2026-12-07T08:00:00.123Z"), time);
  EXPECT_EQ(Dates::parseIso8601(Dates::iso8601(time)), time);
  EXPECT_EQ(Dates::parseIso8601("2026-12-07T08:00:00Z"), time - milliseconds(123));
  EXPECT_EQ(Dates::parseIso8601("2026-12-07T09:30:00.123+01:30"), time);
  EXPECT_EQ(Dates::parseIso8601("2026-12-07T03:00:00.123-0500"), time);
  EXPECT_EQ(Dates::parseIso8601("2026-12-07T08:00:00.123456789Z"),
            time + microseconds(456) + nanoseconds(789));
}

TEST(DatesTest, RefusesMalformedOrImpossibleText) {
  for (const char* text : {"", "2026-12-07", "2026-12-07T08:00:00", "2026-13-07T08:00:00Z",
                           "2026-02-30T08:00:00Z", "2026-12-07T24:00:00Z", "2026-12-07T08:00:00.Z",
                           "2026-12-07T08:00:00.1234567891Z", "2026-12-07T08:00:00Zjunk",
                           "2026-12-07 08:00:00Z", "9999-12-31T23:59:59Z", "+026-12-07T08:00:00Z"})
    EXPECT_FALSE(Dates::parseIso8601(text).has_value()) << text;
}

TEST(DatesTest, ConvertsIntervalsFromTheReferenceDate) {
  EXPECT_EQ(Dates::iso8601(Dates::referenceDate()), "2001-01-01T00:00:00.000Z");
  EXPECT_DOUBLE_EQ(Dates::timeIntervalSinceReferenceDate(Dates::referenceDate() + milliseconds(1500)), 1.5);
  EXPECT_DOUBLE_EQ(Dates::timeIntervalSinceReferenceDate(sys_days{year(1970) / January / 1}), -978307200.0);
  EXPECT_EQ(Dates::fromTimeIntervalSinceReferenceDate(-978307200.0), system_clock::time_point{});
  EXPECT_EQ(Dates::fromTimeIntervalSinceReferenceDate(std::nan("")), Dates::referenceDate());
  EXPECT_GT(Dates::fromTimeIntervalSinceReferenceDate(1e300), Dates::referenceDate());
}

}  // namespace
}  // namespace ml::foundation
