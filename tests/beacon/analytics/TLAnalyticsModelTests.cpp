#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "LogCapture.h"
#include "ModelFixtures.h"
#include "beacon/analytics/Model/TLEventLog.h"
#include "beacon/analytics/Model/TLEventProperties.h"
#include "beacon/analytics/Model/TLPageLog.h"
#include "beacon/analytics/Model/TLStartSessionLog.h"
#include "beacon/analytics/TLAnalyticsLogClasses.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"

namespace ml::beacon::test {
namespace {

using ml::beacon::TLLogLevel;

template <class L>
std::shared_ptr<L> stamped() {
  auto log = std::make_shared<L>();
  log->setTimestamp(sampleDate());
  log->setDevice(validDevice());
  log->setSid("SESSION");
  return log;
}

std::shared_ptr<TLSerializableObject> roundTrip(const TLSerializableObject& object) {
  registerAnalyticsArchiveClasses();
  auto data = TLKeyedArchiver::archivedData(object);
  EXPECT_TRUE(data);
  if (!data) return nullptr;
  auto decoded = TLKeyedUnarchiver::unarchivedObject(*data);
  EXPECT_TRUE(decoded) << (decoded ? "" : decoded.error().message);
  return decoded ? *decoded : nullptr;
}

TEST(TLEventLogTest, SerialisesIdAndTypedPropertiesOnlyWhenSet) {
  auto log = stamped<TLEventLog>();
  log->name = "opened";
  auto json = log->serializeToDictionary();
  EXPECT_EQ(json["type"], "event");
  EXPECT_EQ(json["name"], "opened");
  EXPECT_FALSE(json.contains("id"));
  EXPECT_FALSE(json.contains("typedProperties"));

  log->eventId = "ID";
  log->typedProperties = std::make_shared<TLEventProperties>();
  json = log->serializeToDictionary();
  EXPECT_EQ(json["id"], "ID");
  ASSERT_TRUE(json["typedProperties"].is_array());
  EXPECT_TRUE(json["typedProperties"].empty());

  log->typedProperties->setInt64(3, "count").setString("x", "s");
  json = log->serializeToDictionary();
  ASSERT_EQ(json["typedProperties"].size(), 2u);
  EXPECT_EQ(json["typedProperties"][0]["name"], "count");
  EXPECT_EQ(json["typedProperties"][0]["type"], "long");
  EXPECT_EQ(json["typedProperties"][0]["value"], 3);
}

TEST(TLEventLogTest, ValidityNeedsNameAndEventId) {
  auto log = stamped<TLEventLog>();
  EXPECT_FALSE(log->isValid());
  log->name = "n";
  EXPECT_FALSE(log->isValid());
  log->eventId = "ID";
  EXPECT_TRUE(log->isValid());
}

TEST(TLEventLogTest, EqualityIgnoresTypedPropertiesButNotIdOrName) {
  auto a = stamped<TLEventLog>();
  auto b = stamped<TLEventLog>();
  a->name = b->name = "n";
  a->eventId = b->eventId = "ID";
  a->typedProperties = std::make_shared<TLEventProperties>();
  a->typedProperties->setBool(true, "flag");
  EXPECT_TRUE(a->isEqual(*b));
  b->eventId = "OTHER";
  EXPECT_FALSE(a->isEqual(*b));
  b->eventId = "ID";
  b->name = "m";
  EXPECT_FALSE(a->isEqual(*b));
  auto page = stamped<TLPageLog>();
  page->name = "n";
  EXPECT_FALSE(a->isEqual(*page));
  EXPECT_FALSE(page->isEqual(*a));
}

TEST(TLAnalyticsLogArchiveTest, EventPageAndStartSessionSurviveTheArchive) {
  auto event = stamped<TLEventLog>();
  event->name = "opened";
  event->eventId = "ID";
  event->properties = std::map<std::string, std::string>{{"k", "v"}};
  event->typedProperties = std::make_shared<TLEventProperties>();
  event->typedProperties->setDouble(1.5, "d").setDate(sampleDate(), "when").setString("s", "str").setBool(false, "b");
  auto decoded = roundTrip(*event);
  ASSERT_TRUE(decoded);
  auto decodedEvent = std::dynamic_pointer_cast<TLEventLog>(decoded);
  ASSERT_TRUE(decodedEvent);
  EXPECT_TRUE(decodedEvent->isEqual(*event));
  ASSERT_TRUE(decodedEvent->typedProperties);
  EXPECT_TRUE(decodedEvent->typedProperties->isEqual(*event->typedProperties));
  EXPECT_EQ(decodedEvent->serializeToDictionary(), event->serializeToDictionary());

  auto page = stamped<TLPageLog>();
  page->name = "Settings";
  auto decodedPage = roundTrip(*page);
  ASSERT_TRUE(decodedPage);
  EXPECT_TRUE(decodedPage->isEqual(*page));
  EXPECT_EQ(decodedPage->serializeToDictionary(), page->serializeToDictionary());

  auto start = stamped<TLStartSessionLog>();
  auto decodedStart = roundTrip(*start);
  ASSERT_TRUE(decodedStart);
  EXPECT_TRUE(decodedStart->isEqual(*start));
  EXPECT_EQ(decodedStart->serializeToDictionary()["type"], "startSession");
}

TEST(TLAnalyticsLogArchiveTest, BagWhoseEntryIsNotATypedPropertyIsRefused) {
  registerAnalyticsArchiveClasses();
  TLEventProperties bag;
  bag.setString("v", "k");
  auto data = TLKeyedArchiver::archivedData(bag);
  ASSERT_TRUE(data);
  // An archive whose bag entry is another model (a page log) must not decode.
  class Forged : public TLEventProperties {
   public:
    void encodeWithCoder(TLKeyedArchiver& coder) const override {
      TLPageLog page;
      coder.encodeObject("0", &page);
    }
  };
  auto forged = TLKeyedArchiver::archivedData(Forged());
  ASSERT_TRUE(forged);
  EXPECT_FALSE(TLKeyedUnarchiver::unarchivedObject(*forged));
}

TEST(TLEventPropertiesTest, RefusedValuesLeaveTheBagUnchanged) {
  ml::test::LogCapture capture;
  TLEventProperties bag;
  bag.setString("first", "key");
  bag.setString(std::nullopt, "key");
  bag.setString("x", std::nullopt);
  EXPECT_EQ(bag.count(), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::error, "Value cannot be null. Property will not be added."), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::error, "Key cannot be null. Property will not be added."), 1u);
  auto json = bag.serializeToArray();
  EXPECT_EQ(json[0]["value"], "first");
}

TEST(TLEventPropertiesTest, NonFiniteDoublesAreRefusedAndTheLargestFiniteIsKept) {
  ml::test::LogCapture capture;
  TLEventProperties bag;
  bag.setDouble(std::nan(""), "a").setDouble(INFINITY, "b").setDouble(-INFINITY, "c");
  EXPECT_TRUE(bag.isEmpty());
  EXPECT_EQ(capture.count(TLLogLevel::error, "Double value for property 'a' must be finite"), 1u);
  bag.setDouble(std::numeric_limits<double>::max(), "max");
  EXPECT_EQ(bag.count(), 1u);
}

TEST(TLEventPropertiesTest, MergeReplacesSameNamedEntriesAndEqualityComparesValues) {
  TLEventProperties a;
  a.setString("1", "x").setInt64(1, "y");
  TLEventProperties b;
  b.setInt64(2, "y");
  a.mergeEventProperties(b);
  TLEventProperties expected;
  expected.setString("1", "x").setInt64(2, "y");
  EXPECT_TRUE(a.isEqual(expected));
  expected.setInt64(3, "y");
  EXPECT_FALSE(a.isEqual(expected));
}

// --- Common-schema trees

TEST(TLEventLogCommonSchemaTest, DottedNamesNestAndTypedValuesGetMetadata) {
  TLEventLog log;
  log.typedProperties = std::make_shared<TLEventProperties>();
  log.typedProperties->setInt64(4, "a.b.c").setDouble(1.5, "x").setString("s", "str").setBool(true, "flag");
  auto trees = log.commonSchemaTrees();
  EXPECT_EQ(trees.properties["a"]["b"]["c"], 4);
  EXPECT_EQ(trees.properties["x"], 1.5);
  EXPECT_EQ(trees.properties["str"], "s");
  EXPECT_EQ(trees.properties["flag"], true);
  EXPECT_EQ(trees.metadata["f"]["a"]["f"]["b"]["f"]["c"], 4);
  EXPECT_EQ(trees.metadata["f"]["x"], 6);
  EXPECT_FALSE(trees.metadata["f"].contains("str"));
  EXPECT_FALSE(trees.metadata["f"].contains("flag"));
}

TEST(TLEventLogCommonSchemaTest, FirstPropertyOnAPathWinsAndTheLoserLeavesNoMetadata) {
  ml::test::LogCapture capture;
  TLEventLog log;
  log.typedProperties = std::make_shared<TLEventProperties>();
  // "a" is placed before "a.b" (name order): the long cannot sit below a string leaf.
  log.typedProperties->setString("leaf", "a").setInt64(1, "a.b");
  auto trees = log.commonSchemaTrees();
  EXPECT_EQ(trees.properties["a"], "leaf");
  EXPECT_TRUE(trees.metadata.empty());
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Property key 'b' already has a value, choosing one."), 1u);
}

TEST(TLEventLogCommonSchemaTest, BaseTypeAndBaseDataMustComeTogether) {
  ml::test::LogCapture capture;
  TLEventLog both;
  both.typedProperties = std::make_shared<TLEventProperties>();
  both.typedProperties->setString("T", "baseType").setString("v", "baseData.x");
  auto trees = both.commonSchemaTrees();
  EXPECT_EQ(trees.properties["baseType"], "T");
  EXPECT_EQ(trees.properties["baseData"]["x"], "v");

  TLEventLog typeAlone;
  typeAlone.typedProperties = std::make_shared<TLEventProperties>();
  typeAlone.typedProperties->setString("T", "baseType");
  typeAlone.commonSchemaTrees();
  EXPECT_FALSE(typeAlone.typedProperties->contains("baseType"));
  EXPECT_EQ(capture.count(TLLogLevel::warning, "baseType was set but baseData is missing."), 1u);

  TLEventLog dataAlone;
  dataAlone.typedProperties = std::make_shared<TLEventProperties>();
  dataAlone.typedProperties->setString("v", "baseData.x").setInt64(1, "baseType");
  dataAlone.commonSchemaTrees();
  EXPECT_TRUE(dataAlone.typedProperties->isEmpty());
  EXPECT_EQ(capture.count(TLLogLevel::warning, "baseData was set but baseType is missing or invalid."), 1u);

  TLEventLog objects;
  objects.typedProperties = std::make_shared<TLEventProperties>();
  objects.typedProperties->setString("T", "baseType").setString("v", "baseData.x").setString("o", "baseType.x").setString(
      "d", "baseData");
  trees = objects.commonSchemaTrees();
  EXPECT_EQ(trees.properties["baseType"], "T");
  EXPECT_EQ(trees.properties["baseData"], TLJsonValue({{"x", "v"}}));
  EXPECT_EQ(capture.count(TLLogLevel::warning, "baseType must not be an object."), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::warning, "baseData must be an object."), 1u);
}

}  // namespace
}  // namespace ml::beacon::test

#include "beacon/core/CommonSchema/TLCSData.h"
#include "beacon/core/CommonSchema/TLCSExtensions.h"
#include "beacon/core/CommonSchema/TLCommonSchemaLog.h"
#include "beacon/core/CommonSchema/TLMetadataExtension.h"

namespace ml::beacon::test {
namespace {

TEST(TLEventLogCommonSchemaTest, ConversionCarriesNameDataMetadataAndTag) {
  auto event = stamped<TLEventLog>();
  event->name = "opened";
  event->eventId = "ID";
  auto tag = std::make_shared<int>(1);
  event->setTag(tag);
  event->typedProperties = std::make_shared<TLEventProperties>();
  event->typedProperties->setInt64(2, "n").setString("v", "s");
  auto log = event->toCommonSchemaLogForTargetToken("key-token", 1);
  ASSERT_TRUE(log);
  EXPECT_EQ(log->name, "opened");
  ASSERT_TRUE(log->data && log->data->properties);
  EXPECT_EQ((*log->data->properties)["n"], 2);
  EXPECT_EQ((*log->data->properties)["s"], "v");
  ASSERT_TRUE(log->ext && log->ext->metadataExt && log->ext->metadataExt->metadata);
  EXPECT_EQ((*log->ext->metadataExt->metadata)["f"]["n"], 4);
  EXPECT_EQ(log->tag(), tag);

  auto bare = stamped<TLEventLog>();
  bare->name = "bare";
  auto plain = bare->toCommonSchemaLogForTargetToken("key-token", 1);
  ASSERT_TRUE(plain);
  EXPECT_FALSE(plain->data);
}

}  // namespace
}  // namespace ml::beacon::test
