#include "platform/darwin/FourCharCode.h"

#include <gtest/gtest.h>

#include "platform/darwin/MacRoman.h"

namespace ml::darwin {
namespace {

TEST(FourCharCode, AsciiTextPacksFirstCharacterMostSignificant) {
  EXPECT_EQ(fourCharCode("TEXT"), 0x54455854u);
  EXPECT_EQ(fourCharCode("vers"), 0x76657273u);
  static_assert("vers"_4cc == 0x76657273u);
}

TEST(FourCharCode, FourTabsAreAcceptedBecauseTheTestIsOnCharactersNotPrintability) {
  EXPECT_EQ(fourCharCode("\t\t\t\t"), 0x09090909u);
}

TEST(FourCharCode, WrongLengthOrUnencodableTextPrintsTheLineAndGivesQuestionMarks) {
  for (const char* text : {"abc", "abcde", "", "ab\xE2\x98\x83" "c", "\xFF\xFE\xFD\xFC"}) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(fourCharCode(text), kUnknownFourCharCode) << text;
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string("FourCharCode: Can't initialize with '") + text +
                  "', only printable ASCII allowed. Setting to '?\?\?\?'.\n");
  }
}

TEST(FourCharCode, ZeroHasNoText) { EXPECT_EQ(fourCharCodeString(0), std::nullopt); }

TEST(FourCharCode, EveryCodeWithAMacRomanByteRoundTripsThroughItsText) {
  // 0xA5 is the bullet, 0xDB the euro sign, 0xF0 a private-use character.
  for (FourCharCode code : {0x54455854u, 0xA5414243u, 0x41DBF0FFu, 0x80818283u, 0x00000041u}) {
    auto text = fourCharCodeString(code);
    ASSERT_TRUE(text);
    testing::internal::CaptureStdout();
    EXPECT_EQ(fourCharCode(*text), code) << *text;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  }
  EXPECT_EQ(*fourCharCodeString(0xA5414243u), "\xE2\x80\xA2" "ABC");
  EXPECT_EQ(fourCharCode("caf\xC3\xA9"), 0x6361668Eu);  // "café": é is 0x8E
}

TEST(MacRoman, DecodesEveryByteAndEncodesItBack) {
  for (int b = 0; b < 256; ++b) {
    const uint8_t byte = static_cast<uint8_t>(b);
    auto text = decodeMacRoman(std::span(&byte, 1));
    auto back = encodeMacRoman(text);
    ASSERT_TRUE(back) << b;
    ASSERT_EQ(*back, std::vector<uint8_t>{byte}) << b;
  }
}

TEST(MacRoman, RejectsMalformedUtf8AndCharactersOutsideTheSet) {
  EXPECT_FALSE(encodeMacRoman("\xC0\x80"));        // overlong NUL
  EXPECT_FALSE(encodeMacRoman("\xED\xA0\x80"));    // surrogate
  EXPECT_FALSE(encodeMacRoman("\xE2\x82"));        // truncated
  EXPECT_FALSE(encodeMacRoman("\xE2\x98\x83"));    // snowman: not in the set
  EXPECT_EQ(*encodeMacRoman("\xE2\x82\xAC"), std::vector<uint8_t>{0xDB});  // euro
}

}  // namespace
}  // namespace ml::darwin
