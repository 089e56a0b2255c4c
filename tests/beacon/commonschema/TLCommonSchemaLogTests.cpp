#include <gtest/gtest.h>

#include "ModelFixtures.h"
#include "beacon/core/CommonSchema/TLCommonSchemaArchiveClasses.h"
#include "beacon/core/CommonSchema/TLCommonSchemaConversion.h"
#include "beacon/core/CommonSchema/TLOrderedDictionary.h"
#include "beacon/core/CommonSchema/TLTicketCache.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLLogContainer.h"

namespace ml::beacon {
namespace {

std::vector<std::string> keysOf(const TLJsonValue& json) {
  std::vector<std::string> keys;
  for (const auto& item : json.items()) keys.push_back(item.key());
  return keys;
}

// A common-schema log with every field and every extension set.
std::shared_ptr<TLCommonSchemaLog> fullLog() {
  auto source = std::make_shared<TLAbstractLog>();
  source->setType("event");
  source->setTimestamp(test::sampleDate());
  source->setDevice(test::fullDevice());
  source->setUserId("c:bob");
  auto log = TLCommonSchemaConversion::commonSchemaLogForTargetToken(*source, "key-rest", 0x102);
  log->name = "page.view";
  log->popSample = 12.5;
  log->cV = "vector.1";
  log->ext->metadataExt = std::make_shared<TLMetadataExtension>();
  log->ext->metadataExt->metadata = TLJsonValue{{"f", {{"n", 4}}}};
  log->ext->protocolExt->ticketKeys = std::vector<std::string>{"t1", "t2"};
  log->ext->deviceExt->localId = "device";
  log->ext->appExt->userId = "user";
  log->ext->appExt->name = "app";
  log->ext->sdkExt->epoch = "epoch";
  log->ext->sdkExt->seq = 7;
  log->ext->sdkExt->installId = foundation::Uuid::random();
  log->data = std::make_shared<TLCSData>();
  log->data->properties = TLJsonValue{{"a", 1.5}, {"nested", {{"b", {true, nullptr, "x/y"}}}}};
  return log;
}

TEST(TLCommonSchemaLog, EnvelopeKeysComeInTheirFixedOrder) {
  auto log = fullLog();
  EXPECT_EQ(keysOf(log->serializeToDictionary()),
            (std::vector<std::string>{"ver", "name", "time", "iKey", "flags", "ext", "data"}));
  EXPECT_EQ(log->serializeToDictionary()["flags"], 0x102);
  EXPECT_TRUE(log->isValid());
}

TEST(TLCommonSchemaLog, WritesNoneOfTheBaseLogsKeys) {
  auto log = fullLog();
  log->setType("event");
  log->setSid("session");
  TLJsonValue json = log->serializeToDictionary();
  for (const char* key : {"type", "timestamp", "sid", "device", "userId"}) EXPECT_FALSE(json.contains(key)) << key;
}

TEST(TLCommonSchemaLog, EmptyExtensionsStillWriteAnEmptyExtObject) {
  TLCommonSchemaLog log;
  log.ver = "3.0";
  log.ext = std::make_shared<TLCSExtensions>();
  log.ext->userExt = std::make_shared<TLUserExtension>();
  log.ext->metadataExt = std::make_shared<TLMetadataExtension>();
  EXPECT_EQ(log.serializeToDictionary()["ext"], TLJsonValue::object());
  // Present but empty metadata is written as an empty object.
  log.ext->metadataExt->metadata = TLJsonValue::object();
  EXPECT_EQ(log.serializeToDictionary()["ext"], (TLJsonValue{{"metadata", TLJsonValue::object()}}));
}

TEST(TLCommonSchemaLog, ValidityNeedsTimeVersionAndName) {
  auto log = fullLog();
  log->name.reset();
  EXPECT_FALSE(log->isValid());
  log = fullLog();
  log->setTimestamp(std::nullopt);
  EXPECT_FALSE(log->isValid());
  log = fullLog();
  log->setDevice(nullptr);
  log->setType(std::nullopt);
  EXPECT_TRUE(log->isValid());
}

TEST(TLCommonSchemaLog, DataPartPutsBaseTypeAndBaseDataFirst) {
  TLCSData data;
  data.properties = TLJsonValue{{"z", 1}, {"baseData", {{"k", "v"}}}, {"a", 2}, {"baseType", "T"}};
  EXPECT_EQ(keysOf(data.serializeToDictionary()), (std::vector<std::string>{"baseType", "baseData", "z", "a"}));
  data.properties.reset();
  EXPECT_TRUE(data.serializeToDictionary().is_null());
}

TEST(TLCommonSchemaLog, JsonLineKeepsSlashesAndUsesCompactForm) {
  auto log = fullLog();
  auto line = log->serializeLogWithPrettyPrinting(false);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->find('\n'), std::string::npos);
  EXPECT_NE(line->find("\"x/y\""), std::string::npos);
}

TEST(TLCommonSchemaLog, ArchiveRoundTripKeepsEveryField) {
  registerCommonSchemaArchiveClasses();
  auto log = fullLog();
  auto bytes = TLKeyedArchiver::archivedData(*log);
  ASSERT_TRUE(bytes) << bytes.error();
  auto decoded = TLKeyedUnarchiver::unarchivedObjectOfClass<TLCommonSchemaLog>(*bytes);
  ASSERT_TRUE(decoded) << decoded.error();
  EXPECT_TRUE((*decoded)->isEqual(*log));
  EXPECT_EQ((*decoded)->serializeToDictionary(), log->serializeToDictionary());
  EXPECT_EQ((*decoded)->popSample, 12.5);
  EXPECT_EQ((*decoded)->cV, "vector.1");
}

TEST(TLCommonSchemaLog, EqualityComparesEveryField) {
  auto a = fullLog();
  auto b = std::make_shared<TLCommonSchemaLog>(*a);
  EXPECT_TRUE(a->isEqual(*b));
  b->cV = "other";
  EXPECT_FALSE(a->isEqual(*b));
  b = std::make_shared<TLCommonSchemaLog>(*a);
  b->ext = std::make_shared<TLCSExtensions>(*a->ext);
  b->ext->sdkExt = std::make_shared<TLSDKExtension>(*a->ext->sdkExt);
  b->ext->sdkExt->seq = 8;
  EXPECT_FALSE(a->isEqual(*b));
}

TEST(TLCommonSchemaLog, ArchiveWithMalformedDataPartIsRefused) {
  registerCommonSchemaArchiveClasses();
  TLCSData data;
  data.properties = TLJsonValue{{"a", 1}};
  auto bytes = TLKeyedArchiver::archivedData(data);
  ASSERT_TRUE(bytes);
  // Replace the JSON text by one that is not an object: same length keeps the archive intact.
  std::string text(bytes->begin(), bytes->end());
  auto at = text.find("{\"a\":1}");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 7, "[1,2,3]");
  std::vector<std::uint8_t> tampered(text.begin(), text.end());
  EXPECT_FALSE(TLKeyedUnarchiver::unarchivedObjectOfClass<TLCSData>(tampered));
}

TEST(TLOrderedDictionary, SettingAKeyAgainKeepsItsPlace) {
  TLOrderedDictionary dictionary;
  dictionary.setObject("1", "first");
  dictionary.setObject("2", "second");
  dictionary.setObject("changed", "first");
  EXPECT_EQ(dictionary.keys(), (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(*dictionary.objectForKey("first"), "changed");
  EXPECT_EQ(dictionary.count(), 2u);
  EXPECT_EQ(keysOf(dictionary.toJson()), (std::vector<std::string>{"first", "second"}));
  dictionary.removeAllObjects();
  EXPECT_EQ(dictionary.count(), 0u);
  EXPECT_EQ(dictionary.objectForKey("first"), nullptr);
}

TEST(TLOrderedDictionary, EqualityNeedsTheSameOrder) {
  TLOrderedDictionary a;
  a.setObject(1, "x");
  a.setObject(2, "y");
  TLOrderedDictionary b;
  b.setObject(2, "y");
  b.setObject(1, "x");
  EXPECT_FALSE(a.isEqualToDictionary(b));
  TLOrderedDictionary copy = a;
  EXPECT_TRUE(a.isEqualToDictionary(copy));
  copy.setObject(3, "x");
  EXPECT_FALSE(a.isEqualToDictionary(copy));
}

TEST(TLTicketCache, StoresRemovesAndClearsTickets) {
  auto& cache = TLTicketCache::sharedInstance();
  cache.setTicket("d:ticket", "key1");
  EXPECT_EQ(cache.ticketFor("key1"), "d:ticket");
  cache.setTicket(std::nullopt, "key1");
  EXPECT_FALSE(cache.ticketFor("key1"));
  cache.setTicket("x", "key2");
  cache.clearCache();
  EXPECT_FALSE(cache.ticketFor("key2"));
}

}  // namespace
}  // namespace ml::beacon
