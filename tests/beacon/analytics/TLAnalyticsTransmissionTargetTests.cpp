#include "AnalyticsFixture.h"
#include "beacon/analytics/TransmissionTarget/TLAnalyticsTransmissionTarget.h"
#include "beacon/analytics/TransmissionTarget/TLAuthenticationProvider.h"
#include "beacon/analytics/TransmissionTarget/TLPropertyConfigurator.h"
#include "beacon/core/CommonSchema/TLCommonSchemaLog.h"

namespace ml::beacon::test {
namespace {

using ml::beacon::TLLogLevel;

class TLAnalyticsTransmissionTargetTest : public AnalyticsTest {};

TEST_F(TLAnalyticsTransmissionTargetTest, TargetsAreKeptPerTokenWithTheirEnabledKey) {
  startClient();
  auto target = service->transmissionTargetForToken("abc-123");
  EXPECT_EQ(service->transmissionTargetForToken("abc-123"), target);
  EXPECT_EQ(target->isEnabledKey(), "kTLAnalyticsIsEnabledKey/abc");
  EXPECT_TRUE(target->isEnabled());
  EXPECT_EQ(capture.count(TLLogLevel::debug, "Returning transmission target found with id abc."), 1u);
  auto child = target->transmissionTargetForToken("child-1");
  EXPECT_EQ(target->transmissionTargetForToken("child-1"), child);
  EXPECT_EQ(child->parentTarget(), target);
}

TEST_F(TLAnalyticsTransmissionTargetTest, RootMadeWhileAnalyticsIsDisabledStaysDisabledUntilItIsEnabled) {
  startClient();
  service->classSetEnabled(false);
  auto target = service->transmissionTargetForToken("off-1");
  EXPECT_FALSE(target->isEnabled());
  target->setEnabled(true);
  EXPECT_FALSE(target->isEnabled());
  EXPECT_EQ(capture.count(TLLogLevel::warning,
                          "Can't enable; parent transmission target and/or Analytics service is disabled."),
            1u);
  service->classSetEnabled(true);
  EXPECT_TRUE(target->isEnabled()) << "enabling the service enables its kept targets";
}

TEST_F(TLAnalyticsTransmissionTargetTest, DisablingATargetDisablesItsSubtreeAndEnablingRestoresIt) {
  startClient();
  auto root = service->transmissionTargetForToken("root-1");
  auto child = root->transmissionTargetForToken("child-1");
  auto grandchild = child->transmissionTargetForToken("grand-1");
  root->setEnabled(false);
  EXPECT_FALSE(child->isEnabled());
  EXPECT_FALSE(grandchild->isEnabled());
  root->setEnabled(true);
  EXPECT_TRUE(child->isEnabled());
  EXPECT_TRUE(grandchild->isEnabled());
  grandchild->setEnabled(false);
  root->setEnabled(true);
  EXPECT_TRUE(grandchild->isEnabled()) << "enabling an enabled target still enables its descendants";
}

TEST_F(TLAnalyticsTransmissionTargetTest, NearestDefaultWinsAndEventPropertiesOverrideBoth) {
  startClient();
  auto parent = service->transmissionTargetForToken("parent-1");
  auto child = parent->transmissionTargetForToken("child-1");
  parent->propertyConfigurator()->setEventPropertyString("parent", "both");
  parent->propertyConfigurator()->setEventPropertyString("parent", "parentOnly");
  child->propertyConfigurator()->setEventPropertyString("child", "both");
  child->propertyConfigurator()->setEventPropertyString("child", "given");
  child->trackEvent("e", TLStringProperties{{"given", "event"}});
  auto events = stored<TLEventLog>("Analytics");
  ASSERT_EQ(events.size(), 1u);
  const auto& event = events[0];
  ASSERT_TRUE(event->typedProperties);
  TLEventProperties expected;
  expected.setString("child", "both").setString("parent", "parentOnly").setString("event", "given");
  EXPECT_TRUE(event->typedProperties->isEqual(expected));
}

TEST_F(TLAnalyticsTransmissionTargetTest, TargetWithoutDefaultsOrPropertiesSendsNoTypedProperties) {
  startClient();
  service->transmissionTargetForToken("bare-1")->trackEvent("e");
  auto events = stored<TLEventLog>("Analytics");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_FALSE(events[0]->typedProperties);
}

TEST_F(TLAnalyticsTransmissionTargetTest, DisabledTargetRefusesEventsAndPausing) {
  startClient();
  auto target = service->transmissionTargetForToken("off-1");
  target->setEnabled(false);
  target->trackEvent("e");
  target->pause();
  EXPECT_EQ(capture.count(TLLogLevel::error, "This transmission target is disabled."), 2u);
  EXPECT_TRUE(stored<TLEventLog>("Analytics").empty());
}

TEST_F(TLAnalyticsTransmissionTargetTest, PrepareStepsFillOnlyTheTargetsOwnCommonSchemaLogs) {
  startClient();
  auto parent = service->transmissionTargetForToken("parent-1");
  auto child = parent->transmissionTargetForToken("child-1");
  parent->propertyConfigurator()->setAppName("ParentName");
  parent->propertyConfigurator()->setAppVersion("1.0");
  child->propertyConfigurator()->setAppVersion("2.0");
  auto mine = std::make_shared<TLCommonSchemaLog>();
  mine->setTransmissionTargetTokens(std::set<std::string>{"child-1"});
  mine->setTag(child);
  auto others = std::make_shared<TLCommonSchemaLog>();
  others->setTag(parent);
  child->propertyConfigurator()->channelPrepareLog(*group, mine);
  child->propertyConfigurator()->channelPrepareLog(*group, others);
  ASSERT_TRUE(mine->ext && mine->ext->appExt);
  EXPECT_EQ(mine->ext->appExt->ver, "2.0");         // the nearest wins
  EXPECT_EQ(mine->ext->appExt->name, "ParentName");  // inherited
  EXPECT_FALSE(mine->ext->appExt->locale);           // set nowhere: left as made
  EXPECT_FALSE(others->ext) << "a log of another target is left alone";

  struct Provider final : TLAuthenticationProvider {
    int checks = 0;
    void acquireTokenAsync() override {}
    std::string ticketKeyHash() override { return "hash-1"; }
    void checkTokenExpiry() override { ++checks; }
  };
  auto provider = std::make_shared<Provider>();
  child->channelPrepareLog(*group, mine);  // no provider yet: nothing
  EXPECT_FALSE(mine->ext->protocolExt);
  TLAnalyticsTransmissionTarget::setAuthenticationProvider(provider);
  child->channelPrepareLog(*group, mine);
  parent->channelPrepareLog(*group, mine);  // not its token
  TLAnalyticsTransmissionTarget::setAuthenticationProvider(nullptr);
  ASSERT_TRUE(mine->ext->protocolExt);
  EXPECT_EQ(mine->ext->protocolExt->ticketKeys, std::vector<std::string>{"hash-1"});
  EXPECT_EQ(provider->checks, 1);
}

TEST_F(TLAnalyticsTransmissionTargetTest, RejectedUserIdLeavesThePreviousOne) {
  startClient();
  auto configurator = service->transmissionTargetForToken("t-1")->propertyConfigurator();
  configurator->setUserId("alice");
  EXPECT_EQ(configurator->userId(), "c:alice");
  configurator->setUserId("x:bob");
  configurator->setUserId("");
  EXPECT_EQ(configurator->userId(), "c:alice");
}

// Targets made and used on one thread while others switch the service and the whole client: no
// order of these calls blocks (the wait is bounded), and the end state is the last switch's.
TEST_F(TLAnalyticsTransmissionTargetTest, TargetsMadeWhileTheServiceAndTheClientAreSwitchedNeverBlock) {
  startClient();
  constexpr int kRounds = 40;
  runConcurrently(*queue, {
                              [&] {
                                for (int i = 0; i < kRounds; ++i) {
                                  auto target = service->transmissionTargetForToken("t" + std::to_string(i % 7) + "-x");
                                  target->transmissionTargetForToken("child-" + std::to_string(i % 3))->trackEvent("e");
                                  target->setEnabled(i % 2 == 0);
                                }
                              },
                              [&] {
                                for (int i = 0; i < kRounds; ++i) service->classSetEnabled(i % 2 == 1);
                              },
                              [&] {
                                for (int i = 0; i < kRounds; ++i) TLBeacon::setEnabled(i % 2 == 1);
                              },
                              [&] {
                                for (int i = 0; i < kRounds; ++i) TLAnalytics::trackEvent("plain");
                              },
                          });
  TLBeacon::setEnabled(true);
  service->classSetEnabled(true);
  EXPECT_TRUE(service->isEnabled());
  EXPECT_TRUE(service->transmissionTargetForToken("t0-x")->isEnabled()) << "enabling the service enables its targets";
}

}  // namespace
}  // namespace ml::beacon::test
