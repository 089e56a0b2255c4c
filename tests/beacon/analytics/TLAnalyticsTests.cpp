#include "AnalyticsFixture.h"
#include "beacon/core/Channel/TLChannelUnitDefault.h"
#include "support/ManualMainLoop.h"

namespace ml::beacon::test {
namespace {

using ml::beacon::TLLogLevel;

class TLAnalyticsTest : public AnalyticsTest {};

class RecordingAnalyticsDelegate : public TLAnalyticsDelegate {
 public:
  void analyticsWillSendEventLog(TLAnalytics&, const std::shared_ptr<TLEventLog>& log) override {
    calls.push_back("willSendEvent " + log->name.value_or(""));
  }
  void analyticsDidSucceedSendingEventLog(TLAnalytics&, const std::shared_ptr<TLEventLog>& log) override {
    calls.push_back("didSucceedEvent " + log->name.value_or(""));
  }
  void analyticsDidFailSendingEventLog(TLAnalytics&, const std::shared_ptr<TLEventLog>& log,
                                       const std::optional<foundation::Error>& error) override {
    calls.push_back("didFailEvent " + log->name.value_or("") + (error ? " error" : ""));
  }
  std::vector<std::string> calls;
};

TEST_F(TLAnalyticsTest, TransmissionIntervalAcceptsThreeSecondsToOneDayBeforeStartOnly) {
  service->setTransmissionIntervalInstance(2);
  service->setTransmissionIntervalInstance(86401);
  EXPECT_EQ(service->flushInterval(), 3u);
  EXPECT_EQ(capture.count(TLLogLevel::error, "The transmission interval is not valid, it should be between 3 second(s) "
                                             "and 86400 second(s) (1 day)."),
            2u);
  service->setTransmissionIntervalInstance(86400);
  EXPECT_EQ(service->flushInterval(), 86400u);
  TLAnalytics::setTransmissionInterval(30);
  EXPECT_EQ(service->flushInterval(), 30u);
  EXPECT_EQ(capture.count(TLLogLevel::debug, "Transmission interval set to 30 second(s)"), 1u);

  startClient();
  EXPECT_EQ(service->channelUnit()->configuration().flushInterval, 30u);
  EXPECT_EQ(service->criticalChannelUnit()->configuration().flushInterval, 3u);
  service->setTransmissionIntervalInstance(60);
  EXPECT_EQ(service->flushInterval(), 30u);
  EXPECT_EQ(capture.count(TLLogLevel::error,
                          "The transmission interval should be set before the TLAnalytics service is started."),
            1u);
}

TEST_F(TLAnalyticsTest, StartAddsNormalAndCriticalUnitsAndBeginsASession) {
  startClient();
  ASSERT_TRUE(service->channelUnit());
  EXPECT_EQ(service->channelUnit()->configuration().groupId, "Analytics");
  ASSERT_TRUE(service->criticalChannelUnit());
  EXPECT_EQ(service->criticalChannelUnit()->configuration().groupId, "Analytics_critical");
  EXPECT_EQ(capture.count(TLLogLevel::verbose, "Started Analytics service."), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::info, "Analytics service has been enabled."), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::info, "New session ID: "), 1u);
  auto sessions = stored<TLStartSessionLog>("Analytics");
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0]->sid(), TLSessionContext::sharedInstance()->sessionId());
  EXPECT_TRUE(TLAnalyticsCategory::isActivated());
}

TEST_F(TLAnalyticsTest, TrackedEventCarriesIdSessionAndValidatedTypedProperties) {
  startClient();
  TLEventProperties typed;
  typed.setString(std::string(130, 'v'), "s").setInt64(7, "n");
  TLAnalytics::trackEvent("Info window opened", typed);
  auto events = stored<TLEventLog>("Analytics");
  ASSERT_EQ(events.size(), 1u);
  const auto& event = events[0];
  EXPECT_EQ(event->name, "Info window opened");
  ASSERT_TRUE(event->eventId);
  EXPECT_EQ(event->eventId->size(), 36u);
  EXPECT_TRUE(foundation::Uuid::parse(*event->eventId));
  EXPECT_EQ(event->sid(), TLSessionContext::sharedInstance()->sessionId());
  ASSERT_TRUE(event->typedProperties);
  auto json = event->typedProperties->serializeToArray();
  EXPECT_EQ(json[1]["value"].get<std::string>().size(), 125u);
}

TEST_F(TLAnalyticsTest, StringPropertiesBecomeStringTypedPropertiesAndEmptyBagsAreLeftOut) {
  startClient();
  TLAnalytics::trackEvent("with", TLStringProperties{{"reason", "exists"}});
  TLAnalytics::trackEvent("without");
  auto events = stored<TLEventLog>("Analytics");
  ASSERT_EQ(events.size(), 2u);
  for (const auto& event : events) {
    if (event->name == "with") {
      ASSERT_TRUE(event->typedProperties);
      EXPECT_EQ(event->typedProperties->serializeToArray()[0], TLJsonValue({{"type", "string"}, {"name", "reason"}, {"value", "exists"}}));
    } else {
      EXPECT_FALSE(event->typedProperties);
      EXPECT_FALSE(event->serializeToDictionary().contains("typedProperties"));
    }
  }
}

TEST_F(TLAnalyticsTest, FlagsLowByteChoosesTheUnitAndOthersFallBackToNormal) {
  startClient();
  TLStringProperties none;
  TLAnalytics::trackEvent("zero", none, 0);
  TLAnalytics::trackEvent("three", none, 3);
  TLAnalytics::trackEvent("normal", none, 0x101);
  TLAnalytics::trackEvent("critical", none, 2);
  TLAnalytics::trackEvent("critical high", none, 0x102);
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Invalid flags (0) received, using normal as a default."), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Invalid flags (3) received, using normal as a default."), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Invalid flags"), 2u);
  EXPECT_EQ(stored<TLEventLog>("Analytics").size(), 3u);
  EXPECT_EQ(stored<TLEventLog>("Analytics_critical").size(), 2u);
}

TEST_F(TLAnalyticsTest, FilterDropsUnnamedEventsAndCutsLongNamesBeforeStorage) {
  startClient();
  TLAnalytics::trackEvent("");
  TLAnalytics::trackEvent(std::string(300, 'n'));
  auto events = stored<TLEventLog>("Analytics");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]->name->size(), 256u);
  EXPECT_EQ(capture.count(TLLogLevel::error, "event name cannot be null or empty"), 1u);
}

TEST_F(TLAnalyticsTest, PageWithoutPropertiesHasNoPropertiesKey) {
  startClient();
  TLAnalytics::trackPage("Settings", TLStringProperties{});
  TLAnalytics::trackPage("Inspector", TLStringProperties{{"k", "v"}});
  auto pages = stored<TLPageLog>("Analytics");
  ASSERT_EQ(pages.size(), 2u);
  for (const auto& page : pages) {
    auto json = page->serializeToDictionary();
    EXPECT_EQ(json.contains("properties"), page->name == "Inspector");
    EXPECT_EQ(json["type"], "page");
  }
}

TEST_F(TLAnalyticsTest, TrackingBeforeStartLogsTheStartErrorAndSendsNothing) {
  TLAnalytics::trackEvent("early");
  EXPECT_EQ(capture.count(TLLogLevel::error, "Analytics service hasn't been started."), 1u);
  startClient();
  EXPECT_TRUE(stored<TLEventLog>("Analytics").empty());
}

TEST_F(TLAnalyticsTest, DisablingStopsTrackingDeletesLogsAndEndsTheSession) {
  startClient();
  TLAnalytics::trackEvent("kept?", TLStringProperties{}, 2);
  queue->drain();
  service->classSetEnabled(false);
  EXPECT_EQ(capture.count(TLLogLevel::info, "Analytics service has been disabled."), 1u);
  TLAnalytics::trackEvent("while disabled");
  EXPECT_TRUE(stored<TLEventLog>("Analytics").empty());
  EXPECT_TRUE(stored<TLEventLog>("Analytics_critical").empty());
  EXPECT_FALSE(TLSessionContext::sharedInstance()->sessionId());
  EXPECT_FALSE(service->sessionTracker()->isStarted());

  service->classSetEnabled(true);
  TLAnalytics::trackEvent("again");
  EXPECT_EQ(stored<TLEventLog>("Analytics").size(), 1u);
  EXPECT_TRUE(TLSessionContext::sharedInstance()->sessionId());
}

TEST_F(TLAnalyticsTest, DelegateHearsEventOutcomesAndNothingOfPagesItDoesNotImplement) {
  auto delegate = std::make_shared<RecordingAnalyticsDelegate>();
  TLAnalytics::setDelegate(delegate);
  startClient();
  TLChannelUnitDefault& unit = static_cast<TLChannelUnitDefault&>(*service->channelUnit());
  auto event = std::make_shared<TLEventLog>();
  event->name = "e";
  auto page = std::make_shared<TLPageLog>();
  page->name = "p";
  auto start = std::make_shared<TLStartSessionLog>();
  for (const auto& log : std::vector<std::shared_ptr<TLAbstractLog>>{event, page, start}) {
    service->channelWillSendLog(unit, log);
    service->channelDidSucceedSendingLog(unit, log);
    service->channelDidFailSendingLog(unit, log, foundation::Error::make("test", 1, "failed"));
  }
  EXPECT_EQ(delegate->calls,
            (std::vector<std::string>{"willSendEvent e", "didSucceedEvent e", "didFailEvent e error"}));
}

TEST_F(TLAnalyticsTest, SentEventReachesTheDelegateThroughTheChannel) {
  auto delegate = std::make_shared<RecordingAnalyticsDelegate>();
  TLAnalytics::setDelegate(delegate);
  startClient();
  TLAnalytics::trackEvent("sent");
  queue->drain();
  clock.advance(std::chrono::seconds(3));
  queue->drain();
  ASSERT_FALSE(ingestion->calls.empty());
  for (std::size_t i = 0; i < ingestion->calls.size(); ++i) ingestion->answer(i, 200);
  queue->drain();
  EXPECT_EQ(delegate->calls, (std::vector<std::string>{"willSendEvent sent", "didSucceedEvent sent"}));
}

TEST_F(TLAnalyticsTest, PauseAndResumeHoldBothUnits) {
  startClient();
  TLAnalytics::pause();
  queue->drain();
  auto normal = std::dynamic_pointer_cast<TLChannelUnitDefault>(service->channelUnit());
  auto critical = std::dynamic_pointer_cast<TLChannelUnitDefault>(service->criticalChannelUnit());
  ASSERT_TRUE(normal && critical);
  EXPECT_TRUE(normal->state().paused);
  EXPECT_TRUE(critical->state().paused);
  TLAnalytics::resume();
  queue->drain();
  EXPECT_FALSE(normal->state().paused);
  EXPECT_FALSE(critical->state().paused);
}

TEST_F(TLAnalyticsTest, MissedPageIsTrackedWhenTheServiceBecomesEnabledWithAutoTracking) {
  ml::test::ManualMainLoop mainLoop;
  TLAnalytics::setAutoPageTrackingEnabled(true);
  TLAnalyticsCategory::viewWillAppear("Module.SettingsViewController");
  TLAnalyticsCategory::viewWillAppear("Module.Inspector");
  EXPECT_EQ(TLAnalyticsCategory::missedPageViewName(), "Inspector");
  startClient();
  mainLoop.drain();
  auto pages = stored<TLPageLog>("Analytics");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0]->name, "Inspector");
  TLAnalyticsCategory::viewWillAppear("ViewController");
  EXPECT_FALSE(TLAnalyticsCategory::missedPageViewName());
  // A load hands out each stored log once: only the new page comes back.
  pages = stored<TLPageLog>("Analytics");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0]->name, "ViewController");
}

TEST_F(TLAnalyticsTest, WithoutAutoTrackingAppearingViewsTrackNothing) {
  startClient();
  TLAnalyticsCategory::viewWillAppear("SettingsViewController");
  EXPECT_TRUE(stored<TLPageLog>("Analytics").empty());
  EXPECT_FALSE(TLAnalyticsCategory::missedPageViewName());
}

TEST(TLAnalyticsCategoryTest, PageNamesDropModulePrefixAndViewControllerSuffix) {
  EXPECT_EQ(TLAnalyticsCategory::pageName("Module.SettingsViewController"), "Settings");
  EXPECT_EQ(TLAnalyticsCategory::pageName("ViewController"), "ViewController");
  EXPECT_EQ(TLAnalyticsCategory::pageName("Module.Inspector"), "Inspector");
  EXPECT_FALSE(TLAnalyticsCategory::shouldTrackPageView("NSTabViewController"));
  EXPECT_FALSE(TLAnalyticsCategory::shouldTrackPageView("NSSplitViewController"));
  EXPECT_FALSE(TLAnalyticsCategory::shouldTrackPageView("NSPageController"));
  EXPECT_TRUE(TLAnalyticsCategory::shouldTrackPageView("MyTabViewController"));
}

}  // namespace
}  // namespace ml::beacon::test
