#include "platform/foundation/PropertyList.h"

#include <gtest/gtest.h>

#include "platform/foundation/Dates.h"

namespace ml::foundation {
namespace {

using namespace std::chrono;
using Format = PropertyList::Format;

PlistValue everyKind() {
  PlistValue::Dictionary nested{{"inner", PlistValue(PlistValue::Array{PlistValue("a"), PlistValue(2)})}};
  return PlistValue(PlistValue::Dictionary{
      {"string", PlistValue("Grüße, \"world\" <&>")},
      {"empty", PlistValue("")},
      {"integer", PlistValue(std::int64_t{1} << 40)},
      {"negative", PlistValue(-42)},
      {"real", PlistValue(3.25)},
      {"true", PlistValue(true)},
      {"false", PlistValue(false)},
      {"date", PlistValue(*Dates::parseIso8601("2026-12-07T08:00:00Z"))},  // XML dates hold whole seconds
      {"data", PlistValue(PlistValue::Data{0, 1, 2, 0xff})},
      {"array", PlistValue(PlistValue::Array{PlistValue(1), PlistValue("two"), PlistValue(PlistValue::Array{})})},
      {"dictionary", PlistValue(nested)},
  });
}

class PropertyListRoundTrip : public ::testing::TestWithParam<Format> {};

TEST_P(PropertyListRoundTrip, EveryKindSurvivesWritingAndReading) {
  auto bytes = PropertyList::serialize(everyKind(), GetParam());
  ASSERT_TRUE(bytes.ok()) << bytes.error();
  EXPECT_EQ(PropertyList::detectFormat(*bytes), GetParam());
  auto parsed = PropertyList::parse(*bytes);
  ASSERT_TRUE(parsed.ok()) << parsed.error();
  EXPECT_EQ(*parsed, everyKind());
}

INSTANTIATE_TEST_SUITE_P(Formats, PropertyListRoundTrip, ::testing::Values(Format::binary, Format::xml));

TEST(PropertyListTest, ReadsXmlWrittenByOtherTools) {
  const char* xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>startupAction</key><string>newList</string>
  <key>debugLogs</key><true/>
  <key>count</key><integer>-7</integer>
  <key>when</key><date>2026-12-07T08:00:00Z</date>
  <key>blob</key><data>AAEC</data>
  <key>find-name-history</key><array><string>a</string><string>b</string></array>
</dict>
</plist>)";
  auto parsed = PropertyList::parse(std::string_view(xml));
  ASSERT_TRUE(parsed.ok()) << parsed.error();
  EXPECT_EQ(*parsed->find("startupAction")->string(), "newList");
  EXPECT_EQ(parsed->find("debugLogs")->boolean(), true);
  EXPECT_EQ(parsed->find("count")->integer(), -7);
  EXPECT_EQ(parsed->find("when")->date(), Dates::parseIso8601("2026-12-07T08:00:00Z"));
  EXPECT_EQ(*parsed->find("blob")->data(), (PlistValue::Data{0, 1, 2}));
  EXPECT_EQ(parsed->find("find-name-history")->array()->size(), 2u);
}

TEST(PropertyListTest, GarbageEmptyAndTruncatedInputGiveReadErrors) {
  auto good = PropertyList::toBinary(everyKind());
  ASSERT_TRUE(good.ok());
  std::vector<std::vector<std::uint8_t>> inputs = {
      {},
      {'h', 'e', 'l', 'l', 'o'},
      {'b', 'p', 'l', 'i', 's', 't', '0', '0'},
      std::vector<std::uint8_t>(good->begin(), good->begin() + static_cast<long>(good->size() / 2)),
      std::vector<std::uint8_t>(good->begin(), good->end() - 1),
  };
  const std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><string>b";
  inputs.emplace_back(xml.begin(), xml.end());
  for (const auto& input : inputs) {
    auto parsed = PropertyList::parse(input);
    ASSERT_FALSE(parsed.ok()) << input.size();
    EXPECT_EQ(parsed.error().domain, "NSCocoaErrorDomain");
    EXPECT_EQ(parsed.error().code, 3840);
  }
}

TEST(PropertyListTest, DeepXmlNestingIsRefused) {
  std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
  for (int i = 0; i < 100000; ++i) xml += "<array>";
  for (int i = 0; i < 100000; ++i) xml += "</array>";
  xml += "</plist>";
  auto parsed = PropertyList::parse(std::string_view(xml));
  ASSERT_FALSE(parsed.ok());
  EXPECT_NE(parsed.error().message.find("nested too deeply"), std::string::npos);
}

TEST(PropertyListTest, ValuesTheFormatCannotHoldAreRefusedOnWrite) {
  auto withNul = PropertyList::toBinary(PlistValue(std::string("a\0b", 3)));
  ASSERT_FALSE(withNul.ok());
  EXPECT_EQ(withNul.error().code, 3852);
  auto farFuture = PropertyList::toXml(PlistValue(Dates::referenceDate() + hours(24 * 365 * 100)));
  EXPECT_FALSE(farFuture.ok());
  PlistValue deep = PlistValue(PlistValue::Array{});
  for (int i = 0; i < PropertyList::kMaxDepth + 1; ++i) deep = PlistValue(PlistValue::Array{deep});
  EXPECT_FALSE(PropertyList::toBinary(deep).ok());
}

TEST(PropertyListTest, DatesKeepMicrosecondsBeforeAndAfterTheReferenceDate) {
  std::vector<system_clock::time_point> dates = {
      Dates::referenceDate() + microseconds(1500001), Dates::referenceDate() - microseconds(2500),
      Dates::referenceDate() - microseconds(7654321), *Dates::parseIso8601("1970-01-01T00:00:00.000Z")};
  for (int ms = 0; ms < 1000; ++ms)
    dates.push_back(*Dates::parseIso8601("2026-12-07T08:00:00Z") + milliseconds(ms) + seconds(ms % 7));
  for (auto date : dates) {
    auto bytes = PropertyList::toBinary(PlistValue(date));
    ASSERT_TRUE(bytes.ok());
    auto parsed = PropertyList::parse(*bytes);
    ASSERT_TRUE(parsed.ok());
    ASSERT_EQ(parsed->date(), date) << Dates::iso8601(date);
  }
}

TEST(PropertyListTest, StringsThatAreNotUtf8ReadWithReplacementCharacters) {
  // A binary ASCII string object holding the bytes 'a', 0xB1, 'b'.
  std::vector<std::uint8_t> bytes = {'b', 'p', 'l', 'i', 's', 't', '0', '0', 0x53, 'a', 0xB1, 'b', 8};
  std::vector<std::uint8_t> trailer(32, 0);
  trailer[6] = 1, trailer[7] = 1, trailer[15] = 1, trailer[31] = 12;
  bytes.insert(bytes.end(), trailer.begin(), trailer.end());
  auto parsed = PropertyList::parse(bytes);
  ASSERT_TRUE(parsed.ok()) << parsed.error();
  EXPECT_EQ(*parsed->string(), "a\xEF\xBF\xBD" "b");
  auto written = PropertyList::toBinary(*parsed);
  ASSERT_TRUE(written.ok());
  EXPECT_EQ(*PropertyList::parse(*written), *parsed);
  EXPECT_EQ(PropertyList::toBinary(PlistValue(std::string("a\xB1"))).error().code, 3852);
  EXPECT_FALSE(PropertyList::toXml(PlistValue(PlistValue::Dictionary{{"\xC0\x80", PlistValue(1)}})).ok());
}

TEST(PropertyListTest, XmlWithNulCharactersIsRefused) {
  for (std::string body : {std::string("<string>a&#0;b</string>"), std::string("<string>&#x000;</string>"),
                           std::string("<string>&#xD800;</string>"), std::string("<string>&#99999999;</string>"),
                           std::string("<string>a\0b</string>", 20)}) {
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">" + body + "</plist>";
    EXPECT_FALSE(PropertyList::parse(std::string_view(xml)).ok()) << body;
  }
  std::string fine = "<?xml version=\"1.0\"?><plist version=\"1.0\"><string>&#65;&#x42;</string></plist>";
  auto parsed = PropertyList::parse(std::string_view(fine));
  ASSERT_TRUE(parsed.ok()) << parsed.error();
}

TEST(PlistValueTest, AccessorsAnswerOnlyForTheirKind) {
  PlistValue number(5);
  EXPECT_EQ(number.kind(), PlistValue::Kind::integer);
  EXPECT_EQ(number.integer(), 5);
  EXPECT_FALSE(number.real().has_value());
  EXPECT_EQ(number.string(), nullptr);
  EXPECT_EQ(number.find("x"), nullptr);
  EXPECT_EQ(PlistValue(true).kind(), PlistValue::Kind::boolean);
  EXPECT_EQ(PlistValue("text").kind(), PlistValue::Kind::string);
  EXPECT_NE(PlistValue(1), PlistValue(1.0));
  EXPECT_NE(PlistValue(1), PlistValue(true));
}

}  // namespace
}  // namespace ml::foundation
