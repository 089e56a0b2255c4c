#include <gtest/gtest.h>

#include <limits>

#include "ModelFixtures.h"
#include "beacon/core/TLCustomPropertiesLog.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLLog.h"
#include "beacon/core/TLStartServiceLog.h"
#include "beacon/core/TLTypedProperty.h"

namespace ml::beacon {
namespace {

using foundation::PlistValue;

template <class T>
std::shared_ptr<T> roundTrip(const T& object) {
  auto data = TLKeyedArchiver::archivedData(object);
  EXPECT_TRUE(data) << data.error();
  if (!data) return nullptr;
  auto decoded = TLKeyedUnarchiver::unarchivedObjectOfClass<T>(*data);
  EXPECT_TRUE(decoded) << decoded.error();
  return decoded ? *decoded : nullptr;
}

template <class T>
void stamp(T& log) {
  log.setTimestamp(test::sampleDate());
  log.setDevice(test::fullDevice());
  log.setSid("session");
  log.setUserId("c:user");
  log.setDistributionGroupId("group");
}

TEST(TLStartServiceLog, JsonHasTypeBaseKeysAndServicesInOrder) {
  TLStartServiceLog log;
  stamp(log);
  log.services = std::vector<std::string>{"Crashes", "Analytics"};
  TLJsonValue json = log.serializeToDictionary();
  EXPECT_EQ(json["type"], "startService");
  EXPECT_EQ(json["services"], TLJsonValue({"Crashes", "Analytics"}));
  EXPECT_EQ(json["sid"], "session");
  log.services.reset();
  EXPECT_FALSE(log.serializeToDictionary().contains("services"));
  EXPECT_NE(dynamic_cast<const TLNoAutoAssignSessionIdLog*>(&log), nullptr);
}

TEST(TLStartServiceLog, RoundTripsThroughTheArchive) {
  TLStartServiceLog log;
  stamp(log);
  log.services = std::vector<std::string>{"Crashes", "Analytics"};
  auto decoded = roundTrip(log);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->isEqual(log));
  EXPECT_EQ(decoded->timestamp(), log.timestamp());  // exact, to the nanosecond
}

TEST(TLCustomPropertiesLog, PropertiesGiveTheExactJson) {
  TLCustomPropertiesLog log;
  log.properties = std::map<std::string, TLPropertyValue>{
      {"a", TLPropertyValue::null()}, {"b", true}, {"c", 2.5}, {"d", "x"}, {"e", test::sampleDate()}, {"f", 7}};
  auto text = TLJson::dump(log.serializeToDictionary()["properties"], false);
  EXPECT_EQ(text, R"([{"type":"clear","name":"a"},{"type":"boolean","value":true,"name":"b"},)"
                  R"({"type":"number","value":2.5,"name":"c"},{"type":"string","value":"x","name":"d"},)"
                  R"({"type":"dateTime","value":"2026-12-07T08:00:00.123Z","name":"e"},)"
                  R"({"type":"number","value":7,"name":"f"}])");
}

TEST(TLCustomPropertiesLog, BooleanIsNotANumberAndNumbersAreNotBooleans) {
  EXPECT_EQ((*TLCustomPropertiesLog::serializeProperty(false))["type"], "boolean");
  EXPECT_EQ((*TLCustomPropertiesLog::serializeProperty(1))["type"], "number");
  EXPECT_EQ((*TLCustomPropertiesLog::serializeProperty(0.0))["type"], "number");
}

TEST(TLCustomPropertiesLog, NonFiniteNumbersHaveNoJsonForm) {
  EXPECT_FALSE(TLCustomPropertiesLog::serializeProperty(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(TLCustomPropertiesLog::serializeProperty(-std::numeric_limits<double>::infinity()));
  TLDoubleTypedProperty real;
  real.value = std::numeric_limits<double>::infinity();
  EXPECT_EQ(real.serializeToDictionary().dump(), R"({"type":"double"})");
}

TEST(TLCustomPropertiesLog, EmptyDictionaryIsInvalidWithEmptyArray) {
  TLCustomPropertiesLog log;
  stamp(log);
  log.properties = std::map<std::string, TLPropertyValue>{};
  EXPECT_FALSE(log.isValid());
  EXPECT_EQ(log.serializeToDictionary()["properties"], TLJsonValue::array());
  log.properties = std::map<std::string, TLPropertyValue>{{"a", "b"}};
  EXPECT_TRUE(log.isValid());
}

TEST(TLCustomPropertiesLog, UnsupportedKindsLeaveTheJsonButStayInTheArchive) {
  TLCustomPropertiesLog log;
  stamp(log);
  PlistValue::Dictionary nested{{"k", PlistValue("v")}, {"$class", PlistValue("TLDevice")}};
  log.properties = std::map<std::string, TLPropertyValue>{
      {"array", PlistValue(PlistValue::Array{PlistValue(1), PlistValue("two")})},
      {"data", PlistValue(PlistValue::Data{0, 1, 2})},
      {"dict", PlistValue(nested)},
      {"clear", TLPropertyValue::null()},
      {"nul", std::string("a\0b", 3)},
      {"latin1", "caf\xe9"},
      {std::string("key\0with nul", 12), "v"}};
  TLJsonValue json = log.serializeToDictionary();
  ASSERT_EQ(json["properties"].size(), 4u);  // clear, nul, latin1 and the NUL-named key
  auto decoded = roundTrip(log);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->isEqual(log));
  EXPECT_EQ(decoded->type(), "customProperties");
  EXPECT_EQ(decoded->properties, log.properties);
}

TEST(TLTypedProperty, EqualityIgnoresNameButNotTypeOrValue) {
  TLStringTypedProperty a, b;
  a.name = "one";
  b.name = "two";
  a.value = b.value = "x";
  EXPECT_TRUE(a.isEqual(b));
  b.value = "y";
  EXPECT_FALSE(a.isEqual(b));
  TLLongTypedProperty l;
  EXPECT_FALSE(l.isEqual(a));
}

TEST(TLTypedProperty, EachKindWritesItsTypeNameAndValue) {
  TLBooleanTypedProperty boolean;
  boolean.name = "flag";
  boolean.value = true;
  EXPECT_EQ(boolean.serializeToDictionary().dump(), R"({"type":"boolean","name":"flag","value":true})");
  TLLongTypedProperty number;
  number.name = "n";
  number.value = -1;
  EXPECT_EQ(number.serializeToDictionary().dump(), R"({"type":"long","name":"n","value":-1})");
  TLDoubleTypedProperty real;
  real.value = 0.5;
  EXPECT_EQ(real.serializeToDictionary().dump(), R"({"type":"double","value":0.5})");
  TLDateTimeTypedProperty date;
  EXPECT_EQ(date.serializeToDictionary().dump(), R"({"type":"dateTime"})");
  date.value = test::sampleDate();
  EXPECT_EQ(date.serializeToDictionary()["value"], "2026-12-07T08:00:00.123Z");
  TLStringTypedProperty text;
  EXPECT_EQ(text.serializeToDictionary().dump(), R"({"type":"string"})");
}

TEST(TLTypedProperty, EveryKindRoundTripsThroughTheArchive) {
  TLStringTypedProperty text;
  text.name = "s";
  text.value = "v";
  TLLongTypedProperty number;
  number.value = INT64_MIN;
  TLDoubleTypedProperty real;
  real.value = -0.25;
  TLBooleanTypedProperty boolean;
  boolean.value = true;
  TLDateTimeTypedProperty date;
  date.value = test::sampleDate();
  for (const TLTypedProperty* property : std::initializer_list<const TLTypedProperty*>{&text, &number, &real, &boolean, &date}) {
    auto data = TLKeyedArchiver::archivedData(*property);
    ASSERT_TRUE(data);
    auto decoded = TLKeyedUnarchiver::unarchivedObject(*data);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ((*decoded)->className(), property->className());
    EXPECT_TRUE((*decoded)->isEqual(*property)) << property->className();
  }
}

}  // namespace
}  // namespace ml::beacon
