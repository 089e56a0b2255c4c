#include "AnalyticsFixture.h"
#include "beacon/core/TLStartServiceLog.h"

namespace ml::beacon::test {
namespace {

using ml::beacon::TLLogLevel;
using std::chrono::seconds;

// The tracker alone, with a recording delegate; the analytics service is not involved.
class TLSessionTrackerTest : public AnalyticsTest {
 protected:
  struct Recorder : TLSessionTrackerDelegate {
    void sessionTrackerProcessLog(TLSessionTracker&, const std::shared_ptr<TLAbstractLog>& log) override {
      logs.push_back(log);
    }
    std::vector<std::shared_ptr<TLAbstractLog>> logs;
  };

  TLSessionTrackerTest() { tracker->setDelegate(recorder); }
  ~TLSessionTrackerTest() override { tracker->stop(); }

  // A log passing the prepare step now.
  void logCreated() {
    auto log = std::make_shared<TLEventLog>();
    tracker->channelPrepareLog(*group(), log);
  }
  std::shared_ptr<TLChannelGroupDefault> group() {
    if (!ServiceTest::group) startClient();
    return ServiceTest::group;
  }
  void resignFor(seconds inactive) {
    forwarder->applicationDidResignActive();
    clock.advance(inactive);
    forwarder->applicationDidBecomeActive();
  }

  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
  std::shared_ptr<TLSessionTracker> tracker = std::make_shared<TLSessionTracker>(trackerEnvironment());
};

TEST_F(TLSessionTrackerTest, FirstStartInFrontMakesOneSessionWithItsStartLog) {
  tracker->start();
  tracker->start();
  ASSERT_EQ(recorder->logs.size(), 1u);
  auto* start = dynamic_cast<TLStartSessionLog*>(recorder->logs[0].get());
  ASSERT_TRUE(start);
  auto sessionId = TLSessionContext::sharedInstance()->sessionId();
  ASSERT_TRUE(sessionId);
  EXPECT_EQ(start->sid(), sessionId);
  EXPECT_TRUE(foundation::Uuid::parse(*sessionId));
  EXPECT_EQ(capture.count(TLLogLevel::info, "New session ID: " + *sessionId), 1u);
}

TEST_F(TLSessionTrackerTest, ShortAbsenceOrRecentLogKeepsTheSession) {
  tracker->start();
  resignFor(seconds(10));
  EXPECT_EQ(recorder->logs.size(), 1u);
  forwarder->applicationDidResignActive();
  clock.advance(seconds(20));
  logCreated();
  clock.advance(seconds(5));
  forwarder->applicationDidBecomeActive();
  EXPECT_EQ(recorder->logs.size(), 1u) << "a log 5 s ago keeps the session";
}

TEST_F(TLSessionTrackerTest, LongAbsenceWithoutLogsStartsANewSession) {
  tracker->start();
  auto first = TLSessionContext::sharedInstance()->sessionId();
  resignFor(seconds(25));
  ASSERT_EQ(recorder->logs.size(), 2u);
  EXPECT_NE(TLSessionContext::sharedInstance()->sessionId(), first);
}

TEST_F(TLSessionTrackerTest, ExtensionRenewsAfterTimeoutWhateverTheActivity) {
  isApplicationExtension = true;
  tracker->start();
  clock.advance(seconds(21));
  forwarder->applicationDidBecomeActive();
  EXPECT_EQ(recorder->logs.size(), 2u);
}

TEST_F(TLSessionTrackerTest, PrepareStampsSessionExceptOnStartLogsAndKeepsOwnSessionIds) {
  group();  // the client's start begins a session of its own service first
  TLSessionContext::sharedInstance()->setSessionId(std::nullopt);
  tracker->start();
  auto sessionId = TLSessionContext::sharedInstance()->sessionId();
  auto event = std::make_shared<TLEventLog>();
  tracker->channelPrepareLog(*group(), event);
  EXPECT_EQ(event->sid(), sessionId);
  EXPECT_EQ(tracker->lastCreatedLogTime(), clock.now());

  clock.advance(seconds(1));
  auto startService = std::make_shared<TLStartServiceLog>();
  auto startSession = std::make_shared<TLStartSessionLog>();
  tracker->channelPrepareLog(*group(), startService);
  tracker->channelPrepareLog(*group(), startSession);
  EXPECT_FALSE(startService->sid());
  EXPECT_FALSE(startSession->sid());
  EXPECT_NE(tracker->lastCreatedLogTime(), clock.now());

  struct OwnSessionLog : TLEventLog, TLNoAutoAssignSessionIdLog {};
  auto own = std::make_shared<OwnSessionLog>();
  own->setSid("EARLIER");
  tracker->channelPrepareLog(*group(), own);
  EXPECT_EQ(own->sid(), "EARLIER");
  EXPECT_EQ(tracker->lastCreatedLogTime(), clock.now());
}

TEST_F(TLSessionTrackerTest, StartInBackgroundWaitsForTheNextActivation) {
  tracker->start();
  tracker->stop();
  EXPECT_FALSE(TLSessionContext::sharedInstance()->sessionId());
  applicationState = TLUtilityApplication::kBackground;
  tracker->start();
  EXPECT_EQ(recorder->logs.size(), 1u);
  forwarder->applicationDidBecomeActive();
  EXPECT_EQ(recorder->logs.size(), 2u) << "stop cleared the session id";
}

TEST_F(TLSessionTrackerTest, StoppedTrackerIgnoresActivationAndClearsTheObsoleteKey) {
  TLUserDefaults::shared().setObject(foundation::PlistValue(std::string("old")), "pastSessionsKey");
  auto fresh = std::make_shared<TLSessionTracker>(trackerEnvironment());
  EXPECT_FALSE(TLUserDefaults::shared().objectForKey("pastSessionsKey"));
  forwarder->applicationDidBecomeActive();
  EXPECT_TRUE(recorder->logs.empty());
}

}  // namespace
}  // namespace ml::beacon::test
