#include "find/search/NameSearchOption.h"

#include <gtest/gtest.h>

namespace ml::find {
namespace {

using Op = BooleanOperator;

TEST(NameSearchOption, ContainsJoinsWithAndOrOr) {
  auto all = NameSearchOption::contains({"ab", "cd"}, Op::andOp);
  EXPECT_TRUE(all.test("xxabyycdzz", false));
  EXPECT_FALSE(all.test("xxabyy", false));
  auto any = NameSearchOption::contains({"ab", "cd"}, Op::orOp);
  EXPECT_TRUE(any.test("cd", false));
  EXPECT_FALSE(any.test("ef", false));
}

TEST(NameSearchOption, EmptyListsMatchAllWithAndAndNoneWithOrOrIs) {
  EXPECT_TRUE(NameSearchOption::contains({}, Op::andOp).test("anything", false));
  EXPECT_FALSE(NameSearchOption::startsWith({}, Op::orOp).test("anything", false));
  EXPECT_FALSE(NameSearchOption::is({}).test("anything", false));
}

TEST(NameSearchOption, CaseSensitiveTestsCompareExactly) {
  EXPECT_FALSE(NameSearchOption::contains({"Report"}).test("report.txt", false));
  EXPECT_TRUE(NameSearchOption::contains({"Report"}).test("Report.txt", false));
  EXPECT_FALSE(NameSearchOption::startsWith({"R"}).test("report", false));
  EXPECT_FALSE(NameSearchOption::endsWith({".TXT"}).test("a.txt", false));
  EXPECT_FALSE(NameSearchOption::is({"A"}).test("a", false));
}

TEST(NameSearchOption, CaseInsensitiveTestsFoldUnicodeAndComposition) {
  EXPECT_TRUE(NameSearchOption::startsWith({"RE"}).test("report", true));
  EXPECT_TRUE(NameSearchOption::endsWith({".TXT"}).test("a.txt", true));
  EXPECT_TRUE(NameSearchOption::is({"ÉTÉ"}).test("été", true));
  // Decomposed e + combining acute in the name against the composed letter typed by the user.
  EXPECT_TRUE(NameSearchOption::contains({"é"}).test("cafe\xCC\x81", true));
  EXPECT_TRUE(NameSearchOption::is({"STRASSE"}).test("straße", true));
}

TEST(NameSearchOption, IsMatchesAnyString) {
  auto option = NameSearchOption::is({"a", "b"});
  EXPECT_TRUE(option.test("b", false));
  EXPECT_FALSE(option.test("ab", false));
}

TEST(NameSearchOption, LengthCountsUserPerceivedCharacters) {
  EXPECT_TRUE(NameSearchOption::length(3).test("abc", false));
  EXPECT_FALSE(NameSearchOption::length(4).test("abc", false));
  // Three characters, six code points (each e with a combining mark), nine bytes.
  EXPECT_FALSE(NameSearchOption::length(4).test("e\xCC\x81" "e\xCC\x81" "e\xCC\x81", false));
  EXPECT_TRUE(NameSearchOption::length(3).test("e\xCC\x81" "e\xCC\x81" "e\xCC\x81", false));
}

TEST(NameSearchOption, MatchesFindsTheExpressionAnywhere) {
  auto pattern = NamePattern::compile("[0-9]{4}");
  ASSERT_TRUE(pattern);
  auto option = NameSearchOption::matches(*pattern);
  EXPECT_TRUE(option.test("photo-2024.jpg", false));
  EXPECT_FALSE(option.test("photo.jpg", false));
}

TEST(NameSearchOption, RunawayExpressionCountsAsNoMatchInsteadOfHanging) {
  auto pattern = NamePattern::compile("(a+)+b");
  ASSERT_TRUE(pattern);
  EXPECT_FALSE(NameSearchOption::matches(*pattern).test(std::string(40, 'a'), false));
}

TEST(NameSearchOption, InvalidExpressionIsRefused) {
  EXPECT_FALSE(NamePattern::compile("(unclosed"));
  EXPECT_FALSE(NamePattern::compile("\xFF\xFE"));
}

TEST(NameSearchOption, EqualityComparesCasesListsOperatorsAndPatternIdentity) {
  EXPECT_EQ(NameSearchOption::contains({"a", "b"}, Op::orOp), NameSearchOption::contains({"a", "b"}, Op::orOp));
  EXPECT_NE(NameSearchOption::contains({"a", "b"}, Op::orOp), NameSearchOption::contains({"a", "b"}, Op::andOp));
  EXPECT_NE(NameSearchOption::contains({"a"}), NameSearchOption::startsWith({"a"}));
  auto one = NamePattern::compile("x");
  auto two = NamePattern::compile("x");
  ASSERT_TRUE(one && two);
  EXPECT_EQ(NameSearchOption::matches(*one), NameSearchOption::matches(*one));
  EXPECT_NE(NameSearchOption::matches(*one), NameSearchOption::matches(*two));
}

}  // namespace
}  // namespace ml::find
