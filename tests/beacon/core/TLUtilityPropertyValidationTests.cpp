#include <gtest/gtest.h>

#include "LogCapture.h"
#include "beacon/core/TLUtility.h"
#include "beacon/core/Utf8.h"

namespace ml::beacon {
namespace {

TLStringProperties numbered(int count) {
  TLStringProperties properties;
  for (int i = 0; i < count; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "k%02d", i);
    properties[key] = "v";
  }
  return properties;
}

TEST(TLPropertyValidation, MoreThanTwentyAreCutToTwentyWithOneWarning) {
  test::LogCapture capture;
  auto result = TLUtility::validateProperties(numbered(25), "myEvent", "Event");
  EXPECT_EQ(result.size(), 20u);
  EXPECT_TRUE(result.count("k19"));
  EXPECT_FALSE(result.count("k20"));
  ASSERT_EQ(capture.lines().size(), 1u);
  EXPECT_EQ(capture.lines()[0].message,
            "Event 'myEvent' : properties cannot contain more than 20 items. Skipping other properties.");
  EXPECT_EQ(capture.lines()[0].level, TLLogLevel::warning);
}

TEST(TLPropertyValidation, ExactlyTwentyPassWithoutWarning) {
  test::LogCapture capture;
  EXPECT_EQ(TLUtility::validateProperties(numbered(20), "e", "Event").size(), 20u);
  EXPECT_TRUE(capture.lines().empty());
}

TEST(TLPropertyValidation, EmptyKeyIsSkippedWithWarningAndDoesNotCount) {
  test::LogCapture capture;
  auto properties = numbered(20);
  properties[""] = "v";
  auto result = TLUtility::validateProperties(properties, "e", "Event");
  EXPECT_EQ(result.size(), 20u);
  EXPECT_FALSE(result.count(""));
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Event 'e' : a property key cannot be null or empty. Property will be skipped."), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::warning, "cannot contain more than"), 0u);
}

TEST(TLPropertyValidation, LongKeyIsCutTo125AndValueKept) {
  test::LogCapture capture;
  std::string key(126, 'k');
  auto result = TLUtility::validateProperties({{key, "value"}}, "e", "Event");
  ASSERT_EQ(result.size(), 1u);
  EXPECT_EQ(result.begin()->first, std::string(125, 'k'));
  EXPECT_EQ(result.begin()->second, "value");
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Event 'e' : property " + key +
                                                   " : property key length cannot be longer than 125 characters. "
                                                   "Property key will be truncated."),
            1u);
}

TEST(TLPropertyValidation, ValueOf125IsWholeAndLongerIsCut) {
  test::LogCapture capture;
  auto result = TLUtility::validateProperties({{"a", std::string(125, 'v')}, {"b", std::string(200, 'v')}}, "e", "Event");
  EXPECT_EQ(result["a"].size(), 125u);
  EXPECT_EQ(result["b"].size(), 125u);
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Event 'e' : property 'b' : property value cannot be longer than 125 "
                                               "characters. Property value will be truncated."),
            1u);
  EXPECT_EQ(capture.lines().size(), 1u);
}

TEST(TLPropertyValidation, MultiByteTextIsCountedInCharactersAndNeverSplit) {
  test::LogCapture capture;
  std::string emoji = "\xf0\x9f\x98\x80";
  std::string accented;  // 125 two-byte characters: long in bytes, not in characters
  for (int i = 0; i < 125; ++i) accented += "\xc3\xa9";
  std::string longValue = "a";
  for (int i = 0; i < 130; ++i) longValue += emoji;
  auto result = TLUtility::validateProperties({{"accented", accented}, {"emoji", longValue}}, "e", "Event");
  EXPECT_EQ(result["accented"], accented);
  const std::string& cut = result["emoji"];
  EXPECT_EQ(utf8::codePointCount(cut), 125u);
  EXPECT_TRUE(utf8::isValid(cut));
  EXPECT_EQ(cut.size(), 1u + 124u * 4u);
  EXPECT_EQ(capture.lines().size(), 1u);
}

TEST(TLPropertyValidation, KeysThatCollideAfterCuttingKeepTheLaterValue) {
  std::string base(125, 'k');
  auto result = TLUtility::validateProperties({{base + "a", "1"}, {base + "b", "2"}}, "e", "Event");
  ASSERT_EQ(result.size(), 1u);
  EXPECT_EQ(result[base], "2");
}

}  // namespace
}  // namespace ml::beacon
