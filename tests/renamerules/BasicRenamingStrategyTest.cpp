// The rule's steps on names: extension split, the five modifications, prefix and suffix, the
// length limit in user-perceived characters, case formats and the failures.
#include <gtest/gtest.h>

#include "rename/rules/BasicRenamingStrategy.h"

namespace ml::rename {
namespace {

std::string applied(const BasicRenamingStrategy& rule, std::string_view name) {
  auto result = rule.apply(name);
  EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().description());
  return result.ok() ? *result : std::string("<failed>");
}

BasicRenamingStrategy replacing(std::string text, std::string replacement, ReplacementMode mode = ReplacementMode::all,
                                MatchLocation location = MatchLocation::everywhere) {
  BasicRenamingStrategy rule;
  rule.name = NameModification::replace(std::move(text), std::move(replacement), mode, location);
  return rule;
}

TEST(BasicRenamingStrategy, DefaultRuleKeepsEveryName) {
  BasicRenamingStrategy rule;
  for (const char* name : {"README", "archive.tar.gz", ".profile", "file.", "Ünïcödé 名前.txt", ""}) {
    EXPECT_EQ(applied(rule, name), name);
  }
}

TEST(BasicRenamingStrategy, ExtensionIsTheTextAfterTheLastDotPastTheFirstCharacter) {
  auto rule = replacing(".+", "X");
  EXPECT_EQ(applied(rule, "archive.tar.gz"), "X.gz");
  EXPECT_EQ(applied(rule, ".profile"), "X");
  EXPECT_EQ(applied(rule, "README"), "X");
  // A trailing dot: base "file", empty extension, the dot kept.
  EXPECT_EQ(applied(rule, "file."), "X.");
  EXPECT_EQ(applied(rule, ".hidden.txt"), "X.txt");
}

TEST(BasicRenamingStrategy, WithoutPreservedExtensionsTheWholeNameIsTheBase) {
  auto rule = replacing("\\.", "-");
  rule.preserveExtensions = false;
  EXPECT_EQ(applied(rule, "archive.tar.gz"), "archive-tar-gz");
  rule.maxLength = 8;
  EXPECT_EQ(applied(rule, "photograph.jpeg"), "photogra");
}

TEST(BasicRenamingStrategy, ReplaceTextIsAPatternNotLiteralText) {
  auto rule = replacing(".", "-");
  rule.preserveExtensions = false;
  EXPECT_EQ(applied(rule, "a.b"), "---");
}

TEST(BasicRenamingStrategy, ReplaceTemplateRefersToCapturedGroups) {
  auto rule = replacing("(\\d+)-(\\d+)", "$2_$1");
  EXPECT_EQ(applied(rule, "img 12-34.png"), "img 34_12.png");
  auto escaped = replacing("a", "\\$1");
  EXPECT_EQ(applied(escaped, "cat"), "c$1t");
}

TEST(BasicRenamingStrategy, MatchLocationAnchorsThePattern) {
  EXPECT_EQ(applied(replacing("IMG", "X", ReplacementMode::all, MatchLocation::beginning), "IMG_IMG"), "X_IMG");
  EXPECT_EQ(applied(replacing("IMG", "X", ReplacementMode::all, MatchLocation::end), "IMG_IMG"), "IMG_X");
  // The end is the end of the base, before the preserved extension.
  EXPECT_EQ(applied(replacing("IMG", "X", ReplacementMode::all, MatchLocation::end), "IMG_IMG.jpg"), "IMG_X.jpg");
  EXPECT_EQ(applied(replacing("IMG", "X", ReplacementMode::all, MatchLocation::end), "IMG_IMGs"), "IMG_IMGs");
  EXPECT_EQ(applied(replacing("IMG", "X", ReplacementMode::all, MatchLocation::everywhere), "IMG_IMG"), "X_X");
}

TEST(BasicRenamingStrategy, FirstAndLastModesReplaceOneMatch) {
  EXPECT_EQ(applied(replacing("a", "b", ReplacementMode::last), "banana"), "bananb");
  EXPECT_EQ(applied(replacing("a", "b", ReplacementMode::first), "banana"), "bbnana");
  EXPECT_EQ(applied(replacing("a", "b", ReplacementMode::all), "banana"), "bbnbnb");
  EXPECT_EQ(applied(replacing("z", "b", ReplacementMode::last), "banana"), "banana");
  // The template of a last match sees that match's groups.
  EXPECT_EQ(applied(replacing("(\\d)", "<$1>", ReplacementMode::last), "a1b2c3"), "a1b2c<3>");
}

TEST(BasicRenamingStrategy, CaseSensitivityGovernsReplaceOnly) {
  auto rule = replacing("photo", "pic");
  EXPECT_EQ(applied(rule, "Photo photo"), "Photo pic");
  rule.caseSensitive = false;
  EXPECT_EQ(applied(rule, "Photo photo"), "pic pic");
  BasicRenamingStrategy deleting;
  deleting.name = NameModification::deleteCharacters({"a"});
  deleting.caseSensitive = false;
  EXPECT_EQ(applied(deleting, "AaA"), "AA");
}

TEST(BasicRenamingStrategy, RegexUsesTheExpressionsOwnOptions) {
  auto expression = RegularExpression::compile("(photo)", true);
  ASSERT_TRUE(expression.ok());
  BasicRenamingStrategy rule;
  rule.caseSensitive = true;  // not consulted
  rule.name = NameModification::regex(*expression, "[$1]", ReplacementMode::all);
  EXPECT_EQ(applied(rule, "PHOTO photo.jpg"), "[PHOTO] [photo].jpg");
}

TEST(BasicRenamingStrategy, ReplaceCharactersAppliesPairsInTurn) {
  BasicRenamingStrategy rule;
  rule.name = NameModification::replaceCharacters({"a", "b"}, {"b", "a"}, false);
  EXPECT_EQ(applied(rule, "ab"), "aa");
  // Extra characters in the longer list are ignored.
  rule.name = NameModification::replaceCharacters({"_", "-", "x"}, {" ", " "}, false);
  EXPECT_EQ(applied(rule, "a_b-c_x.txt"), "a b c x.txt");
}

TEST(BasicRenamingStrategy, ReplaceCharactersWorksOnWholeCharacters) {
  BasicRenamingStrategy rule;
  // "e" does not match inside "e + combining acute", and a flag (two code points) is one character.
  rule.name = NameModification::replaceCharacters({"e", "\U0001F1E9\U0001F1EA"}, {"3", "DE"}, false);
  EXPECT_EQ(applied(rule, "e\u0301te \U0001F1E9\U0001F1EA"), "e\u0301t3 DE");
}

TEST(BasicRenamingStrategy, DeleteCharactersComparesCanonically) {
  BasicRenamingStrategy rule;
  rule.name = NameModification::deleteCharacters({"\u00E9", " "});
  // Precomposed é in the list removes the decomposed form too; "A" stays (case-sensitive).
  EXPECT_EQ(applied(rule, "Ae\u0301 b \u00E9.txt"), "Ab.txt");
}

TEST(BasicRenamingStrategy, PrefixAndSuffixSurroundTheBase) {
  BasicRenamingStrategy rule;
  rule.prefix = "2024 ";
  rule.suffix = " (1)";
  EXPECT_EQ(applied(rule, "photo.jpeg"), "2024 photo (1).jpeg");
  EXPECT_EQ(applied(rule, "README"), "2024 README (1)");
}

TEST(BasicRenamingStrategy, MaxLengthKeepsRoomForTheExtension) {
  BasicRenamingStrategy rule;
  rule.maxLength = 10;
  EXPECT_EQ(applied(rule, "photograph.jpeg"), "photo.jpeg");
  EXPECT_EQ(applied(rule, "tiny.jpeg"), "tiny.jpeg");
  rule.maxLength = 8;
  // No room left by the extension: nothing is cut.
  EXPECT_EQ(applied(rule, "a.verylongext"), "a.verylongext");
  rule.prefix = "long-prefix-";
  rule.maxLength = 10;
  EXPECT_EQ(applied(rule, "x.jpeg"), "long-.jpeg");
}

TEST(BasicRenamingStrategy, MaxLengthCountsUserPerceivedCharacters) {
  BasicRenamingStrategy rule;
  rule.preserveExtensions = false;
  rule.maxLength = 3;
  EXPECT_EQ(applied(rule, "e\u0301\U0001F1E9\U0001F1EA\U0001F44D\U0001F3FDxyz"), "e\u0301\U0001F1E9\U0001F1EA\U0001F44D\U0001F3FD");
}

TEST(BasicRenamingStrategy, LimitBelowOneNeverEmptiesAName) {
  BasicRenamingStrategy rule;
  for (std::int64_t limit : {std::int64_t{0}, std::int64_t{-5}, INT64_MIN}) {
    rule.maxLength = limit;
    EXPECT_EQ(applied(rule, "README"), "README");
    EXPECT_EQ(applied(rule, "photo.jpeg"), "photo.jpeg");
  }
  rule.maxLength = INT64_MAX;
  EXPECT_EQ(applied(rule, "photo.jpeg"), "photo.jpeg");
}

TEST(BasicRenamingStrategy, CaseFormatCoversTheWholeName) {
  BasicRenamingStrategy rule;
  rule.caseFormat = CaseFormat::lower;
  rule.prefix = "A-";
  EXPECT_EQ(applied(rule, "Photo.JPG"), "a-photo.jpg");
  rule.prefix.reset();
  rule.caseFormat = CaseFormat::upper;
  EXPECT_EQ(applied(rule, "straße.txt"), "STRASSE.TXT");
  rule.caseFormat = CaseFormat::title;
  EXPECT_EQ(applied(rule, "the QUICK brown-fox.txt"), "The Quick Brown-Fox.Txt");
}

TEST(BasicRenamingStrategy, InvalidSearchPatternFailsForEveryName) {
  auto rule = replacing("(", "x");
  for (const char* name : {"a(b", "plain", ""}) {
    auto result = rule.apply(name);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().domain, "NSCocoaErrorDomain");
    EXPECT_EQ(result.error().code, 2048);
    EXPECT_EQ(result.error().message, "The value \u201C(\u201D is invalid.");
  }
}

TEST(BasicRenamingStrategy, NameThatIsNotUtf8FailsRatherThanLosingBytes) {
  BasicRenamingStrategy rule;
  for (std::string name : {std::string("caf\xE9.txt"), std::string("\xC0\xAF"), std::string("a\xED\xA0\x80"),
                           std::string("cut\xE2\x82")}) {
    auto result = rule.apply(name);
    EXPECT_FALSE(result.ok()) << name;
  }
}

TEST(BasicRenamingStrategy, RunawayPatternFailsInsteadOfHanging) {
  auto rule = replacing("(a+)+$", "x");
  rule.preserveExtensions = false;
  auto result = rule.apply(std::string(40, 'a') + "!");
  ASSERT_FALSE(result.ok());
  EXPECT_NE(result.error().message.find("took too long"), std::string::npos);
}

}  // namespace
}  // namespace ml::rename
