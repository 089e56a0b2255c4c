#include "files/HfsResourceFork.h"

#include <gtest/gtest.h>

#include "files/FileSystem.h"
#include "platform/darwin/ExtendedAttributes.h"
#include "support/ResourceForkBuilder.h"
#include "support/TempDir.h"

namespace ml::files {
namespace {

using test::ForkResource;
using test::ForkType;

Bytes bytes(std::string_view s) { return {s.begin(), s.end()}; }

HfsResourceFork readerOf(Bytes fork) {
  return HfsResourceFork([fork = std::move(fork)] { return std::optional<Bytes>(fork); });
}

TEST(HfsResourceFork, ThreeResourcesOfOneTypeComeBackInReferenceOrder) {
  auto fork = readerOf(test::buildResourceFork(
      {{"vers", {{1, {}, bytes("one")}, {2, {}, bytes("two")}, {3, {}, bytes("three")}}}}));
  EXPECT_EQ(fork.resources("vers"), (std::vector<Bytes>{bytes("one"), bytes("two"), bytes("three")}));
  EXPECT_TRUE(fork.resources("STR ").empty());
}

TEST(HfsResourceFork, SeveralTypesAreAllFoundAndADuplicateTypeGivesTheFirst) {
  auto fork = readerOf(test::buildResourceFork({{"ICN#", {{1, {}, bytes("icon")}}},
                                                {"STR ", {{2, {}, bytes("string")}}},
                                                {"STR ", {{3, {}, bytes("second")}}}}));
  EXPECT_EQ(fork.resources("ICN#"), std::vector<Bytes>{bytes("icon")});
  EXPECT_EQ(fork.resources("STR "), std::vector<Bytes>{bytes("string")});
}

TEST(HfsResourceFork, AttributeByteIsDroppedFromTheDataOffset) {
  auto fork = readerOf(test::buildResourceFork(
      {{"data", {{1, {}, bytes("first"), 0x20}, {2, {}, bytes("second"), 0x20}}}}));
  EXPECT_EQ(fork.resources("data").at(1), bytes("second"));
}

TEST(HfsResourceFork, NamesSelectResourcesAndUnnamedOnesNeverMatchAName) {
  const std::string longName(200, 'n');
  auto fork = readerOf(test::buildResourceFork(
      {{"TEXT", {{1, std::string("first"), bytes("a")}, {2, {}, bytes("b")}, {3, longName, bytes("c")}}}}));
  EXPECT_EQ(fork.resources("TEXT", "first"), std::vector<Bytes>{bytes("a")});
  EXPECT_EQ(fork.resources("TEXT", longName), std::vector<Bytes>{bytes("c")});
  EXPECT_TRUE(fork.resources("TEXT", "other").empty());
  EXPECT_EQ(fork.resources("TEXT").size(), 3u);
}

TEST(HfsResourceFork, VersionIsThePascalLongStringElseTheShortOne) {
  auto fork = readerOf(test::buildResourceFork(
      {{"vers", {{1, {}, test::versResource("1.2.3", "1.2.3, \xA9 1994")}, {2, {}, test::versResource("9", "9")}}}}));
  EXPECT_EQ(fork.version(), "1.2.3, \xC2\xA9 1994");  // 0xA9 is the copyright sign in Mac Roman
  EXPECT_EQ(fork.versionStrings()->shortVersion, "1.2.3");
  auto shortOnly = readerOf(test::buildResourceFork({{"vers", {{1, {}, test::versResource("2.0", "")}}}}));
  EXPECT_EQ(shortOnly.version(), "2.0");
  EXPECT_FALSE(readerOf(test::buildResourceFork({{"STR ", {{1, {}, bytes("x")}}}})).version());
}

TEST(HfsResourceFork, MalformedForksGiveNothingAndNeverReadPastTheEnd) {
  const auto good = test::buildResourceFork({{"vers", {{1, {}, test::versResource("1", "long")}}}});
  // Every truncation of a good fork.
  for (size_t n = 0; n < good.size(); ++n) {
    auto fork = readerOf(Bytes(good.begin(), good.begin() + static_cast<long>(n)));
    (void)fork.resources("vers");
    (void)fork.version();
  }
  // A resource length past the end, a negative length, a map offset past the end.
  auto broken = good;
  broken[256] = 0x7F;
  EXPECT_FALSE(readerOf(broken).version());
  broken[256] = 0xFF;
  EXPECT_FALSE(readerOf(broken).version());
  broken = good;
  broken[4] = 0x7F;
  EXPECT_FALSE(readerOf(broken).version());
  // A 'vers' resource whose short string claims more bytes than it has.
  EXPECT_FALSE(HfsResourceFork::decodeVersion({1, 2, 3, 4, 5, 6, 200, 'x'}));
  EXPECT_FALSE(HfsResourceFork([] { return std::optional<Bytes>(); }).version());
}

TEST(HfsResourceFork, ViewOfAFileWithAForkGivesAReaderThatOutlivesTheView) {
  test::TempDir dir;
  const auto file = dir.write("app", "");
  ASSERT_TRUE(darwin::setExtendedAttribute(
      file, test::buildResourceFork({{"vers", {{1, {}, test::versResource("3.1", "3.1 final")}}}}),
      "com.apple.ResourceFork"));
  auto fork = resourceFork(FileSystems::defaultFileSystem()->finderAttributes(Path(file)));
  ASSERT_TRUE(fork);
  EXPECT_EQ(fork->version(), "3.1 final");
  EXPECT_FALSE(resourceFork(FileSystems::defaultFileSystem()->finderAttributes(Path(dir.write("plain", "")))));
}

}  // namespace
}  // namespace ml::files
