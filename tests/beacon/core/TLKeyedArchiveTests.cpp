#include <gtest/gtest.h>

#include "ModelFixtures.h"
#include "beacon/core/TLAbstractLog.h"
#include "beacon/core/TLArchiveClasses.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLLogWithProperties.h"
#include "platform/foundation/PropertyList.h"

namespace ml::beacon {
namespace {

using foundation::PlistValue;
using foundation::PropertyList;

std::vector<std::uint8_t> archiveOf(PlistValue top) {
  PlistValue::Dictionary root{{"$archiver", PlistValue("TLKeyedArchive")}, {"$version", PlistValue(1)}, {"$top", std::move(top)}};
  auto data = PropertyList::toBinary(PlistValue(std::move(root)));
  EXPECT_TRUE(data);
  return data ? *data : std::vector<std::uint8_t>{};
}

PlistValue object(std::string className, PlistValue::Dictionary fields = {}) {
  fields.emplace("$class", PlistValue(std::move(className)));
  return PlistValue(std::move(fields));
}

TEST(TLKeyedArchive, ArchiveKeysEqualJsonKeys) {
  TLLogWithProperties log;
  log.setType("event");
  log.setTimestamp(test::sampleDate());
  log.setSid("s");
  log.setUserId("u");
  log.setDistributionGroupId("g");
  log.setDevice(test::validDevice());
  log.properties = std::map<std::string, std::string>{{"k", "v"}};
  auto data = TLKeyedArchiver::archivedData(log);
  ASSERT_TRUE(data);
  auto plist = PropertyList::parse(*data);
  ASSERT_TRUE(plist);
  const PlistValue* top = plist->find("$top");
  ASSERT_TRUE(top);
  std::set<std::string> archiveKeys;
  for (const auto& [key, value] : *top->dictionary()) {
    if (key != "$class") archiveKeys.insert(key);
  }
  std::set<std::string> jsonKeys;
  TLJsonValue json = log.serializeToDictionary();
  for (const auto& item : json.items()) jsonKeys.insert(item.key());
  EXPECT_EQ(archiveKeys, jsonKeys);
  EXPECT_EQ(*top->find("$class")->string(), "TLLogWithProperties");
}

TEST(TLKeyedArchive, BaseLogAndLogWithPropertiesRoundTripEqual) {
  TLLogWithProperties log;
  log.setType("event");
  log.setTimestamp(test::sampleDate());
  log.setSid("s");
  log.setUserId("u");
  log.setDistributionGroupId("g");
  log.setDevice(test::fullDevice());
  log.properties = std::map<std::string, std::string>{};  // empty but present: archived as such
  log.addTransmissionTargetToken("not archived");
  auto data = TLKeyedArchiver::archivedData(log);
  ASSERT_TRUE(data);
  auto decoded = TLKeyedUnarchiver::unarchivedObjectOfClass<TLLogWithProperties>(*data);
  ASSERT_TRUE(decoded) << decoded.error();
  EXPECT_TRUE((*decoded)->isEqual(log));
  EXPECT_TRUE((*decoded)->properties && (*decoded)->properties->empty());
  EXPECT_FALSE((*decoded)->transmissionTargetTokens());

  TLAbstractLog base;
  base.setType("plain");
  base.setTimestamp(test::sampleDate());
  auto baseData = TLKeyedArchiver::archivedData(base);
  ASSERT_TRUE(baseData);
  auto baseDecoded = TLKeyedUnarchiver::unarchivedObjectOfClass<TLAbstractLog>(*baseData);
  ASSERT_TRUE(baseDecoded);
  EXPECT_EQ((*baseDecoded)->className(), "TLAbstractLog");
  EXPECT_TRUE((*baseDecoded)->isEqual(base));
}

TEST(TLKeyedArchive, AbsentFieldsStayAbsent) {
  TLAbstractLog log;
  auto data = TLKeyedArchiver::archivedData(log);
  ASSERT_TRUE(data);
  auto decoded = TLKeyedUnarchiver::unarchivedObjectOfClass<TLAbstractLog>(*data);
  ASSERT_TRUE(decoded);
  EXPECT_FALSE((*decoded)->type());
  EXPECT_FALSE((*decoded)->timestamp());
  EXPECT_FALSE((*decoded)->device());
}

TEST(TLKeyedArchive, UnknownClassesAreRefused) {
  auto result = TLKeyedUnarchiver::unarchivedObject(archiveOf(object("NSTask", {{"launchPath", PlistValue("/bin/sh")}})));
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().code, TLKeyedUnarchiver::kUnknownClassError);
  EXPECT_EQ(result.error().domain, TLKeyedUnarchiver::kErrorDomain);
  // Nested too: a log whose device names another class.
  auto nested = TLKeyedUnarchiver::unarchivedObject(
      archiveOf(object("TLAbstractLog", {{"device", object("Evil")}})));
  EXPECT_FALSE(nested);
}

TEST(TLKeyedArchive, ValueClassesCannotStandInForObjects) {
  EXPECT_FALSE(TLKeyedUnarchiver::unarchivedObject(archiveOf(object("$Null"))));
  EXPECT_FALSE(TLKeyedUnarchiver::unarchivedObject(archiveOf(PlistValue("TLDevice"))));
}

TEST(TLKeyedArchive, WrongKindsFailTheWholeDecoding) {
  auto wrongType = TLKeyedUnarchiver::unarchivedObject(archiveOf(object("TLAbstractLog", {{"type", PlistValue(5)}})));
  ASSERT_FALSE(wrongType);
  EXPECT_EQ(wrongType.error().code, TLKeyedUnarchiver::kCorruptArchiveError);
  EXPECT_FALSE(TLKeyedUnarchiver::unarchivedObject(archiveOf(object("TLAbstractLog", {{"timestamp", PlistValue("now")}}))));
  EXPECT_FALSE(TLKeyedUnarchiver::unarchivedObject(archiveOf(object("TLAbstractLog", {{"device", PlistValue(1)}}))));
  // A device slot holding a log: the right shape, the wrong class.
  EXPECT_FALSE(TLKeyedUnarchiver::unarchivedObject(archiveOf(object("TLAbstractLog", {{"device", object("TLAbstractLog")}}))));
  EXPECT_FALSE(TLKeyedUnarchiver::unarchivedObject(archiveOf(object(
      "TLLogWithProperties",
      {{"properties", object("$Dictionary", {{"keys", PlistValue(PlistValue::Array{PlistValue("k")})},
                                             {"values", PlistValue(PlistValue::Array{})}})}}))));
}

TEST(TLKeyedArchive, WrongRootClassIsRefusedByTypedDecoding) {
  auto data = TLKeyedArchiver::archivedData(*test::validDevice());
  ASSERT_TRUE(data);
  EXPECT_FALSE(TLKeyedUnarchiver::unarchivedObjectOfClass<TLAbstractLog>(*data));
}

TEST(TLKeyedArchive, NonArchivesAreRefused) {
  EXPECT_FALSE(TLKeyedUnarchiver::unarchivedObject(std::vector<std::uint8_t>{}));
  std::string garbage = "bplist00 garbage";
  EXPECT_FALSE(TLKeyedUnarchiver::unarchivedObject(std::span(reinterpret_cast<const std::uint8_t*>(garbage.data()), garbage.size())));
  auto otherPlist = PropertyList::toBinary(PlistValue(PlistValue::Dictionary{{"$top", object("TLDevice")}}));
  ASSERT_TRUE(otherPlist);
  EXPECT_FALSE(TLKeyedUnarchiver::unarchivedObject(*otherPlist));
}

struct TLTestEventLog : TLLogWithProperties {
  static constexpr std::string_view kClassName = "TLTestEventLog";
  std::string_view className() const override { return kClassName; }
};

TEST(TLKeyedArchive, ServicesCanListTheirOwnLogTypes) {
  TLTestEventLog log;
  log.setType("event");
  auto data = TLKeyedArchiver::archivedData(log);
  ASSERT_TRUE(data);
  EXPECT_FALSE(TLKeyedUnarchiver::unarchivedObject(*data));
  TLArchiveClasses::add<TLTestEventLog>();
  auto decoded = TLKeyedUnarchiver::unarchivedObjectOfClass<TLTestEventLog>(*data);
  ASSERT_TRUE(decoded);
  EXPECT_EQ((*decoded)->type(), "event");
}

}  // namespace
}  // namespace ml::beacon
