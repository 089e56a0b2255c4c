#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "ChannelFixture.h"
#include "ModelFixtures.h"
#include "beacon/core/Channel/TLChannelGroupDefault.h"
#include "beacon/core/CommonSchema/TLCommonCollectorChannelDelegate.h"
#include "beacon/core/CommonSchema/TLCommonSchemaConversion.h"
#include "beacon/core/CommonSchema/TLLogConversion.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/net/ManualNetworkMonitor.h"
#include "support/LocalHttpServer.h"

namespace ml::beacon::test {
namespace {

using ml::test::LocalHttpServer;

// An event log with a name, which converts into a valid common-schema log.
class NamedEventLog : public TLLogWithProperties, public TLLogConversion {
 public:
  explicit NamedEventLog(std::string eventName) : eventName_(std::move(eventName)) { setType("event"); }
  std::shared_ptr<TLCommonSchemaLog> toCommonSchemaLogForTargetToken(const std::string& token,
                                                                     std::int64_t flags) const override {
    auto log = TLCommonSchemaConversion::commonSchemaLogForTargetToken(*this, token, flags);
    log->name = eventName_;
    return log;
  }

 private:
  std::string eventName_;
};

std::shared_ptr<TLCommonSchemaLog> namedCsLog(const std::string& token, const std::string& name) {
  TLLogWithProperties source;
  source.setType("event");
  source.setTimestamp(sampleDate());
  source.setDevice(validDevice());
  auto log = TLCommonSchemaConversion::commonSchemaLogForTargetToken(source, token, kTLFlagsNormal);
  log->name = name;
  return log;
}

class TLCommonCollectorChannelDelegateTest : public ChannelTest {
 protected:
  TLCommonCollectorChannelDelegateTest() {
    group->addDelegate(collector);
    group->addDelegate(delegate);
  }
  ~TLCommonCollectorChannelDelegateTest() override {
    // Every answer is handled before the queue is drained for the last time.
    drainUntil([&] { return collector->commonCollectorIngestion()->pendingCallCount() == 0; });
  }

  TLHttpIngestionEnvironment collectorEnvironment() {
    TLHttpIngestionEnvironment env;
    env.clock = &clock;
    env.retryQueue = &retryQueue;
    return env;
  }

  // Runs the group's queue until `done` holds (answers arrive from the HTTP session's thread).
  // The limit is a safety net against a hung test.
  bool drainUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (true) {
      queue->drain();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  // Lets the flush timers of every unit fire and the batches go.
  void flush() {
    queue->drain();
    clock.advance(seconds(3));
    queue->drain();
  }

  LocalHttpServer server;
  dispatch::SerialQueue retryQueue{"test.collector.retry"};
  std::shared_ptr<net::ManualNetworkMonitor> monitor = std::make_shared<net::ManualNetworkMonitor>();
  foundation::Uuid installId = *foundation::Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  std::shared_ptr<TLCommonCollectorChannelDelegate> collector = std::make_shared<TLCommonCollectorChannelDelegate>(
      installId, server.baseUrl(), collectorEnvironment(), TLReachability::reachabilityWithMonitor(monitor));
  std::shared_ptr<TLChannelGroupDefault> group =
      TLChannelGroupDefault::make(FakeIngestion::asDefault(ingestion), storage, queue, environment());
};

TEST_F(TLCommonCollectorChannelDelegateTest, EveryUnitGetsACompanionWithItsFlushIntervalAndTheCollectorIngestion) {
  auto unit = group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration("Analytics", 7));
  auto companion = group->channelUnitForGroupId("Analytics/one");
  ASSERT_TRUE(companion);
  EXPECT_EQ(companion, collector->commonCollectorChannel("Analytics"));
  EXPECT_EQ(companion->configuration(), TLChannelUnitConfiguration::defaultConfiguration("Analytics/one", 7));
  // (The companion is announced from inside the unit's announcement, so in no fixed order.)
  auto added = delegate->eventsStartingWith("didAddChannelUnit");
  std::sort(added.begin(), added.end());
  EXPECT_EQ(added, (std::vector<std::string>{"didAddChannelUnit Analytics", "didAddChannelUnit Analytics/one"}));

  // A unit that is a companion itself gets none.
  group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration("Other/one"));
  EXPECT_FALSE(group->channelUnitForGroupId("Other/one/one"));
  EXPECT_FALSE(collector->commonCollectorChannel("Other/one"));
  EXPECT_EQ(collector->baseUrl(), server.baseUrl());
}

TEST_F(TLCommonCollectorChannelDelegateTest, DefaultEndpointIsTheProjectsCollector) {
  TLCommonCollectorChannelDelegate standalone(installId, std::nullopt, collectorEnvironment(),
                                              TLReachability::reachabilityWithMonitor(monitor));
  EXPECT_EQ(standalone.baseUrl(), kTLDefaultCommonCollectorUrl);
  EXPECT_EQ(standalone.commonCollectorIngestion()->sendURL(), std::string(kTLDefaultCommonCollectorUrl) + "/CommonCollector/1.0");
  standalone.setLogUrl("https://collector.example.org");
  EXPECT_EQ(standalone.commonCollectorIngestion()->sendURL(), "https://collector.example.org/CommonCollector/1.0");
}

TEST_F(TLCommonCollectorChannelDelegateTest, LogWithoutTargetTokensTakesTheOrdinaryRoadOnly) {
  auto unit = group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration("Analytics"));
  unit->enqueueItem(makeLog("plain"), kTLFlagsNormal);
  flush();
  ASSERT_EQ(ingestion->calls.size(), 1u);
  EXPECT_EQ(RecordingDelegate::nameOf(ingestion->calls[0].container->logs.at(0)), "plain");
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(TLCommonCollectorChannelDelegateTest, LogWithATokenGoesToTheCollectorAsANumberedCommonSchemaLine) {
  auto unit = group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration("Analytics"));
  auto log = std::make_shared<NamedEventLog>("clicked.button");
  log->addTransmissionTargetToken("ikey1-secret");
  unit->enqueueItem(log, kTLFlagsCritical);
  flush();
  EXPECT_TRUE(ingestion->calls.empty());  // kept out of the client's own endpoint
  ASSERT_TRUE(server.waitForRequests(1));
  auto request = server.requests().at(0);
  EXPECT_EQ(request.target, "/CommonCollector/1.0");
  EXPECT_EQ(request.header("apikey"), "ikey1-secret");
  auto line = TLJson::parse(request.body.substr(0, request.body.find('\n')));
  ASSERT_TRUE(line);
  EXPECT_EQ((*line)["name"], "clicked.button");
  EXPECT_EQ((*line)["iKey"], "o:ikey1");
  EXPECT_EQ((*line)["flags"], kTLFlagsCritical);
  EXPECT_EQ((*line)["ext"]["sdk"]["seq"], 1);
  EXPECT_EQ((*line)["ext"]["sdk"]["installId"], "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  EXPECT_TRUE((*line)["ext"]["sdk"].contains("epoch"));
  EXPECT_TRUE(drainUntil([&] { return !delegate->eventsStartingWith("didSucceed").empty(); }));
}

TEST_F(TLCommonCollectorChannelDelegateTest, CommonSchemaLogGivenToAnOrdinaryUnitIsSentByItsCompanion) {
  auto unit = group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration("Analytics"));
  unit->enqueueItem(namedCsLog("ikey1-secret", "direct.event"), kTLFlagsNormal);
  flush();
  EXPECT_TRUE(ingestion->calls.empty());
  ASSERT_TRUE(server.waitForRequests(1));
  auto line = TLJson::parse(server.requests().at(0).body);
  ASSERT_TRUE(line);
  EXPECT_EQ((*line)["ext"]["sdk"]["seq"], 1);  // numbered once, by the companion
}

TEST_F(TLCommonCollectorChannelDelegateTest, NumbersEachInstrumentationKeyFromOneWithItsOwnEpoch) {
  group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration("Analytics"));
  auto companion = collector->commonCollectorChannel("Analytics");
  auto first = namedCsLog("ikey1-a", "event.one");
  auto second = namedCsLog("ikey1-b", "event.two");
  auto other = namedCsLog("ikey2-a", "event.three");
  for (const auto& log : {first, second, other}) companion->enqueueItem(log, kTLFlagsNormal);
  EXPECT_EQ(first->ext->sdkExt->seq, 1);
  EXPECT_EQ(second->ext->sdkExt->seq, 2);
  EXPECT_EQ(first->ext->sdkExt->epoch, second->ext->sdkExt->epoch);
  EXPECT_EQ(other->ext->sdkExt->seq, 1);
  EXPECT_NE(other->ext->sdkExt->epoch, first->ext->sdkExt->epoch);
  EXPECT_EQ(first->ext->sdkExt->installId, installId);

  // Disabling the whole group with deletion starts the numbering over with a new epoch.
  group->setEnabled(false, true);
  auto after = namedCsLog("ikey1-c", "event.four");
  companion->enqueueItem(after, kTLFlagsNormal);
  EXPECT_EQ(after->ext->sdkExt->seq, 1);
  EXPECT_NE(after->ext->sdkExt->epoch, first->ext->sdkExt->epoch);
  queue->drain();
}

TEST_F(TLCommonCollectorChannelDelegateTest, CompanionDropsCommonSchemaLogsWithInvalidNames) {
  group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration("Analytics"));
  auto companion = collector->commonCollectorChannel("Analytics");
  companion->enqueueItem(namedCsLog("ikey1-a", "ab"), kTLFlagsNormal);
  flush();
  EXPECT_EQ(capture.count(TLLogLevel::error, "Log validation failed. Name must match"), 1u);
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(TLCommonCollectorChannelDelegateTest, UnitSwitchesPausesAndResumesReachTheCompanion) {
  auto unit = group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration("Analytics"));
  auto owner = std::make_shared<int>(1);
  unit->pauseWithIdentifyingObject(owner);
  queue->drain();
  auto log = std::make_shared<NamedEventLog>("paused.event");
  log->addTransmissionTargetToken("ikey1-secret");
  unit->enqueueItem(log, kTLFlagsNormal);
  flush();
  EXPECT_EQ(server.requestCount(), 0u);  // the companion is paused too
  unit->resumeWithIdentifyingObject(owner);
  flush();
  ASSERT_TRUE(server.waitForRequests(1));
  ASSERT_TRUE(drainUntil([&] { return !delegate->eventsStartingWith("didSucceed").empty(); }));

  // Disabled with deletion, the companion drops what it stored.
  unit->setEnabled(false, true);
  queue->drain();
  auto dropped = std::make_shared<NamedEventLog>("dropped.event");
  dropped->addTransmissionTargetToken("ikey1-secret");
  unit->enqueueItem(dropped, kTLFlagsNormal);
  flush();
  EXPECT_EQ(server.requestCount(), 1u);
  EXPECT_EQ(delegate->eventsStartingWith("didSetEnabled 01").size(), 2u);  // the unit and its companion
}

TEST(TLCommonCollectorChannelDelegateRules, LogNamesNeedFourToAHundredCharactersOfTheAllowedKinds) {
  ml::test::LogCapture capture;
  using D = TLCommonCollectorChannelDelegate;
  EXPECT_TRUE(D::validateLogName("page.view_2"));
  EXPECT_TRUE(D::validateLogName(std::string(100, 'a')));
  EXPECT_FALSE(D::validateLogName(std::string(101, 'a')));
  EXPECT_FALSE(D::validateLogName("a..b"));
  EXPECT_FALSE(D::validateLogName("abcd."));
  EXPECT_FALSE(D::validateLogName("_abc"));
  EXPECT_FALSE(D::validateLogName("ab-cd"));
  EXPECT_FALSE(D::validateLogName("ab"));
  EXPECT_EQ(capture.count(TLLogLevel::error,
                          "Log validation failed. Name must match '^[a-zA-Z0-9]((\\.(?!(\\.|$)))|[_a-zA-Z0-9]){3,99}$' "
                          "but was 'ab'"),
            1u);
  EXPECT_FALSE(D::validateLogName(std::nullopt));
  EXPECT_FALSE(D::validateLogName(""));
  EXPECT_EQ(capture.count(TLLogLevel::error, "Log validation failed. Name must not be nil or empty."), 2u);
}

TEST(TLCommonCollectorChannelDelegateRules, OnlyLogsWithTokensThatAreNotCommonSchemaGoToTheCollector) {
  using D = TLCommonCollectorChannelDelegate;
  auto log = makeLog("x");
  EXPECT_FALSE(D::shouldSendLogToCommonCollector(*log));
  log->addTransmissionTargetToken("t-1");
  EXPECT_TRUE(D::shouldSendLogToCommonCollector(*log));
  EXPECT_FALSE(D::shouldSendLogToCommonCollector(*namedCsLog("t-1", "name.x")));
  EXPECT_TRUE(D::isCommonCollectorGroup("Analytics/one"));
  EXPECT_FALSE(D::isCommonCollectorGroup("Analytics/oneX"));
  EXPECT_FALSE(D::isCommonCollectorGroup("one"));
}

}  // namespace
}  // namespace ml::beacon::test
