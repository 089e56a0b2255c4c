#include <gtest/gtest.h>

#include "ModelFixtures.h"
#include "beacon/core/CommonSchema/TLCommonSchemaConversion.h"
#include "beacon/core/CommonSchema/TLLogConversion.h"
#include "beacon/core/TLLogWithProperties.h"

namespace ml::beacon {
namespace {

std::shared_ptr<TLLogWithProperties> eventLog() {
  auto log = std::make_shared<TLLogWithProperties>();
  log->setType("event");
  log->setTimestamp(test::sampleDate());
  log->setDevice(test::fullDevice());
  return log;
}

std::vector<std::string> keysOf(const TLJsonValue& json) {
  std::vector<std::string> keys;
  for (const auto& item : json.items()) keys.push_back(item.key());
  return keys;
}

// A log type with an event name, as the analytics event log refines its common-schema form.
class NamedEventLog : public TLLogWithProperties, public TLLogConversion {
 public:
  std::shared_ptr<TLCommonSchemaLog> toCommonSchemaLogForTargetToken(const std::string& token,
                                                                     std::int64_t flags) const override {
    auto log = TLCommonSchemaConversion::commonSchemaLogForTargetToken(*this, token, flags);
    log->name = "clickedButton";
    log->data = std::make_shared<TLCSData>();
    log->data->properties = TLJsonValue{{"color", "red"}};
    return log;
  }
};

TEST(TLCommonSchemaConversion, LogWithoutTokensConvertsToNothing) {
  EXPECT_FALSE(TLCommonSchemaConversion::toCommonSchemaLogsWithFlags(*eventLog(), 1));
}

TEST(TLCommonSchemaConversion, OneLogPerTokenEachWithItsTokenAndInstrumentationKey) {
  auto log = eventLog();
  log->addTransmissionTargetToken("abc-secret1");
  log->addTransmissionTargetToken("def-secret2");
  auto logs = TLCommonSchemaConversion::toCommonSchemaLogsWithFlags(*log, 2);
  ASSERT_TRUE(logs);
  ASSERT_EQ(logs->size(), 2u);
  EXPECT_EQ((*logs)[0]->transmissionTargetTokens(), (std::set<std::string>{"abc-secret1"}));
  EXPECT_EQ((*logs)[0]->iKey, "o:abc");
  EXPECT_EQ((*logs)[1]->transmissionTargetTokens(), (std::set<std::string>{"def-secret2"}));
  EXPECT_EQ((*logs)[1]->iKey, "o:def");
  EXPECT_EQ((*logs)[1]->flags, 2);
}

TEST(TLCommonSchemaConversion, TokenWithoutHyphenNamesTheWholeTokenAsKey) {
  auto csLog = TLCommonSchemaConversion::toCommonSchemaLogForTargetToken(*eventLog(), "wholetoken", 1);
  EXPECT_EQ(csLog->iKey, "o:wholetoken");
}

TEST(TLCommonSchemaConversion, FillsEnvelopeAndExtensionsFromTheLogAndItsDevice) {
  auto log = eventLog();
  log->setUserId("alice");
  auto csLog = TLCommonSchemaConversion::toCommonSchemaLogForTargetToken(*log, "key-rest", 0);
  TLJsonValue json = csLog->serializeToDictionary();
  // No name: "ver" then "time"; flags 0 write no key.
  EXPECT_EQ(keysOf(json), (std::vector<std::string>{"ver", "time", "iKey", "ext"}));
  EXPECT_EQ(json["ver"], "3.0");
  EXPECT_EQ(json["time"], "2026-12-07T08:00:00.123Z");
  const TLJsonValue& ext = json["ext"];
  EXPECT_EQ(keysOf(ext), (std::vector<std::string>{"protocol", "user", "os", "app", "net", "sdk", "loc"}));
  EXPECT_EQ(ext["protocol"], (TLJsonValue{{"devMake", "Maker"}, {"devModel", "Desktop"}}));
  EXPECT_EQ(ext["user"]["localId"], "c:alice");
  EXPECT_EQ(ext["user"]["locale"], "en-US");
  EXPECT_EQ(ext["os"], (TLJsonValue{{"ver", "Version 6.1 (Build build)"}, {"name", "Linux"}}));
  EXPECT_EQ(ext["app"]["id"], "I:org.marrowlane.Marrowlane");
  EXPECT_EQ(ext["app"]["ver"], "0.1.0");
  EXPECT_EQ(ext["app"]["locale"], TLCommonSchemaConversion::applicationLocale());
  EXPECT_EQ(ext["net"]["provider"], "carrier");
  // Freshly converted: the SDK extension holds only the library.
  EXPECT_EQ(ext["sdk"], (TLJsonValue{{"libVer", "beacon.macos-2.3.0"}}));
  EXPECT_EQ(ext["loc"]["tz"], "+01:00");
  // A base log type has no name, so its common-schema form is not valid.
  EXPECT_FALSE(csLog->isValid());
}

TEST(TLCommonSchemaConversion, NumberedSdkExtensionWritesEpochInstallIdAndSequence) {
  auto csLog = TLCommonSchemaConversion::toCommonSchemaLogForTargetToken(*eventLog(), "key-rest", 1);
  auto installId = foundation::Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  csLog->ext->sdkExt->epoch = "EPOCH";
  csLog->ext->sdkExt->seq = 3;
  csLog->ext->sdkExt->installId = installId;
  EXPECT_EQ(csLog->serializeToDictionary()["ext"]["sdk"],
            (TLJsonValue{{"libVer", "beacon.macos-2.3.0"},
                         {"epoch", "EPOCH"},
                         {"installId", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"},
                         {"seq", 3}}));
}

TEST(TLCommonSchemaConversion, LogTypesThatRefineTheirFormAreConvertedByTheirOwnRule) {
  NamedEventLog log;
  log.setType("event");
  log.setTimestamp(test::sampleDate());
  log.setDevice(test::fullDevice());
  log.addTransmissionTargetToken("key-rest");
  auto logs = TLCommonSchemaConversion::toCommonSchemaLogsWithFlags(log, 1);
  ASSERT_TRUE(logs);
  const auto& csLog = logs->front();
  EXPECT_TRUE(csLog->isValid());
  TLJsonValue json = csLog->serializeToDictionary();
  EXPECT_EQ(keysOf(json), (std::vector<std::string>{"ver", "name", "time", "iKey", "flags", "ext", "data"}));
  EXPECT_EQ(json["data"], (TLJsonValue{{"color", "red"}}));
}

TEST(TLCommonSchemaConversion, LogWithoutDeviceConvertsWithEmptyDeviceExtensions) {
  auto log = eventLog();
  log->setDevice(nullptr);
  auto csLog = TLCommonSchemaConversion::toCommonSchemaLogForTargetToken(*log, "key-rest", 1);
  TLJsonValue ext = csLog->serializeToDictionary()["ext"];
  EXPECT_EQ(keysOf(ext), (std::vector<std::string>{"app"}));  // only the application's language
}

TEST(TLCommonSchemaConversion, CombinesOsVersionAndBuild) {
  using C = TLCommonSchemaConversion;
  EXPECT_EQ(C::combineOsVersion("10.15.1", "19B88"), "Version 10.15.1 (Build 19B88)");
  EXPECT_EQ(C::combineOsVersion("10.15.1", std::nullopt), "Version 10.15.1");
  EXPECT_EQ(C::combineOsVersion("10.15.1", ""), "Version 10.15.1");
  EXPECT_EQ(C::combineOsVersion("", "19B88"), "(Build 19B88)");
  EXPECT_FALSE(C::combineOsVersion(std::nullopt, std::nullopt));
}

TEST(TLCommonSchemaConversion, CombinesLibraryNameAndVersionOnlyWhenBothAreThere) {
  EXPECT_EQ(TLCommonSchemaConversion::combineSDKLibVer("beacon.linux", "1.0"), "beacon.linux-1.0");
  EXPECT_FALSE(TLCommonSchemaConversion::combineSDKLibVer("beacon.linux", ""));
  EXPECT_FALSE(TLCommonSchemaConversion::combineSDKLibVer(std::nullopt, "1.0"));
}

TEST(TLCommonSchemaConversion, WritesTimeZoneOffsetsAsSignedHoursAndMinutes) {
  using C = TLCommonSchemaConversion;
  EXPECT_EQ(C::convertTimeZoneOffsetToISO8601(120), "+02:00");
  EXPECT_EQ(C::convertTimeZoneOffsetToISO8601(-330), "-05:30");
  EXPECT_EQ(C::convertTimeZoneOffsetToISO8601(0), "+00:00");
  EXPECT_EQ(C::convertTimeZoneOffsetToISO8601(345), "+05:45");
  EXPECT_EQ(C::convertTimeZoneOffsetToISO8601(-30), "-00:30");
  EXPECT_EQ(C::convertTimeZoneOffsetToISO8601(-570), "-09:30");
}

}  // namespace
}  // namespace ml::beacon
