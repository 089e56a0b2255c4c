#include "ContextFixture.h"
#include "beacon/core/Context/TLUserIdContext.h"

namespace ml::beacon {
namespace {

using TLUserIdContextTest = ContextTest;

struct RecordingListener : TLUserIdContextDelegate {
  std::vector<std::optional<std::string>> updates;
  std::function<void()> onUpdate;
  void userIdContextDidUpdateUserId(TLUserIdContext&, const std::optional<std::string>& userId) override {
    updates.push_back(userId);
    if (onUpdate) onUpdate();
  }
};

TEST_F(TLUserIdContextTest, CreationWritesTheHistoryWithThisProcessRecord) {
  TLUserIdContext context(settings, clock);
  TLUserIdContext next(settings, clock);
  EXPECT_EQ(next.userIdHistory().size(), 2u);
  EXPECT_EQ(capture.count(TLLogLevel::debug, "1 userId(s) in the history."), 1u);
}

TEST_F(TLUserIdContextTest, SameIdTwiceNotifiesOnce) {
  TLUserIdContext context(settings, clock);
  auto listener = std::make_shared<RecordingListener>();
  context.addDelegate(listener);
  context.setUserId("alice");
  context.setUserId("alice");
  context.setUserId(std::nullopt);
  context.setUserId(std::nullopt);
  EXPECT_EQ(listener->updates, (std::vector<std::optional<std::string>>{"alice", std::nullopt}));
  EXPECT_EQ(context.userIdHistory().size(), 1u);
}

TEST_F(TLUserIdContextTest, LookupsPickTheNewestStrictlyEarlierRecord) {
  Date start = clock.now();
  {
    TLUserIdContext first(settings, clock);
    clock.advance(seconds(5));
    first.setUserId("alice");  // stamped start + 5 s
  }
  clock.advance(seconds(5));
  TLUserIdContext second(settings, clock);  // stamped start + 10 s, no id yet
  clock.advance(seconds(5));
  second.setUserId("bob");  // restamped start + 15 s
  EXPECT_EQ(second.userIdAt(start + seconds(6)), "alice");
  EXPECT_EQ(second.userIdAt(start + seconds(15)), "alice");
  EXPECT_EQ(second.userIdAt(start + seconds(16)), "bob");
  EXPECT_EQ(second.userIdAt(start + seconds(5)), std::nullopt);
}

TEST_F(TLUserIdContextTest, HistoryIsCappedAcrossLaunches) {
  for (int process = 0; process < 9; ++process) {
    TLUserIdContext context(settings, clock);
    clock.advance(seconds(1));
  }
  TLUserDefaults nextProcess(reopenedPreferences(), clock);
  TLUserIdContext context(nextProcess, clock);
  EXPECT_EQ(context.userIdHistory().size(), TLUserIdContext::kMaxHistoryCount);
  EXPECT_EQ(context.userIdHistory().back().timestamp, clock.now());
}

TEST_F(TLUserIdContextTest, ClearingAlwaysKeepsTheCurrentRecord) {
  { TLUserIdContext old(settings, clock); old.setUserId("old"); }
  TLUserIdContext context(settings, clock);
  context.setUserId("current");
  context.clearUserIdHistory();
  ASSERT_EQ(context.userIdHistory().size(), 1u);
  EXPECT_EQ(context.userIdHistory()[0].userId, "current");
  EXPECT_EQ(capture.count(TLLogLevel::verbose, "Cleared old userIds while keeping current userId."), 1u);
}

TEST_F(TLUserIdContextTest, ListenersAreWeakAndMayChangeTheListDuringACall) {
  TLUserIdContext context(settings, clock);
  auto listener = std::make_shared<RecordingListener>();
  auto gone = std::make_shared<RecordingListener>();
  context.addDelegate(listener);
  context.addDelegate(gone);
  gone.reset();
  listener->onUpdate = [&] { context.removeDelegate(listener); };
  context.setUserId("a");
  context.setUserId("b");
  EXPECT_EQ(listener->updates, std::vector<std::optional<std::string>>{"a"});
}

TEST(TLUserIdValidationTest, BeaconIdsAreLimitedTo256Characters) {
  ::ml::test::LogCapture capture;
  EXPECT_TRUE(TLUserIdContext::isUserIdValidForBeacon(std::nullopt));
  EXPECT_TRUE(TLUserIdContext::isUserIdValidForBeacon(std::string(256, 'a')));
  std::string multiByte;
  for (int i = 0; i < 256; ++i) multiByte += "\xC3\xA9";  // é: 512 bytes, 256 characters
  EXPECT_TRUE(TLUserIdContext::isUserIdValidForBeacon(multiByte));
  EXPECT_FALSE(TLUserIdContext::isUserIdValidForBeacon(std::string(257, 'a')));
  EXPECT_EQ(capture.count(TLLogLevel::error, "userId is limited to 256 characters."), 1u);
}

TEST(TLUserIdValidationTest, CommonCollectorIdsTakeOnlyTheCPrefix) {
  ::ml::test::LogCapture capture;
  EXPECT_TRUE(TLUserIdContext::isUserIdValidForCommonCollector(std::nullopt));
  EXPECT_TRUE(TLUserIdContext::isUserIdValidForCommonCollector("abc"));
  EXPECT_TRUE(TLUserIdContext::isUserIdValidForCommonCollector("c:abc"));
  EXPECT_FALSE(TLUserIdContext::isUserIdValidForCommonCollector("c:"));
  EXPECT_FALSE(TLUserIdContext::isUserIdValidForCommonCollector(""));
  EXPECT_FALSE(TLUserIdContext::isUserIdValidForCommonCollector("x:abc"));
  EXPECT_EQ(capture.count(TLLogLevel::error, "userId must not be empty."), 2u);
  EXPECT_EQ(capture.count(TLLogLevel::error, "userId prefix must be 'c', 'x' is not supported."), 1u);
  EXPECT_EQ(TLUserIdContext::prefixedUserIdFromUserId("abc"), "c:abc");
  EXPECT_EQ(TLUserIdContext::prefixedUserIdFromUserId("c:abc"), "c:abc");
  EXPECT_EQ(TLUserIdContext::prefixedUserIdFromUserId(std::nullopt), std::nullopt);
}

}  // namespace
}  // namespace ml::beacon
