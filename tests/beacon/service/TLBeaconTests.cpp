#include "ServiceFixture.h"
#include "beacon/core/Service/TLCustomProperties.h"
#include "beacon/core/TLCustomPropertiesLog.h"

namespace ml::beacon::test {
namespace {

using Strings = std::vector<std::string>;
using ml::beacon::TLLogLevel;

class TLBeaconTest : public ServiceTest {
 protected:
  std::vector<std::string> startedNames() {
    std::vector<std::string> names;
    for (const auto& service : client->services()) names.push_back(service->serviceName());
    return names;
  }
};

// --- Start

TEST_F(TLBeaconTest, BareSecretStartsServicesHighestPriorityFirstWithOneStartServiceLog) {
  TLBeacon::start(kSecret, {FakeService::classOf(analytics), FakeService::classOf(crashes)});
  EXPECT_TRUE(TLBeacon::isConfigured());
  EXPECT_EQ(client->appSecret(), kSecret);
  EXPECT_FALSE(client->defaultTransmissionTargetToken());
  EXPECT_EQ(ingestion->appSecret, kSecret);
  EXPECT_EQ(startedNames(), (Strings{"Crashes", "Analytics"}));
  ASSERT_TRUE(group);
  EXPECT_TRUE(group->channelUnitForGroupId("Beacon"));
  EXPECT_TRUE(group->channelUnitForGroupId("Crashes"));
  EXPECT_TRUE(group->channelUnitForGroupId("Analytics"));
  EXPECT_EQ(startServiceLogs(), (std::vector<Strings>{{"Crashes", "Analytics"}}));
  EXPECT_EQ(capture.count(TLLogLevel::verbose, "Start services TLCrashes, TLAnalytics from an application"), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::info, "Beacon SDK configured successfully."), 1u);
}

TEST_F(TLBeaconTest, EqualPrioritiesStartInTheOrderGiven) {
  auto first = std::make_shared<FakeService>("TLFirst", 500, false);
  auto second = std::make_shared<FakeService>("TLSecond", 500, false);
  TLBeacon::start(kSecret, {FakeService::classOf(first), FakeService::classOf(second)});
  EXPECT_EQ(startedNames(), (Strings{"First", "Second"}));
}

TEST_F(TLBeaconTest, SecretStringPartsGiveSecretAndTokenWithoutTheirPrefixes) {
  TLBeacon::start("appsecret=abc;target=token-1", {FakeService::classOf(analytics)});
  EXPECT_EQ(client->appSecret(), "abc");
  EXPECT_EQ(client->defaultTransmissionTargetToken(), "token-1");
  EXPECT_EQ(analytics->appSecret(), "abc");
  EXPECT_EQ(analytics->defaultTransmissionTargetToken(), "token-1");
}

TEST_F(TLBeaconTest, TargetAloneRefusesServicesThatNeedASecret) {
  TLBeacon::start("target=token-1", {FakeService::classOf(crashes), FakeService::classOf(analytics)});
  EXPECT_EQ(startedNames(), Strings{"Analytics"});
  EXPECT_EQ(capture.count(TLLogLevel::error, "Cannot start service TLCrashes. Beacon was started without app secret, "
                                             "but the service requires it."),
            1u);
}

TEST_F(TLBeaconTest, SecondStartFromTheApplicationFailsAndStartsNothing) {
  TLBeacon::start(kSecret, {FakeService::classOf(crashes)});
  TLBeacon::start(kSecret, {FakeService::classOf(analytics)});
  EXPECT_EQ(startedNames(), Strings{"Crashes"});
  EXPECT_EQ(capture.count(TLLogLevel::assert, "Beacon SDK has already been configured."), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::assert, "Beacon SDK configuration failed."), 1u);
}

TEST_F(TLBeaconTest, EmptyServiceClassIsReportedAndTheOthersStart) {
  TLBeacon::start(kSecret, {TLServiceClass{"TLBroken", {}}, FakeService::classOf(analytics)});
  EXPECT_EQ(startedNames(), Strings{"Analytics"});
  EXPECT_EQ(capture.count(TLLogLevel::error, "Cannot start service TLBroken. Provided value is nil or invalid."), 1u);
}

TEST_F(TLBeaconTest, ServiceStartedLaterSendsItsOwnStartServiceLog) {
  TLBeacon::start(kSecret, {FakeService::classOf(crashes)});
  TLBeacon::startService(FakeService::classOf(analytics));
  EXPECT_EQ(startedNames(), (Strings{"Crashes", "Analytics"}));
  EXPECT_EQ(startServiceLogs(), (std::vector<Strings>{{"Crashes"}, {"Analytics"}}));
}

TEST_F(TLBeaconTest, ServiceCannotStartBeforeTheClientIsConfigured) {
  TLBeacon::startService(FakeService::classOf(analytics));
  EXPECT_TRUE(startedNames().empty());
  EXPECT_EQ(capture.count(TLLogLevel::error, "Beacon has not been configured so it couldn't start the service."), 1u);
}

TEST_F(TLBeaconTest, DisabledServiceStartedAgainIsReconfiguredNotStartedTwice) {
  TLUserDefaults::shared().setObject(foundation::PlistValue(false), "kTLAnalyticsIsEnabledKey");
  TLBeacon::start(kSecret, {FakeService::classOf(analytics)});
  TLBeacon::startService(FakeService::classOf(analytics));
  EXPECT_EQ(startedNames(), Strings{"Analytics"});
  EXPECT_EQ(group->channels().size(), 2u) << "the core's unit and one Analytics unit";
}

TEST_F(TLBeaconTest, DisableVariableNamesServicesOrAllExactly) {
  {
    ScopedEnvironment disable("BEACON_DISABLE", " Crashes , Analytics ");
    EXPECT_TRUE(TLBeacon::shouldDisable("Crashes"));
    EXPECT_TRUE(TLBeacon::shouldDisable("Analytics"));
  }
  {
    ScopedEnvironment disable("BEACON_DISABLE", "All");
    EXPECT_TRUE(TLBeacon::shouldDisable("Crashes"));
  }
  {
    ScopedEnvironment disable("BEACON_DISABLE", "analytics");
    EXPECT_FALSE(TLBeacon::shouldDisable("Analytics"));
  }
  ScopedEnvironment disable("BEACON_DISABLE", "Crashes");
  TLBeacon::start(kSecret, {FakeService::classOf(crashes), FakeService::classOf(analytics)});
  EXPECT_EQ(startedNames(), Strings{"Analytics"});
  EXPECT_EQ(capture.count(TLLogLevel::debug,
                          "Environment variable to disable service has been set; not starting service TLCrashes"),
            1u);
}

TEST_F(TLBeaconTest, ConfigurationLowersTheLevelToWarningUnlessTheHostChoseOne) {
  TLLogger::setIsUserDefinedLogLevel(false);
  TLBeacon::configureWithAppSecret(kSecret);
  EXPECT_EQ(TLBeacon::logLevel(), TLLogLevel::warning);
  EXPECT_EQ(capture.count(TLLogLevel::debug,
                          "Delegate forwarder for info.plist key 'BeaconAppDelegateForwarderEnabled' enabled."),
            1u)
      << "setting the level releases the forwarder's buffered line";
}

TEST_F(TLBeaconTest, HostLevelIsKept) {
  TLBeacon::setLogLevel(TLLogLevel::none);
  TLBeacon::configureWithAppSecret(kSecret);
  EXPECT_EQ(TLBeacon::logLevel(), TLLogLevel::none);
}

// --- Switch

TEST_F(TLBeaconTest, ClientThatIsNotConfiguredCannotBeUsed) {
  EXPECT_FALSE(TLBeacon::isEnabled());
  TLBeacon::setEnabled(false);
  EXPECT_FALSE(TLUserDefaults::shared().objectForKey("TLBeaconIsEnabled"));
  EXPECT_EQ(capture.count(TLLogLevel::error, "Beacon SDK hasn't been configured. You need to call [TLBeacon "
                                             "start:YOUR_APP_SECRET withServices:LIST_OF_SERVICES] first."),
            2u);
}

TEST_F(TLBeaconTest, DisablingDeletesStoredLogsAndReachesEveryServiceEvenWhenAlreadyDisabled) {
  TLBeacon::start(kSecret, {FakeService::classOf(crashes), FakeService::classOf(analytics)});
  queue->drain();
  TLBeacon::setEnabled(false);
  queue->drain();
  EXPECT_FALSE(TLBeacon::isEnabled());
  EXPECT_FALSE(settingsBoolean("TLBeaconIsEnabled"));
  EXPECT_FALSE(crashes->isEnabled());
  EXPECT_FALSE(analytics->isEnabled());
  EXPECT_TRUE(storedLogs("Beacon").empty()) << "the start-service log went with the deletion";
  EXPECT_EQ(ingestion->enabledCalls.back(), (std::pair<bool, bool>{false, true}));

  crashes->applied.clear();
  TLBeacon::setEnabled(false);
  EXPECT_EQ(capture.count(TLLogLevel::info, "Beacon SDK disabled."), 2u);
  EXPECT_TRUE(crashes->applied.empty()) << "already off: the service's switch is reached but changes nothing";

  TLBeacon::setEnabled(true);
  EXPECT_TRUE(crashes->isEnabled());
  EXPECT_TRUE(analytics->isEnabled());
}

TEST_F(TLBeaconTest, ClientDisabledInAnEarlierRunDisablesItsServicesAndHoldsTheStartLog) {
  TLUserDefaults::shared().setObject(foundation::PlistValue(false), "TLBeaconIsEnabled");
  TLBeacon::start(kSecret, {FakeService::classOf(analytics)});
  EXPECT_EQ(startedNames(), Strings{"Analytics"});
  EXPECT_FALSE(analytics->isEnabled());
  EXPECT_EQ(capture.count(TLLogLevel::error, "The SDK is disabled."), 0u) << "the client's own propagation";
  EXPECT_TRUE(startServiceLogs().empty());

  TLBeacon::setEnabled(true);
  EXPECT_EQ(startServiceLogs(), (std::vector<Strings>{{"Analytics"}}));
}

// --- Install id, log URL, storage cap

TEST_F(TLBeaconTest, InstallIdIsMadeOnceAndStoredUpperCase) {
  auto id = TLBeacon::installId();
  ASSERT_TRUE(id);
  EXPECT_EQ(TLBeacon::installId(), id);
  auto stored = TLUserDefaults::shared().objectForKey("TLInstallId");
  ASSERT_TRUE(stored && stored->string());
  EXPECT_EQ(*stored->string(), id->string());
}

TEST_F(TLBeaconTest, StoredInstallIdIsKeptAndOneThatIsNoUuidIsReplaced) {
  TLUserDefaults::shared().setObject(foundation::PlistValue("e621e1f8-c36c-495a-93fc-0c247a3e6e5f"), "TLInstallId");
  EXPECT_EQ(TLBeacon::installId()->string(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");

  TLBeacon::resetSharedInstance(makeClient());
  TLUserDefaults::shared().setObject(foundation::PlistValue("not a uuid"), "TLInstallId");
  auto replaced = TLBeacon::installId();
  ASSERT_TRUE(replaced);
  EXPECT_EQ(*TLUserDefaults::shared().objectForKey("TLInstallId")->string(), replaced->string());
}

TEST_F(TLBeaconTest, LogUrlSetEarlyIsUsedForTheGroupAndLaterOnesArePassedOn) {
  TLBeacon::setLogUrl("https://early.invalid");
  TLBeacon::start(kSecret, {});
  EXPECT_EQ(groupLogUrl, "https://early.invalid");
  EXPECT_EQ(groupInstallId, TLBeacon::installId());
  TLBeacon::setLogUrl("https://late.invalid");
  EXPECT_EQ(ingestion->baseUrls, Strings{"https://late.invalid"});
  EXPECT_EQ(capture.count(TLLogLevel::info, "The log url of Beacon endpoint was changed to https://late.invalid"), 1u);
}

TEST_F(TLBeaconTest, GroupUsesTheDefaultUrlWithoutOne) {
  TLBeacon::start(kSecret, {});
  EXPECT_EQ(groupLogUrl, std::string(TLBeacon::kDefaultLogUrl));
}

TEST_F(TLBeaconTest, StorageCapIsAcceptedOnceAndOnlyBeforeTheApplicationConfigures) {
  std::vector<bool> answers;
  auto record = [&](bool ok) { answers.push_back(ok); };
  TLBeacon::setMaxStorageSize(24575, record);
  EXPECT_EQ(answers, std::vector<bool>{false});
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Cannot set storage size to 24575 bytes, minimum value is 24576 bytes"),
            1u);

  TLBeacon::setMaxStorageSize(24576, record);
  EXPECT_EQ(answers.size(), 1u) << "answered by the store once the group exists";
  TLBeacon::setMaxStorageSize(32768, record);
  EXPECT_EQ(answers, (std::vector<bool>{false, false}));
  EXPECT_EQ(capture.count(TLLogLevel::warning, "may only be called once per app launch"), 1u);

  TLBeacon::start(kSecret, {});
  queue->drain();
  EXPECT_EQ(storage->maxSizes, std::vector<std::int64_t>{24576});
  EXPECT_EQ(answers, (std::vector<bool>{false, false, true}));
}

TEST_F(TLBeaconTest, StorageCapAfterTheApplicationConfiguredIsRefused) {
  TLBeacon::start(kSecret, {});
  std::optional<bool> answer;
  TLBeacon::setMaxStorageSize(64 * 1024, [&](bool ok) { answer = ok; });
  EXPECT_EQ(answer, false);
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Unable to set storage size after the application has configured Beacon"),
            1u);
}

// --- User id, custom properties, environment

TEST_F(TLBeaconTest, UserIdNeedsAnApplicationConfigurationAndAValidId) {
  TLBeacon::setUserId("alice");
  EXPECT_EQ(capture.count(TLLogLevel::error,
                          "Beacon must be configured from application, libraries cannot call setUserId."),
            1u);
  TLBeacon::start(kSecret, {});
  TLBeacon::setUserId(std::string(257, 'x'));
  EXPECT_FALSE(TLUserIdContext::sharedInstance()->userId());
  TLBeacon::setUserId("alice");
  EXPECT_EQ(TLUserIdContext::sharedInstance()->userId(), "alice");
}

TEST_F(TLBeaconTest, UserIdNeedsASecretOrAToken) {
  TLBeacon::configure();
  TLBeacon::setUserId("alice");
  EXPECT_EQ(capture.count(TLLogLevel::error, "Beacon must be configured with a secret from application to call setUserId."),
            1u);
}

TEST_F(TLBeaconTest, CustomPropertiesAreSentAsOneLogAndEmptyOnesRefused) {
  TLBeacon::start(kSecret, {});
  TLBeacon::setCustomProperties(TLCustomProperties());
  EXPECT_EQ(capture.count(TLLogLevel::error, "Custom properties may not be null or empty"), 1u);

  TLCustomProperties properties;
  properties.setString("color", "blue").setNumber("count", std::int64_t{3}).clearProperty("old");
  TLBeacon::setCustomProperties(properties);
  int found = 0;
  for (const auto& log : storedLogs("Beacon")) {
    if (auto* custom = dynamic_cast<TLCustomPropertiesLog*>(log.get())) {
      ++found;
      ASSERT_TRUE(custom->properties);
      EXPECT_EQ(custom->properties->size(), 3u);
      EXPECT_TRUE(custom->properties->at("old").isNull());
    }
  }
  EXPECT_EQ(found, 1);
}

TEST_F(TLBeaconTest, TestCloudMarkerIsTheValueOne) {
  {
    ScopedEnvironment marker("RUNNING_IN_BEACON", "1");
    EXPECT_TRUE(TLBeacon::isRunningInBeaconTestCloud());
  }
  ScopedEnvironment marker("RUNNING_IN_BEACON", "yes");
  EXPECT_FALSE(TLBeacon::isRunningInBeaconTestCloud());
}

TEST_F(TLBeaconTest, ForwarderSwitchIsReadFromTheForwarder) {
  EXPECT_TRUE(TLBeacon::isAppDelegateForwarderEnabled());
  TLAppDelegateForwarder::sharedInstance()->setEnabledFromPlistForKey(
      TLAppDelegateForwarder::kEnabledKey, {{"BeaconAppDelegateForwarderEnabled", foundation::PlistValue(false)}});
  EXPECT_FALSE(TLBeacon::isAppDelegateForwarderEnabled());
}

}  // namespace
}  // namespace ml::beacon::test
