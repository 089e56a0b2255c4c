#include "platform/logging/LocalDay.h"

#include <gtest/gtest.h>

#include "LogTestSupport.h"

namespace ml::logging {
namespace {

TEST(LocalDayTest, NamesItsFileByTheLocalDate) {
  auto day = LocalDay::of(testing::localNoon(2026, 12, 7));
  EXPECT_EQ(day, (LocalDay{2026, 12, 7}));
  EXPECT_EQ(day.fileName(), "2026-12-07.log");
}

TEST(LocalDayTest, ParsesOnlyItsOwnFileNames) {
  EXPECT_EQ(LocalDay::fromFileName("2026-12-07.log"), (LocalDay{2026, 12, 7}));
  EXPECT_EQ(LocalDay::fromFileName("2024-02-29.log"), (LocalDay{2024, 2, 29}));
  for (const char* name : {"2026-02-30.log", "2026-13-01.log", "2026-12-07.txt", "2026-12-07.log.1",
                           "notes.log", "2026-1a-07.log", "", "2026_12_07.log", "+026-12-07.log"})
    EXPECT_FALSE(LocalDay::fromFileName(name).has_value()) << name;
}

TEST(LocalDayTest, OrdinalsDifferByWholeDaysAcrossMonthsAndYears) {
  EXPECT_EQ((LocalDay{2027, 1, 1}).ordinal() - (LocalDay{2026, 12, 31}).ordinal(), 1);
  EXPECT_EQ((LocalDay{2024, 3, 1}).ordinal() - (LocalDay{2024, 2, 28}).ordinal(), 2);
  EXPECT_EQ((LocalDay{1970, 1, 1}).ordinal(), 0);
}

}  // namespace
}  // namespace ml::logging
