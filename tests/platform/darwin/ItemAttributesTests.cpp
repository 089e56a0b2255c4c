#include "platform/darwin/ItemAttributes.h"

#include <gtest/gtest.h>

#include "platform/darwin/ExtendedAttributes.h"
#include "support/TempDir.h"

namespace ml::darwin {
namespace {

using namespace std::chrono_literals;

TEST(ItemAttributes, RegularFileWithResourceForkReportsBothForks) {
  test::TempDir dir;
  const auto file = dir.write("f", std::string(1000, 'x'));
  ASSERT_TRUE(setExtendedAttribute(file, std::vector<uint8_t>(286, 7), "com.apple.ResourceFork"));
  auto a = readItemAttributes(file);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->kind, ItemKind::regular);
  EXPECT_EQ(a->size, 1000);
  EXPECT_EQ(a->resourceForkSize, 286);
  EXPECT_EQ(a->totalSize(), 1286);
  EXPECT_GE(a->resourceForkAllocatedSize, 286);
}

TEST(ItemAttributes, SymbolicLinkIsDescribedItselfNotItsTarget) {
  test::TempDir dir;
  const auto file = dir.write("f", "x");
  std::filesystem::create_symlink(file, dir.path() / "l");
  auto a = readItemAttributes(dir.path() / "l");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->kind, ItemKind::symbolicLink);
}

TEST(ItemAttributes, MissingItemIsAPosixError) {
  test::TempDir dir;
  auto a = readItemAttributes(dir.path() / "none");
  ASSERT_FALSE(a);
  EXPECT_TRUE(a.error().isPosix(ENOENT));
}

TEST(ItemAttributes, StoredCreationDateWinsOverBirthTimeAndGarbageIsIgnored) {
  test::TempDir dir;
  const auto file = dir.write("f", "x");
  const Date chosen = Date(std::chrono::duration_cast<Date::duration>(1234567890123456789ns));
  ASSERT_TRUE(setStoredCreationDate(file, chosen));
  EXPECT_EQ(readItemAttributes(file)->creationDate, chosen);
  const Date before = Date(std::chrono::duration_cast<Date::duration>(-5s));
  ASSERT_TRUE(setStoredCreationDate(file, before));
  EXPECT_EQ(readItemAttributes(file)->creationDate, before);

  ASSERT_TRUE(setExtendedAttribute(file, std::vector<uint8_t>{'1', 'x'}, kCreationDateAttribute));
  EXPECT_NE(readItemAttributes(file)->creationDate, before);
  EXPECT_FALSE(decodeCreationDate({}));
}

TEST(ItemAttributes, DotNamesAreInvisibleAndTheFinderFlagToo) {
  test::TempDir dir;
  EXPECT_TRUE(readItemAttributes(dir.write(".hidden", "x"))->isInvisible());
  const auto file = dir.write("shown", "x");
  EXPECT_FALSE(readItemAttributes(file)->isInvisible());
  FinderInfo info;
  info.setFlag(FinderInfo::kIsInvisible, true);
  ASSERT_TRUE(writeFinderInfo(file, info));
  EXPECT_TRUE(readItemAttributes(file)->isInvisible());
}

TEST(ItemAttributes, TimesWrittenReadBack) {
  test::TempDir dir;
  const auto file = dir.write("f", "x");
  const Date m = Date(std::chrono::duration_cast<Date::duration>(1600000000s + 5ns));
  const Date a = Date(std::chrono::duration_cast<Date::duration>(1500000000s));
  ASSERT_TRUE(setItemTimes(file, m, a));
  auto attrs = readItemAttributes(file);
  EXPECT_EQ(attrs->modificationDate, m);
  EXPECT_EQ(attrs->accessDate, a);
}

}  // namespace
}  // namespace ml::darwin
