// Template parsing: group references bounded by the expression's groups, escapes, literals.
#include <gtest/gtest.h>

#include "rename/rules/RegularExpression.h"
#include "rename/rules/ReplacementTemplate.h"
#include "rename/rules/UnicodeText.h"

namespace ml::rename {
namespace {

std::string replaced(const std::string& pattern, const std::string& replacement, const std::string& text) {
  auto expression = RegularExpression::compile(pattern);
  EXPECT_TRUE(expression.ok());
  if (!expression.ok()) return "<invalid>";
  auto result = expression->replace(*unicode::fromUtf8(text), *unicode::fromUtf8(replacement), ReplacementMode::all);
  EXPECT_TRUE(result.ok());
  return result.ok() ? unicode::toUtf8(*result) : "<failed>";
}

TEST(ReplacementTemplate, DollarDigitsNameGroupsWhileTheNumberExists) {
  EXPECT_EQ(replaced("(a)(b)", "$2$1", "ab"), "ba");
  EXPECT_EQ(replaced("(a)(b)", "$0!", "ab"), "ab!");
  // Two groups: "$12" is group 1 then the digit 2.
  EXPECT_EQ(replaced("(a)(b)", "$12", "ab"), "a2");
  EXPECT_EQ(replaced("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)", "$12", "abcdefghijkl"), "l");
}

TEST(ReplacementTemplate, ReferenceToAMissingOrUnmatchedGroupIsEmpty) {
  EXPECT_EQ(replaced("(a)", "[$7]", "a"), "[]");
  EXPECT_EQ(replaced("(a)|(b)", "[$1$2]", "b"), "[b]");
}

TEST(ReplacementTemplate, BackslashEscapesAndDollarWithoutDigitIsLiteral) {
  EXPECT_EQ(replaced("a", "\\$1\\\\", "a"), "$1\\");
  EXPECT_EQ(replaced("a", "$x$", "a"), "$x$");
  EXPECT_EQ(replaced("a", "end\\", "a"), "end\\");
  EXPECT_EQ(replaced("a", "\\\U0001F600", "a"), "\U0001F600");
}

TEST(ReplacementTemplate, ParsesIntoLiteralsAndReferences) {
  auto parsed = ReplacementTemplate::parse(*unicode::fromUtf8("x$1y$0"), 1);
  ASSERT_EQ(parsed.pieces().size(), 4u);
  EXPECT_EQ(parsed.pieces()[0].group, -1);
  EXPECT_EQ(parsed.pieces()[1].group, 1);
  EXPECT_EQ(parsed.pieces()[3].group, 0);
  // Huge digit runs stay bounded by the group count.
  auto huge = ReplacementTemplate::parse(*unicode::fromUtf8("$1" + std::string(100, '9')), 1);
  ASSERT_EQ(huge.pieces().size(), 2u);
  EXPECT_EQ(huge.pieces()[0].group, 1);
}

TEST(RegularExpression, EmptyMatchesAreReplacedWithoutLooping) {
  EXPECT_EQ(replaced("x*", "-", "abc"), "-a-b-c-");
  EXPECT_EQ(replaced("", "-", ""), "-");
}

TEST(RegularExpression, CompileFailureNamesThePattern) {
  auto expression = RegularExpression::compile("[a-");
  ASSERT_FALSE(expression.ok());
  EXPECT_EQ(expression.error().message, "The value \u201C[a-\u201D is invalid.");
  EXPECT_FALSE(RegularExpression::compile("\xFF").ok());
}

TEST(RegularExpression, EqualWhenPatternAndOptionsAreEqual) {
  EXPECT_EQ(*RegularExpression::compile("a+", true), *RegularExpression::compile("a+", true));
  EXPECT_FALSE(*RegularExpression::compile("a+", true) == *RegularExpression::compile("a+", false));
  EXPECT_EQ(RegularExpression::compile("(a)(b)")->captureGroupCount(), 2);
}

}  // namespace
}  // namespace ml::rename
