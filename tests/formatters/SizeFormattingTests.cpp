#include <gtest/gtest.h>

#include <any>
#include <string>

#include "ScopedIcuDefaults.h"
#include "files/format/FileSizeFormatter.h"
#include "files/format/SizeRepresentation.h"

namespace ml::files {
namespace {

constexpr int64_t KiB = 1024, MiB = KiB * 1024, GiB = MiB * 1024;

TEST(SizeRepresentation, BelowOneKilobyteShowsAFractionOfAKilobyte) {
  test::ScopedIcuDefaults en("en_US");
  EXPECT_EQ(toSizeRepresentation(512), "0.5 KB");
  EXPECT_EQ(toSizeRepresentation(0), "0 KB");
  EXPECT_EQ(toSizeRepresentation(1), "0 KB");
}

TEST(SizeRepresentation, PicksTheUnitFromTheUnroundedValue) {
  test::ScopedIcuDefaults en("en_US");
  EXPECT_EQ(toSizeRepresentation(1536), "1.5 KB");
  EXPECT_EQ(toSizeRepresentation(10 * KiB), "10 KB");
  // Just under 1 MB: still KB, and the rounded value shows as 1024.
  EXPECT_EQ(toSizeRepresentation(MiB - 1), "1024 KB");
  EXPECT_EQ(toSizeRepresentation(MiB), "1 MB");
  EXPECT_EQ(toSizeRepresentation(GiB - 1), "1024 MB");
  EXPECT_EQ(toSizeRepresentation(GiB), "1 GB");
}

TEST(SizeRepresentation, GigabytesIsTheLargestUnitAndIsNeverGrouped) {
  test::ScopedIcuDefaults en("en_US");
  EXPECT_EQ(toSizeRepresentation(1024 * GiB), "1024 GB");
  EXPECT_EQ(toSizeRepresentation(1024 * 1024 * GiB), "1048576 GB");
}

TEST(SizeRepresentation, RoundsToTwoDigitsHalfUpAndDropsTrailingZeros) {
  test::ScopedIcuDefaults en("en_US");
  EXPECT_EQ(toSizeRepresentation(128), "0.13 KB");   // 0.125: half-even would give 0.12
  EXPECT_EQ(toSizeRepresentation(1152), "1.13 KB");  // 1.125
  EXPECT_EQ(toSizeRepresentation(1280), "1.25 KB");
  EXPECT_EQ(toSizeRepresentation(2044), "2 KB");     // 1.996 rounds to 2.00: no dangling separator
  EXPECT_EQ(toSizeRepresentation(MiB + MiB / 10), "1.1 MB");
}

TEST(SizeRepresentation, UsesTheLocaleDecimalSeparator) {
  test::ScopedIcuDefaults de("de_DE");
  EXPECT_EQ(toSizeRepresentation(1536), "1,5 KB");
  EXPECT_EQ(toSizeRepresentation(MiB - 1), "1024 KB");
}

TEST(SizeRepresentation, ANegativeCountThatRoundsToZeroHasNoSign) {
  test::ScopedIcuDefaults en("en_US");
  EXPECT_EQ(toSizeRepresentation(-1), "0 KB");
  EXPECT_EQ(toSizeRepresentation(-1536), "-1.5 KB");
}

TEST(FileSizeFormatter, ShowsAllocatedSizeTextAndActualBytesUsed) {
  test::ScopedIcuDefaults en("en_US");
  FileSizeFormatter formatter;
  EXPECT_EQ(formatter.format({5321, 8192}), "8 KB (5,321 bytes used)");
  EXPECT_EQ(formatter.string(std::any(FileSize{5321, 8192})), "8 KB (5,321 bytes used)");
}

TEST(FileSizeFormatter, ActualBytesOnlyShowsTheGroupedCount) {
  test::ScopedIcuDefaults en("en_US");
  FileSizeFormatter formatter;
  formatter.actualBytesOnly = true;
  EXPECT_EQ(formatter.format({5321, 8192}), "5,321 bytes");
  EXPECT_EQ(formatter.format({1234567, 0}), "1,234,567 bytes");
  test::ScopedIcuDefaults de("de_DE");
  EXPECT_EQ(formatter.format({1234567, 0}), "1.234.567 bytes");
}

TEST(FileSizeFormatter, TheUnknownMarkerWinsOverActualBytesOnly) {
  FileSizeFormatter formatter;
  EXPECT_EQ(formatter.format(FileSize::unknown()), "Unknown File Size");
  formatter.actualBytesOnly = true;
  EXPECT_EQ(formatter.format(FileSize::unknown()), "Unknown File Size");
}

TEST(FileSizeFormatter, OneUnknownCountIsFormattedAsItIs) {
  test::ScopedIcuDefaults en("en_US");
  FileSizeFormatter formatter;
  EXPECT_EQ(formatter.format({5321, -1}), "0 KB (5,321 bytes used)");
  EXPECT_EQ(formatter.format({-1, 8192}), "8 KB (-1 bytes used)");
}

TEST(FileSizeFormatter, AnythingButAFileSizeGivesTheNilReturnValue) {
  FileSizeFormatter formatter;
  EXPECT_EQ(formatter.string(std::any()), std::nullopt);
  EXPECT_EQ(formatter.string(std::any(std::string("8192"))), std::nullopt);
  formatter.nilReturnValue = "--";
  EXPECT_EQ(formatter.string(std::any()), "--");
  EXPECT_EQ(formatter.string(std::any(int64_t{8192})), "--");
  EXPECT_EQ(FileSizeFormatter::objectValue("12 KB"), "12 KB");
}

}  // namespace
}  // namespace ml::files
