#include "files/format/LimitedLengthFormatter.h"

#include <gtest/gtest.h>

#include <any>
#include <stdexcept>
#include <string>

namespace ml::files {
namespace {

TEST(LimitedLengthFormatter, CutsLongerTextAndKeepsShorterText) {
  const LimitedLengthFormatter formatter(3);
  EXPECT_EQ(formatter.format("abcdef"), "abc");
  EXPECT_EQ(formatter.format("abc"), "abc");
  EXPECT_EQ(formatter.format("ab"), "ab");
  EXPECT_EQ(formatter.format(""), "");
  EXPECT_EQ(LimitedLengthFormatter(0).format("abc"), "");
}

TEST(LimitedLengthFormatter, CountsACombiningSequenceAsOneCharacter) {
  const std::string e = "e\u0301";  // e + COMBINING ACUTE ACCENT
  EXPECT_EQ(LimitedLengthFormatter(2).format(e + e + e + e), e + e);
  EXPECT_EQ(LimitedLengthFormatter(4).format(e + e + e + e), e + e + e + e);
  // Hangul syllable spelled as three conjoining jamo.
  EXPECT_EQ(LimitedLengthFormatter(1).format("\u1100\u1161\u11A8x"), "\u1100\u1161\u11A8");
}

TEST(LimitedLengthFormatter, CountsEmojiSequencesAsOneCharacterEach) {
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";  // joined by ZWJ
  const std::string france = "\U0001F1EB\U0001F1F7", germany = "\U0001F1E9\U0001F1EA";
  const std::string thumbs = "\U0001F44D\U0001F3FD";  // with a skin-tone modifier
  const std::string text = family + france + germany + thumbs;
  EXPECT_EQ(LimitedLengthFormatter(2).format(text), family + france);
  EXPECT_EQ(LimitedLengthFormatter(3).format(text), family + france + germany);
  EXPECT_EQ(LimitedLengthFormatter(4).format(text), text);
  EXPECT_EQ(LimitedLengthFormatter(3).format("\r\nab"), "\r\nab");  // CR LF is one character
  EXPECT_EQ(LimitedLengthFormatter(1).format("\r\nab"), "\r\n");
}

TEST(LimitedLengthFormatter, KeepsInvalidUtf8BytesAsTheyAre) {
  EXPECT_EQ(LimitedLengthFormatter(2).format("\xff\xfe" "abc"), "\xff\xfe");
  EXPECT_EQ(LimitedLengthFormatter(3).format("a\xe2\x82" "bc"), "a\xe2\x82" "b");  // a cut-off sequence is one
}

TEST(LimitedLengthFormatter, OnlyTextObjectValuesAreFormatted) {
  const LimitedLengthFormatter formatter(3);
  EXPECT_EQ(formatter.string(std::any(std::string("abcdef"))), "abc");
  EXPECT_EQ(formatter.string(std::any("abcdef")), "abc");
  EXPECT_EQ(formatter.string(std::any(42)), std::nullopt);
  EXPECT_EQ(formatter.string(std::any()), std::nullopt);
  EXPECT_EQ(LimitedLengthFormatter::objectValue("abcdef"), "abcdef");
}

TEST(LimitedLengthFormatter, RejectsANegativeMaximum) {
  EXPECT_THROW(LimitedLengthFormatter(-1), std::invalid_argument);
  EXPECT_EQ(LimitedLengthFormatter(7).maxLength(), 7);
}

}  // namespace
}  // namespace ml::files
