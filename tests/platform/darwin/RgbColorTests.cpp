#include "platform/darwin/RgbColor.h"

#include <gtest/gtest.h>

#include <limits>

namespace ml::darwin {
namespace {

TEST(HexString, PureRedIsUpperCaseWithLeadingHash) {
  EXPECT_EQ(hexString({1, 0, 0}), "#FF0000");
  EXPECT_EQ(hexString({0.0, 0.6745, 0.9}), "#00ACE6");
}

TEST(HexString, HalvesRoundAwayFromZero) { EXPECT_EQ(hexString({0.5, 0.5, 0.5}), "#808080"); }

TEST(HexString, OutOfRangeComponentsAreClampedAndNotANumberGivesWhite) {
  EXPECT_EQ(hexString({1.5, -0.2, 1}), "#FF00FF");
  EXPECT_EQ(hexString({std::numeric_limits<double>::quiet_NaN(), 0, 0}), "FFFFFF");
}

}  // namespace
}  // namespace ml::darwin
