#include "ServiceFixture.h"
#include "beacon/core/Channel/TLChannelUnitDefault.h"

namespace ml::beacon::test {
namespace {

using ml::beacon::TLLogLevel;

class TLServiceAbstractTest : public ServiceTest {};

TEST_F(TLServiceAbstractTest, SwitchKeyIsFormedFromTheGroupIdAndAbsentMeansEnabled) {
  EXPECT_EQ(analytics->isEnabledKey(), "kTLAnalyticsIsEnabledKey");
  EXPECT_TRUE(analytics->isEnabled());
}

TEST_F(TLServiceAbstractTest, ChangeIsAppliedWhileTheOldStateIsStillStored) {
  analytics->setEnabled(false);
  ASSERT_EQ(analytics->applied.size(), 1u);
  EXPECT_FALSE(analytics->applied[0].requested);
  EXPECT_TRUE(analytics->applied[0].storedMeanwhile);
  EXPECT_FALSE(settingsBoolean("kTLAnalyticsIsEnabledKey"));
  EXPECT_TRUE(TLUserDefaults::shared().objectForKey("kTLAnalyticsIsEnabledKey"));
}

TEST_F(TLServiceAbstractTest, SettingTheCurrentStateWritesNothingAndCallsNoHook) {
  analytics->setEnabled(true);
  EXPECT_TRUE(analytics->applied.empty());
  EXPECT_FALSE(TLUserDefaults::shared().objectForKey("kTLAnalyticsIsEnabledKey"));
}

TEST_F(TLServiceAbstractTest, ServiceIsUsableOnlyWhenStartedOnAConfiguredClient) {
  EXPECT_FALSE(analytics->canBeUsed());
  EXPECT_FALSE(analytics->isAvailable());
  EXPECT_EQ(capture.count(TLLogLevel::error, "Analytics service hasn't been started. You need to call [TLBeacon "
                                             "start:YOUR_APP_SECRET withServices:LIST_OF_SERVICES] first."),
            1u);
  TLBeacon::start(kSecret, {FakeService::classOf(analytics)});
  EXPECT_TRUE(analytics->canBeUsed());
  EXPECT_TRUE(analytics->isAvailable());
  EXPECT_TRUE(analytics->isStartedFromApplication());
  EXPECT_EQ(analytics->channelGroup(), group);
}

TEST_F(TLServiceAbstractTest, StartAddsTheServicesUnitAndEnablesIt) {
  TLBeacon::start(kSecret, {FakeService::classOf(analytics)});
  ASSERT_TRUE(analytics->channelUnit());
  EXPECT_EQ(analytics->channelUnit()->configuration().groupId, "Analytics");
  ASSERT_EQ(analytics->applied.size(), 1u);
  EXPECT_TRUE(analytics->applied[0].requested);
}

TEST_F(TLServiceAbstractTest, DisabledServiceStartsWithoutApplyingItsState) {
  TLUserDefaults::shared().setObject(foundation::PlistValue(false), "kTLAnalyticsIsEnabledKey");
  TLBeacon::start(kSecret, {FakeService::classOf(analytics)});
  EXPECT_TRUE(analytics->applied.empty());
  ASSERT_TRUE(analytics->channelUnit());
  queue->drain();
  auto unit = std::dynamic_pointer_cast<TLChannelUnitDefault>(analytics->channelUnit());
  ASSERT_TRUE(unit);
  EXPECT_TRUE(unit->state().enabled) << "the new unit keeps a unit's initial state";
}

TEST_F(TLServiceAbstractTest, ServiceWithoutAConfigurationHasNoUnit) {
  auto bare = std::make_shared<FakeService>("TLBare", 500, false, false);
  TLBeacon::start(kSecret, {FakeService::classOf(bare)});
  EXPECT_TRUE(bare->isStarted());
  EXPECT_FALSE(bare->channelUnit());
}

TEST_F(TLServiceAbstractTest, DisablingDeletesTheUnitsStoredLogs) {
  TLBeacon::start(kSecret, {FakeService::classOf(analytics)});
  analytics->channelUnit()->enqueueItem(makeLog("a"), kTLFlagsNormal);
  queue->drain();
  EXPECT_EQ(storedLogs("Analytics").size(), 1u);
  analytics->classSetEnabled(false);
  queue->drain();
  EXPECT_TRUE(storedLogs("Analytics").empty());
  EXPECT_FALSE(analytics->classIsEnabled());
}

TEST_F(TLServiceAbstractTest, ClassSwitchIsRefusedWhileTheWholeClientIsDisabled) {
  TLBeacon::start(kSecret, {FakeService::classOf(analytics)});
  TLBeacon::setEnabled(false);
  EXPECT_FALSE(analytics->isEnabled()) << "the client's own switch reaches the service";
  analytics->classSetEnabled(true);
  EXPECT_FALSE(analytics->isEnabled());
  EXPECT_EQ(capture.count(TLLogLevel::error,
                          "The SDK is disabled. Re-enable the whole SDK from Beacon first before enabling Analytics "
                          "service."),
            1u);
}

TEST_F(TLServiceAbstractTest, ReconfigurationMarksTheServiceAsStartedByTheApplication) {
  TLBeacon::startFromLibraryWithServices({FakeService::classOf(analytics)});
  EXPECT_TRUE(analytics->isStarted());
  EXPECT_FALSE(analytics->isStartedFromApplication());
  analytics->updateConfigurationWithAppSecret("secret", "token");
  EXPECT_TRUE(analytics->isStartedFromApplication());
  EXPECT_EQ(analytics->appSecret(), "secret");
  EXPECT_EQ(analytics->defaultTransmissionTargetToken(), "token");
}

}  // namespace
}  // namespace ml::beacon::test
