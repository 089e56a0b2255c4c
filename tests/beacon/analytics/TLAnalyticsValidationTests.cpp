#include <gtest/gtest.h>

#include "LogCapture.h"
#include "beacon/analytics/Model/TLEventLog.h"
#include "beacon/analytics/Model/TLPageLog.h"
#include "beacon/analytics/TLAnalyticsValidation.h"

namespace ml::beacon::test {
namespace {

using ml::beacon::TLLogLevel;
using V = TLAnalyticsValidation;

TEST(TLAnalyticsValidationTest, EmptyOrMissingNameIsRefusedWithTheLogType) {
  ml::test::LogCapture capture;
  EXPECT_FALSE(V::validateEventName(std::nullopt, "event"));
  EXPECT_FALSE(V::validateEventName("", "page"));
  EXPECT_EQ(capture.count(TLLogLevel::error, "event name cannot be null or empty"), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::error, "page name cannot be null or empty"), 1u);
}

TEST(TLAnalyticsValidationTest, NameIsCutTo256CodePoints) {
  ml::test::LogCapture capture;
  EXPECT_EQ(V::validateEventName(std::string(256, 'a'), "event"), std::string(256, 'a'));
  EXPECT_EQ(capture.lines().size(), 0u);
  EXPECT_EQ(V::validateEventName(std::string(300, 'a'), "event"), std::string(256, 'a'));
  EXPECT_EQ(capture.count(TLLogLevel::warning, "name length cannot be longer than 256 characters."), 1u);
  // Multi-byte characters count once and are never split.
  std::string accented;
  for (int i = 0; i < 257; ++i) accented += "\xC3\xA9";
  auto cut = V::validateEventName(accented, "event");
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->size(), 512u);
}

TEST(TLAnalyticsValidationTest, ValidateLogCutsTheNameAndChecksStringProperties) {
  TLPageLog page;
  page.name = std::string(300, 'p');
  page.properties = std::map<std::string, std::string>{{"", "dropped"}, {"k", std::string(130, 'v')}};
  ASSERT_TRUE(V::validateLog(page));
  EXPECT_EQ(page.name->size(), 256u);
  ASSERT_TRUE(page.properties);
  EXPECT_EQ(page.properties->size(), 1u);
  EXPECT_EQ(page.properties->at("k").size(), 125u);
  TLEventLog unnamed;
  EXPECT_FALSE(V::validateLog(unnamed));
}

TEST(TLAnalyticsValidationTest, TypedNamesAndStringValuesAreCutAt125) {
  ml::test::LogCapture capture;
  EXPECT_EQ(V::validateBeaconPropertyName(std::string(125, 'k')).size(), 125u);
  EXPECT_EQ(V::validateBeaconStringTypedPropertyValue(std::string(125, 'v')).size(), 125u);
  EXPECT_TRUE(capture.lines().empty());
  EXPECT_EQ(V::validateBeaconPropertyName(std::string(126, 'k')).size(), 125u);
  EXPECT_EQ(V::validateBeaconStringTypedPropertyValue(std::string(126, 'v')).size(), 125u);
  EXPECT_EQ(capture.count(TLLogLevel::warning, "': key length cannot exceed 125 characters."), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Typed property value length cannot exceed 125 characters."), 1u);
}

TEST(TLAnalyticsValidationTest, ValidatedBagKeepsTwentyCopiesAndLeavesTheOriginalAlone) {
  ml::test::LogCapture capture;
  TLEventProperties given;
  for (int i = 0; i < 21; ++i) given.setString(std::string(130, 'v'), "k" + std::string(i < 10 ? "0" : "") + std::to_string(i));
  auto validated = V::validateBeaconEventProperties(&given);
  EXPECT_EQ(validated->count(), 20u);
  EXPECT_FALSE(validated->contains("k20"));
  EXPECT_EQ(validated->serializeToArray()[0]["value"].get<std::string>().size(), 125u);
  EXPECT_EQ(given.serializeToArray()[0]["value"].get<std::string>().size(), 130u);
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Typed properties cannot contain more than 20 items."), 1u);

  capture.clear();
  TLEventProperties twenty;
  for (int i = 0; i < 20; ++i) twenty.setInt64(i, "n" + std::to_string(i));
  EXPECT_EQ(V::validateBeaconEventProperties(&twenty)->count(), 20u);
  EXPECT_EQ(capture.count(TLLogLevel::warning, "cannot contain more than"), 0u);
  EXPECT_TRUE(V::validateBeaconEventProperties(nullptr)->isEmpty());
}

TEST(TLAnalyticsValidationTest, LongPropertyNamesMeetUnderTheirCutName) {
  TLEventProperties given;
  given.setInt64(1, std::string(130, 'k') + "a").setInt64(2, std::string(130, 'k') + "b");
  auto validated = V::validateBeaconEventProperties(&given);
  ASSERT_EQ(validated->count(), 1u);
  EXPECT_EQ(validated->serializeToArray()[0]["value"], 2);
}

}  // namespace
}  // namespace ml::beacon::test
