// UTF-8 conversion that refuses malformed names, and user-perceived characters.
#include <gtest/gtest.h>

#include "rename/rules/UnicodeText.h"

namespace ml::rename::unicode {
namespace {

TEST(UnicodeText, ConversionRoundTripsWellFormedText) {
  for (const char* text : {"", "plain", "Grüße", "名前", "\U0001F600 e\u0301"}) {
    auto decoded = fromUtf8(text);
    ASSERT_TRUE(decoded.has_value()) << text;
    EXPECT_EQ(toUtf8(*decoded), text);
  }
}

TEST(UnicodeText, ConversionRefusesMalformedUtf8) {
  for (std::string bad : {std::string("\x80"), std::string("\xC0\x80"), std::string("\xED\xA0\x80"),
                          std::string("\xF4\x90\x80\x80"), std::string("ab\xE2\x82")}) {
    EXPECT_FALSE(fromUtf8(bad).has_value());
  }
  EXPECT_TRUE(fromUtf8(std::string("a\0b", 3)).has_value());
}

TEST(UnicodeText, CharactersAreExtendedGraphemeClusters) {
  auto text = *fromUtf8("e\u0301\U0001F1E9\U0001F1EA\r\nx");
  EXPECT_EQ(characterCount(text), 4);
  EXPECT_EQ(toUtf8(firstCharacters(text, 2)), "e\u0301\U0001F1E9\U0001F1EA");
  EXPECT_EQ(toUtf8(firstCharacters(text, 99)), toUtf8(text));
  EXPECT_EQ(toUtf8(firstCharacters(text, 0)), "");
  EXPECT_EQ(characters(std::string_view("ab\u00E9")), (std::vector<std::string>{"a", "b", "\u00E9"}));
  EXPECT_EQ(characterCount(icu::UnicodeString()), 0);
}

TEST(UnicodeText, CanonicalEquivalence) {
  EXPECT_TRUE(canonicallyEqual(*fromUtf8("\u00E9"), *fromUtf8("e\u0301")));
  EXPECT_FALSE(canonicallyEqual(*fromUtf8("\u00E9"), *fromUtf8("E\u0301")));
  EXPECT_FALSE(canonicallyEqual(*fromUtf8("\uFB01"), *fromUtf8("fi")));  // compatibility only
}

}  // namespace
}  // namespace ml::rename::unicode
