#include <algorithm>

#include "ChannelFixture.h"
#include "beacon/core/Channel/TLChannelGroupDefault.h"
#include "beacon/core/Channel/TLChannelUnitDefault.h"

namespace ml::beacon::test {
namespace {

using Strings = std::vector<std::string>;
using ml::beacon::TLLogLevel;

class TLChannelGroupTest : public ChannelTest {
 protected:
  TLChannelGroupTest() { group->addDelegate(delegate); }

  std::shared_ptr<TLChannelGroupDefault> group = TLChannelGroupDefault::make(FakeIngestion::asDefault(ingestion), storage, queue, environment());
  TLChannelUnitConfiguration configuration = TLChannelUnitConfiguration::defaultConfiguration("Test");
};

// Adds a companion unit "<id>/one" for every unit that is not one itself, from inside the
// group's announcement.
class CompanionAdder : public RecordingDelegate {
 public:
  void channelGroupDidAddChannelUnit(TLChannelGroupProtocol& group,
                                     const std::shared_ptr<TLChannelUnitProtocol>& unit) override {
    const std::string& id = unit->configuration().groupId;
    if (id.size() >= 4 && id.compare(id.size() - 4, 4, "/one") == 0) return;
    group.addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration(id + "/one"));
  }
};

TEST_F(TLChannelGroupTest, QueueIsLabelledWithTheClientPrefix) {
  EXPECT_EQ(TLChannelGroupDefault::queueLabel(), "org.marrowlane.beacon.ChannelGroupQueue");
}

TEST_F(TLChannelGroupTest, AddedUnitWorksOnTheGroupsQueueAndIsAnnounced) {
  auto unit = group->addChannelUnitWithConfiguration(configuration);
  ASSERT_TRUE(unit);
  EXPECT_EQ(&unit->logsDispatchQueue(), queue.get());
  EXPECT_EQ(unit->configuration(), configuration);
  EXPECT_EQ(delegate->events(), Strings{"didAddChannelUnit Test"});
  EXPECT_EQ(queue->pending(), 1u) << "the unit's first check waits on the queue";
  queue->drain();
  EXPECT_TRUE(ingestion->calls.empty());
}

TEST_F(TLChannelGroupTest, UnitSendsThroughTheGroupsIngestionUnlessGivenOne) {
  auto own = std::make_shared<FakeIngestion>();
  auto shared = group->addChannelUnitWithConfiguration(configuration);
  auto separate = group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration("Other"), own);
  shared->enqueueItem(makeLog("a"), kTLFlagsNormal);
  separate->enqueueItem(makeLog("b"), kTLFlagsNormal);
  queue->drain();
  clock.advance(seconds(3));
  queue->drain();
  ASSERT_EQ(ingestion->calls.size(), 1u);
  ASSERT_EQ(own->calls.size(), 1u);
  EXPECT_EQ(RecordingDelegate::nameOf(ingestion->calls[0].container->logs.at(0)), "a");
  EXPECT_EQ(RecordingDelegate::nameOf(own->calls[0].container->logs.at(0)), "b");
}

TEST_F(TLChannelGroupTest, LookupAnswersTheFirstUnitOfAGroupId) {
  auto first = group->addChannelUnitWithConfiguration(configuration);
  auto second = group->addChannelUnitWithConfiguration(configuration);
  EXPECT_NE(first, second);
  EXPECT_EQ(group->channelUnitForGroupId("Test"), first);
  EXPECT_EQ(group->channelUnitForGroupId("Missing"), nullptr);
}

TEST_F(TLChannelGroupTest, UnitCallbacksReachTheGroupsDelegatesWithTheUnitAsChannel) {
  struct ChannelCheck : RecordingDelegate {
    TLChannelProtocol* seen = nullptr;
    void channelPrepareLog(TLChannelProtocol& channel, const Log& log) override {
      seen = &channel;
      RecordingDelegate::channelPrepareLog(channel, log);
    }
  };
  auto check = std::make_shared<ChannelCheck>();
  group->addDelegate(check);
  auto unit = group->addChannelUnitWithConfiguration(configuration);
  unit->enqueueItem(makeLog("a"), kTLFlagsNormal);
  queue->drain();
  EXPECT_EQ(check->seen, unit.get());
  EXPECT_EQ(check->events(), (Strings{"didAddChannelUnit Test", "prepare a", "didPrepare a flags=1", "shouldFilter a",
                               "didComplete a"}));
  clock.advance(seconds(3));
  queue->drain();
  ingestion->answer(0, 200);
  queue->drain();
  EXPECT_EQ(check->eventsStartingWith("willSend"), Strings{"willSend a"});
  EXPECT_EQ(check->eventsStartingWith("didSucceed"), Strings{"didSucceed a"});
}

TEST_F(TLChannelGroupTest, FilteringStopsAtTheFirstDelegateThatFilters) {
  auto later = std::make_shared<RecordingDelegate>();
  group->addDelegate(later);
  delegate->filter = [](const auto&) { return true; };
  auto unit = group->addChannelUnitWithConfiguration(configuration);
  unit->enqueueItem(makeLog("a"), kTLFlagsNormal);
  queue->drain();
  EXPECT_EQ(later->eventsStartingWith("shouldFilter"), Strings{});
  EXPECT_EQ(storedLogs(), 0u);
}

TEST_F(TLChannelGroupTest, PausingTheGroupStopsTheIngestionAndEveryUnit) {
  auto first = group->addChannelUnitWithConfiguration(configuration);
  auto second = group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration("Other"));
  auto pauser = std::make_shared<int>(1);
  group->pauseWithIdentifyingObject(pauser);
  queue->drain();
  EXPECT_EQ(ingestion->enabledCalls, (std::vector<std::pair<bool, bool>>{{false, false}}));
  for (const auto& unit : group->channels()) EXPECT_TRUE(unit->state().paused);
  group->resumeWithIdentifyingObject(pauser);
  queue->drain();
  EXPECT_EQ(ingestion->enabledCalls.back(), (std::pair<bool, bool>{true, false}));
  for (const auto& unit : group->channels()) EXPECT_FALSE(unit->state().paused);
}

TEST_F(TLChannelGroupTest, SwitchReachesTheIngestionEveryUnitAndTheDelegates) {
  group->addChannelUnitWithConfiguration(configuration);
  group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration("Other"));
  delegate->clear();
  group->setEnabled(false, true);
  EXPECT_EQ(ingestion->enabledCalls, (std::vector<std::pair<bool, bool>>{{false, true}}));
  EXPECT_EQ(delegate->events(), Strings{"didSetEnabled 01"}) << "the group's own switch is told at once";
  queue->drain();
  EXPECT_EQ(delegate->eventsStartingWith("didSetEnabled").size(), 3u) << "then each unit's";
  for (const auto& unit : group->channels()) EXPECT_TRUE(unit->state().discardLogs);
}

TEST_F(TLChannelGroupTest, SecretUrlAndStorageCapAreHandedOn) {
  group->setAppSecret("secret");
  group->setLogUrl("https://example.invalid");
  EXPECT_EQ(ingestion->appSecret, "secret");
  EXPECT_EQ(ingestion->baseUrls, Strings{"https://example.invalid"});

  std::optional<bool> applied;
  group->setMaxStorageSize(64 * 1024, [&](bool ok) { applied = ok; });
  EXPECT_TRUE(storage->maxSizes.empty()) << "the store is used on the queue only";
  queue->drain();
  EXPECT_EQ(storage->maxSizes, std::vector<std::int64_t>{64 * 1024});
  EXPECT_EQ(applied, true);
}

TEST_F(TLChannelGroupTest, LogsEvictedFromTheFullStoreFailAtTheirOwnUnitWithOneWarningPerSave) {
  group->setMaxStorageSize(12 * 4096, {});
  auto older = group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration("Older"));
  auto newer = group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration("Newer"));
  const std::string padding(700, 'x');
  older->enqueueItem(makeLog("old" + padding), kTLFlagsNormal);
  queue->drain();
  for (int i = 0; i < 200 && delegate->eventsStartingWith("didFail").empty(); ++i) {
    newer->enqueueItem(makeLog("new" + padding), kTLFlagsNormal);
    queue->drain();
  }
  // One save made room by deleting the oldest rows, the other unit's first.
  const std::string code = " code=" + std::to_string(TLChannelUnitDefault::kLogsEvictedErrorCode);
  const Strings failed = delegate->eventsStartingWith("didFail");
  ASSERT_FALSE(failed.empty());
  EXPECT_NE(std::find(failed.begin(), failed.end(), "didFail old" + padding + code), failed.end());
  for (const auto& event : failed) EXPECT_TRUE(event.ends_with(code)) << event;
  EXPECT_EQ(failed.size(), capture.count(TLLogLevel::debug, "to store a new log."));
  EXPECT_EQ(capture.count(TLLogLevel::warning, "oldest log(s) with equal or lower priority deleted."), 1u);
}

TEST_F(TLChannelGroupTest, DelegateMayAddAUnitFromTheAnnouncement) {
  group->addDelegate(std::make_shared<CompanionAdder>());
  auto adder = std::make_shared<CompanionAdder>();
  group->addDelegate(adder);
  group->addChannelUnitWithConfiguration(configuration);
  EXPECT_TRUE(group->channelUnitForGroupId("Test/one"));
  EXPECT_EQ(group->channels().size(), 2u) << "the expired adder is skipped; the live one adds once";
}

TEST_F(TLChannelGroupTest, ReleasedDelegateHearsNothingFurther) {
  auto gone = std::make_shared<RecordingDelegate>();
  std::weak_ptr<RecordingDelegate> weak = gone;
  group->addDelegate(gone);
  gone.reset();
  EXPECT_TRUE(weak.expired()) << "the group holds delegates weakly";
  auto unit = group->addChannelUnitWithConfiguration(configuration);
  unit->enqueueItem(makeLog("a"), kTLFlagsNormal);
  queue->drain();
  EXPECT_EQ(delegate->eventsStartingWith("didComplete"), Strings{"didComplete a"});
}

TEST_F(TLChannelGroupTest, EveryUnitHearsOfANewAuthToken) {
  group->addChannelUnitWithConfiguration(configuration);
  group->addChannelUnitWithConfiguration(TLChannelUnitConfiguration::defaultConfiguration("Other"));
  queue->drain();
  authTokens->setAuthToken("token", "account", std::nullopt);
  queue->drain();
  EXPECT_EQ(capture.count(TLLogLevel::info, "New auth token received, flushing queue."), 2u);
}

}  // namespace
}  // namespace ml::beacon::test
