#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "ModelFixtures.h"
#include "beacon/core/TLAbstractLog.h"
#include "beacon/core/TLLogContainer.h"
#include "beacon/core/TLLogWithProperties.h"

namespace ml::beacon {
namespace {

std::shared_ptr<TLAbstractLog> validLog() {
  auto log = std::make_shared<TLAbstractLog>();
  log->setType("event");
  log->setTimestamp(test::sampleDate());
  log->setDevice(test::validDevice());
  return log;
}

// Sets TZ and the locale variables for one test and restores them afterwards.
class ForeignEnvironment {
 public:
  ForeignEnvironment() {
    for (const char* name : {"TZ", "LANG", "LC_ALL"}) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    setenv("TZ", "Pacific/Kiritimati", 1);  // UTC+14: every field of the date would differ
    setenv("LANG", "ar_SA.UTF-8", 1);
    setenv("LC_ALL", "ar_SA.UTF-8", 1);
    tzset();
    std::setlocale(LC_ALL, "");
  }
  ~ForeignEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
    tzset();
    std::setlocale(LC_ALL, "C");
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(TLAbstractLog, JsonHasOnlyPresentFieldsAndUtcMillisecondTimestamp) {
  auto log = validLog();
  TLJsonValue json = log->serializeToDictionary();
  std::vector<std::string> keys;
  for (const auto& item : json.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"type", "timestamp", "device"}));
  EXPECT_EQ(json["timestamp"], "2026-12-07T08:00:00.123Z");
}

TEST(TLAbstractLog, TimestampIsUtcWhateverTimeZoneAndLanguage) {
  ForeignEnvironment environment;
  auto log = validLog();
  EXPECT_EQ(log->serializeToDictionary()["timestamp"], "2026-12-07T08:00:00.123Z");
  auto text = log->serializeLogWithPrettyPrinting(false);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find(R"("timestamp":"2026-12-07T08:00:00.123Z")"), std::string::npos);
}

TEST(TLAbstractLog, LogWithoutDeviceIsInvalidAndWritesNoDeviceKey) {
  auto log = validLog();
  log->setDevice(nullptr);
  EXPECT_FALSE(log->isValid());
  EXPECT_FALSE(log->serializeToDictionary().contains("device"));
}

TEST(TLAbstractLog, LogWithInvalidDeviceIsInvalid) {
  auto device = test::validDevice();
  device->timeZoneOffset.reset();
  auto log = validLog();
  log->setDevice(device);
  EXPECT_FALSE(log->isValid());
  log->setDevice(test::validDevice());
  EXPECT_TRUE(log->isValid());
  log->setType(std::nullopt);
  EXPECT_FALSE(log->isValid());
}

TEST(TLAbstractLog, TokensAreASetAndTakeNoPartInEquality) {
  auto a = validLog();
  auto b = validLog();
  EXPECT_FALSE(a->transmissionTargetTokens());
  a->addTransmissionTargetToken("t1");
  a->addTransmissionTargetToken("t1");
  EXPECT_EQ(a->transmissionTargetTokens()->size(), 1u);
  EXPECT_TRUE(a->isEqual(*b));
}

TEST(TLAbstractLog, DifferentTagsMakeLogsUnequal) {
  auto a = validLog();
  auto b = validLog();
  a->setTag(std::make_shared<int>(1));
  EXPECT_FALSE(a->isEqual(*b));
  b->setTag(a->tag());
  EXPECT_TRUE(a->isEqual(*b));
}

TEST(TLAbstractLog, TokensAddedFromManyThreadsAreAllKept) {
  auto log = validLog();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) log->addTransmissionTargetToken(std::to_string(t * 100 + i));
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(log->transmissionTargetTokens()->size(), 400u);
}

TEST(TLLogWithProperties, EmptyPropertiesWriteNoKeyButCompare) {
  TLLogWithProperties log;
  log.properties = std::map<std::string, std::string>{};
  EXPECT_FALSE(log.serializeToDictionary().contains("properties"));
  TLLogWithProperties other;
  EXPECT_FALSE(log.isEqual(other));  // present-but-empty differs from absent
  log.properties = std::map<std::string, std::string>{{"k", "v"}};
  EXPECT_EQ(log.serializeToDictionary()["properties"], TLJsonValue({{"k", "v"}}));
}

TEST(TLLogContainer, EmptyBatchOrOneInvalidLogIsInvalid) {
  TLLogContainer container("batch", {});
  EXPECT_FALSE(container.isValid());
  container.logs = {validLog(), validLog()};
  EXPECT_TRUE(container.isValid());
  auto invalid = validLog();
  invalid->setDevice(nullptr);
  container.logs.insert(container.logs.begin() + 1, invalid);
  EXPECT_FALSE(container.isValid());
}

TEST(TLLogContainer, BatchJsonListsLogsInOrderWithoutBatchId) {
  auto first = validLog();
  first->setSid("s1");
  auto second = validLog();
  second->setSid("s2");
  TLLogContainer container("batch-id", {first, second});
  auto text = container.serializeLog();
  ASSERT_TRUE(text);
  auto parsed = TLJson::parse(*text);
  ASSERT_TRUE(parsed);
  ASSERT_EQ((*parsed)["logs"].size(), 2u);
  EXPECT_EQ((*parsed)["logs"][0]["sid"], "s1");
  EXPECT_EQ((*parsed)["logs"][1]["sid"], "s2");
  EXPECT_EQ(text->find("batch-id"), std::string::npos);
  EXPECT_EQ(text->find('\n'), std::string::npos);
}

TEST(TLLogContainer, SlashesArePlainAndBackslashSlashSurvives) {
  auto log = std::make_shared<TLLogWithProperties>();
  log->setType("event");
  log->properties = std::map<std::string, std::string>{{"url", "https://host/path"}, {"windows", "a\\/b"}};
  TLLogContainer container("b", {log});
  auto text = container.serializeLogWithPrettyPrinting(true);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("https://host/path"), std::string::npos);
  auto parsed = TLJson::parse(*text);
  ASSERT_TRUE(parsed);
  EXPECT_EQ((*parsed)["logs"][0]["properties"]["windows"], "a\\/b");  // value unchanged
  EXPECT_EQ((*parsed)["logs"][0]["properties"]["url"], "https://host/path");
}

}  // namespace
}  // namespace ml::beacon
