#include "platform/darwin/FinderInfo.h"

#include <gtest/gtest.h>

#include "platform/darwin/ExtendedAttributes.h"
#include "support/TempDir.h"

namespace ml::darwin {
namespace {

TEST(FinderInfo, CodesAndFlagsSitAtTheirClassicOffsets) {
  FinderInfo info;
  info.setTypeCode("TEXT"_4cc);
  info.setCreatorCode("ttxt"_4cc);
  info.setFlag(FinderInfo::kIsInvisible, true);
  info.setFlag(FinderInfo::kIsStationery, true);
  const auto& b = info.bytes();
  EXPECT_EQ((std::vector<uint8_t>(b.begin(), b.begin() + 10)),
            (std::vector<uint8_t>{'T', 'E', 'X', 'T', 't', 't', 'x', 't', 0x48, 0x00}));
  info.setFlag(FinderInfo::kIsInvisible, false);
  EXPECT_EQ(info.flags(), FinderInfo::kIsStationery);
}

TEST(FinderInfo, ShortValuesArePaddedAndLongOnesCut) {
  const std::vector<uint8_t> shortValue = {'A', 'B', 'C', 'D', 0, 0, 0, 0, 0x08};
  auto info = FinderInfo::fromBytes(shortValue);
  EXPECT_EQ(info.typeCode(), "ABCD"_4cc);
  EXPECT_TRUE(info.hasFlag(FinderInfo::kIsStationery));
  EXPECT_FALSE(FinderInfo::fromBytes(std::vector<uint8_t>(8, 0xFF)).hasFlag(FinderInfo::kIsStationery));
  EXPECT_EQ(FinderInfo::fromBytes(std::vector<uint8_t>(100, 1)).bytes().size(), 32u);
}

TEST(FinderInfo, AllZeroValueRemovesTheAttribute) {
  test::TempDir dir;
  const auto file = dir.write("f", "x");
  FinderInfo info;
  info.setTypeCode("TEXT"_4cc);
  ASSERT_TRUE(writeFinderInfo(file, info));
  EXPECT_EQ(extendedAttribute(file, "com.apple.FinderInfo")->size(), 32u);
  EXPECT_EQ(readFinderInfo(file).value(), info);
  ASSERT_TRUE(writeFinderInfo(file, FinderInfo()));
  EXPECT_EQ(extendedAttribute(file, "com.apple.FinderInfo"), std::nullopt);
  EXPECT_TRUE(writeFinderInfo(file, FinderInfo()));  // nothing to remove is fine
}

}  // namespace
}  // namespace ml::darwin
