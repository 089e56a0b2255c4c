#include "ContextFixture.h"
#include "beacon/core/Context/TLSessionContext.h"

namespace ml::beacon {
namespace {

using TLSessionContextTest = ContextTest;

std::vector<std::optional<std::string>> idsOf(const std::vector<TLSessionHistoryInfo>& history) {
  std::vector<std::optional<std::string>> ids;
  for (const auto& record : history) ids.push_back(record.sessionId);
  return ids;
}

TEST_F(TLSessionContextTest, EachProcessAddsOneRecordAndLookupsPickTheOneBefore) {
  Date start = clock.now();
  for (int process = 1; process <= 3; ++process) {
    TLSessionContext context(settings, clock);
    clock.advance(seconds(1));
    context.setSessionId("s" + std::to_string(process));
    clock.advance(seconds(1));
    context.setSessionId("s" + std::to_string(process) + "b");  // updated in place
    clock.advance(seconds(8));
  }
  TLSessionContext context(settings, clock);
  EXPECT_EQ(idsOf(context.sessionHistory()),
            (std::vector<std::optional<std::string>>{"s1b", "s2b", "s3b", std::nullopt}));
  // Records are stamped at the last change: 2 s, 12 s and 22 s after the start.
  EXPECT_EQ(context.sessionIdAt(start + seconds(15)), "s2b");
  EXPECT_EQ(context.sessionIdAt(start + seconds(12)), "s1b");  // equal time: not that record
  EXPECT_EQ(context.sessionIdAt(start + seconds(2)), std::nullopt);
  EXPECT_EQ(context.sessionId(), std::nullopt);
}

TEST_F(TLSessionContextTest, NothingIsWrittenBeforeTheFirstChange) {
  { TLSessionContext context(settings, clock); }
  EXPECT_FALSE(settings.objectForKey(TLSessionContext::kHistoryKey));
  TLSessionContext context(settings, clock);
  context.setSessionId("s");
  EXPECT_TRUE(settings.objectForKey(TLSessionContext::kHistoryKey));
  EXPECT_EQ(capture.count(TLLogLevel::verbose, "Stored new session with id:s and timestamp: 2025-01-01T00:00:00.000Z."), 1u);
}

TEST_F(TLSessionContextTest, HistoryIsCappedAcrossLaunches) {
  for (int process = 1; process <= 8; ++process) {
    TLSessionContext context(settings, clock);
    clock.advance(seconds(1));
    context.setSessionId("s" + std::to_string(process));
  }
  TLUserDefaults nextProcess(reopenedPreferences(), clock);
  TLSessionContext context(nextProcess, clock);
  EXPECT_EQ(idsOf(context.sessionHistory()),
            (std::vector<std::optional<std::string>>{"s5", "s6", "s7", "s8", std::nullopt}));
  EXPECT_EQ(capture.count(TLLogLevel::debug, "5 session(s) in the history."), 4u);
}

TEST_F(TLSessionContextTest, ClearingKeepsTheCurrentSessionOnlyWhenAsked) {
  { TLSessionContext old(settings, clock); old.setSessionId("old"); }
  TLSessionContext context(settings, clock);
  context.setSessionId("current");
  context.clearSessionHistoryAndKeepCurrentSession(true);
  EXPECT_EQ(idsOf(context.sessionHistory()), std::vector<std::optional<std::string>>{"current"});
  context.clearSessionHistoryAndKeepCurrentSession(false);
  EXPECT_TRUE(context.sessionHistory().empty());
  EXPECT_EQ(capture.count(TLLogLevel::verbose, "Cleared old sessions."), 2u);
  clock.advance(seconds(1));
  context.setSessionId("again");
  EXPECT_EQ(idsOf(context.sessionHistory()), std::vector<std::optional<std::string>>{"again"});
}

TEST_F(TLSessionContextTest, UnreadableHistoryStartsEmpty) {
  settings.setObject(foundation::PlistValue(foundation::PlistValue::Data{1, 2, 3}), TLSessionContext::kHistoryKey);
  TLSessionContext context(settings, clock);
  EXPECT_EQ(context.sessionHistory().size(), 1u);
  settings.setObject(foundation::PlistValue("not data"), TLSessionContext::kHistoryKey);
  TLSessionContext second(settings, clock);
  EXPECT_EQ(second.sessionHistory().size(), 1u);
}

TEST_F(TLSessionContextTest, SharedInstanceIsMadeOnceUntilReset) {
  auto first = TLSessionContext::sharedInstance();
  EXPECT_EQ(TLSessionContext::sharedInstance(), first);
  TLSessionContext::resetSharedInstance();
  EXPECT_NE(TLSessionContext::sharedInstance(), first);
  TLSessionContext::resetSharedInstance();
}

}  // namespace
}  // namespace ml::beacon
