#include <gtest/gtest.h>

#include "beacon/core/Utf8.h"

namespace ml::beacon {
namespace {

TEST(Utf8, CountsCodePointsNotBytes) {
  EXPECT_EQ(utf8::codePointCount(""), 0u);
  EXPECT_EQ(utf8::codePointCount("abc"), 3u);
  EXPECT_EQ(utf8::codePointCount("\xc3\xa9t\xc3\xa9"), 3u);         // été
  EXPECT_EQ(utf8::codePointCount("\xe6\x97\xa5\xf0\x9f\x98\x80"), 2u);  // 日😀
}

TEST(Utf8, PrefixNeverSplitsASequence) {
  std::string text = "a\xf0\x9f\x98\x80" "b";
  EXPECT_EQ(utf8::prefix(text, 1), "a");
  EXPECT_EQ(utf8::prefix(text, 2), "a\xf0\x9f\x98\x80");
  EXPECT_EQ(utf8::prefix(text, 10), text);
  EXPECT_EQ(utf8::prefix(text, 0), "");
}

TEST(Utf8, MalformedBytesCountOneEach) {
  EXPECT_EQ(utf8::codePointCount("\x80\x80"), 2u);          // stray continuation bytes
  EXPECT_EQ(utf8::codePointCount("\xc0\xaf"), 2u);          // overlong "/"
  EXPECT_EQ(utf8::codePointCount("\xed\xa0\x80"), 3u);      // surrogate
  EXPECT_EQ(utf8::codePointCount("\xf0\x9f\x98"), 3u);      // cut-off sequence
  EXPECT_EQ(utf8::codePointCount("\xf4\x90\x80\x80"), 4u);  // above U+10FFFF
  EXPECT_FALSE(utf8::isValid("\xc0\xaf"));
  EXPECT_TRUE(utf8::isValid("\xf4\x8f\xbf\xbf"));
  EXPECT_EQ(utf8::prefix("\xf0\x9f\x98", 1), "\xf0");
}

}  // namespace
}  // namespace ml::beacon
