#include "ContextFixture.h"
#include "beacon/core/Context/TLAuthTokenContext.h"
#include "beacon/core/TLEncrypter.h"
#include "platform/security/RandomSource.h"

namespace ml::beacon {
namespace {

struct RecordingListener : TLAuthTokenContextDelegate {
  std::vector<std::optional<std::string>> tokens;
  std::vector<std::optional<std::string>> accounts;
  std::vector<std::optional<std::string>> refreshes;
  void authTokenContextDidUpdateAuthToken(TLAuthTokenContext&, const std::optional<std::string>& token) override {
    tokens.push_back(token);
  }
  void authTokenContextDidUpdateAccountId(TLAuthTokenContext&, const std::optional<std::string>& account) override {
    accounts.push_back(account);
  }
  void authTokenContextRefreshAuthTokenForAccountId(TLAuthTokenContext&, const std::optional<std::string>& account) override {
    refreshes.push_back(account);
  }
};

class TLAuthTokenContextTest : public ContextTest {
 protected:
  std::unique_ptr<TLAuthTokenContext> make() {
    return std::make_unique<TLAuthTokenContext>(
        settings, clock, std::make_unique<TLEncrypter>(security::RandomSource::system(), settings, clock));
  }
  std::vector<std::optional<std::string>> tokensOf(TLAuthTokenContext& context) {
    std::vector<std::optional<std::string>> tokens;
    for (const auto& entry : context.authTokenHistory()) tokens.push_back(entry->authToken);
    return tokens;
  }

  std::unique_ptr<TLAuthTokenContext> context = make();
  std::shared_ptr<RecordingListener> listener = [this] {
    auto l = std::make_shared<RecordingListener>();
    context->addDelegate(l);
    return l;
  }();
};

TEST_F(TLAuthTokenContextTest, SameTokenTwiceChangesNothing) {
  context->setAuthToken("t1", "acc", std::nullopt);
  context->setAuthToken("t1", "acc", std::nullopt);
  EXPECT_EQ(tokensOf(*context), std::vector<std::optional<std::string>>{"t1"});
  EXPECT_EQ(listener->tokens.size(), 1u);
  EXPECT_EQ(listener->accounts, std::vector<std::optional<std::string>>{"acc"});
  EXPECT_EQ(context->authToken(), "t1");
  EXPECT_EQ(context->accountId(), "acc");
}

TEST_F(TLAuthTokenContextTest, HistoryKeepsTheFiveNewestTokens) {
  for (int i = 1; i <= 6; ++i) {
    clock.advance(seconds(1));
    context->setAuthToken("t" + std::to_string(i), "acc", std::nullopt);
  }
  EXPECT_EQ(tokensOf(*context), (std::vector<std::optional<std::string>>{"t2", "t3", "t4", "t5", "t6"}));
  EXPECT_EQ(capture.count(TLLogLevel::debug, "Size of the token history is exceeded. The oldest token has been removed."), 1u);
  // The stored history is the capped one.
  auto reread = make();
  EXPECT_EQ(tokensOf(*reread), tokensOf(*context));
}

TEST_F(TLAuthTokenContextTest, TokenAfterAnExpiryStartsAtTheExpiryForTheSameAccount) {
  Date expiry = clock.now() + seconds(60);
  context->setAuthToken("t1", "acc", expiry);
  clock.advance(seconds(100));
  context->setAuthToken("t2", "acc", std::nullopt);
  auto history = context->authTokenHistory();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[1]->startTime, expiry);
}

TEST_F(TLAuthTokenContextTest, NewAccountAfterAnExpiryGetsAGapWithoutToken) {
  Date expiry = clock.now() + seconds(60);
  context->setAuthToken("t1", "acc1", expiry);
  clock.advance(seconds(100));
  context->setAuthToken("t2", "acc2", std::nullopt);
  auto history = context->authTokenHistory();
  ASSERT_EQ(history.size(), 3u);
  EXPECT_EQ(history[1]->authToken, std::nullopt);
  EXPECT_EQ(history[1]->accountId, std::nullopt);
  EXPECT_EQ(history[1]->startTime, expiry);
  EXPECT_EQ(history[1]->expiresOn, clock.now());
  EXPECT_EQ(history[2]->startTime, clock.now());
  EXPECT_EQ(listener->accounts, (std::vector<std::optional<std::string>>{"acc1", "acc2"}));
}

TEST_F(TLAuthTokenContextTest, ValidityWindowsEndAtTheNextStartOrTheExpiry) {
  EXPECT_EQ(context->authTokenValidityArray(), std::vector<TLAuthTokenValidityInfo>{TLAuthTokenValidityInfo{}});
  Date first = clock.now();
  context->setAuthToken("t1", "acc", first + seconds(3600));
  clock.advance(seconds(10));
  Date second = clock.now();
  context->setAuthToken("t2", "acc", second + seconds(3600));
  auto windows = context->authTokenValidityArray();
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(windows[0], (TLAuthTokenValidityInfo{"t1", first, second}));
  EXPECT_EQ(windows[1], (TLAuthTokenValidityInfo{"t2", second, second + seconds(3600)}));
}

TEST_F(TLAuthTokenContextTest, OnlyTheOldestTokenIsRemoved) {
  context->setAuthToken("t1", "acc", std::nullopt);
  context->removeAuthToken("t1");
  EXPECT_EQ(capture.count(TLLogLevel::debug, "token history is empty or contains only current one."), 1u);
  context->setAuthToken("t2", "acc", std::nullopt);
  context->removeAuthToken("t2");
  EXPECT_EQ(tokensOf(*context), (std::vector<std::optional<std::string>>{"t1", "t2"}));
  EXPECT_EQ(capture.count(TLLogLevel::debug, "the token isn't oldest or is already removed."), 1u);
  context->removeAuthToken("t1");
  EXPECT_EQ(tokensOf(*context), std::vector<std::optional<std::string>>{"t2"});
  EXPECT_EQ(capture.count(TLLogLevel::debug, "The token has been removed from the history."), 1u);
}

TEST_F(TLAuthTokenContextTest, FinishInitializeOnAFreshInstallSavesNothingButTellsTheListeners) {
  context->finishInitialize();
  EXPECT_TRUE(context->authTokenHistory().empty());
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Failed to save new history state."), 1u);
  EXPECT_EQ(listener->tokens, std::vector<std::optional<std::string>>{std::nullopt});
  EXPECT_EQ(listener->accounts, std::vector<std::optional<std::string>>{std::nullopt});
  context->finishInitialize();  // once per process
  EXPECT_EQ(listener->tokens.size(), 1u);
}

TEST_F(TLAuthTokenContextTest, FinishInitializeRecordsSignOutAfterAPreviousToken) {
  context->setAuthToken("t1", "acc", std::nullopt);
  auto next = make();
  next->finishInitialize();
  EXPECT_EQ(tokensOf(*next), (std::vector<std::optional<std::string>>{"t1", std::nullopt}));
  auto prevented = make();
  prevented->preventResetAuthTokenAfterStart();
  prevented->finishInitialize();
  EXPECT_EQ(tokensOf(*prevented).size(), 2u);
}

TEST_F(TLAuthTokenContextTest, LongAccountIdReachesListenersCut) {
  context->setAuthToken("t1", std::string(40, 'a'), std::nullopt);
  EXPECT_EQ(listener->accounts, std::vector<std::optional<std::string>>{std::string(36, 'a')});
  EXPECT_EQ(context->accountId(), std::string(40, 'a'));
}

TEST_F(TLAuthTokenContextTest, ExpiringTokenAsksForARefresh) {
  context->setAuthToken("t1", "acc", clock.now() + seconds(300));
  auto windows = context->authTokenValidityArray();
  context->checkIfTokenNeedsToBeRefreshed(windows.back());
  EXPECT_EQ(listener->refreshes, std::vector<std::optional<std::string>>{"acc"});
  EXPECT_EQ(capture.count(TLLogLevel::info, "The token needs to be refreshed."), 1u);

  context->setAuthToken("t2", "acc", clock.now() + seconds(3600));
  context->checkIfTokenNeedsToBeRefreshed(context->authTokenValidityArray().back());
  context->checkIfTokenNeedsToBeRefreshed(windows.back());  // no longer the newest token
  EXPECT_EQ(listener->refreshes.size(), 1u);
}

TEST_F(TLAuthTokenContextTest, HistoryIsStoredEncrypted) {
  context->setAuthToken("secret-token-value", "acc", std::nullopt);
  auto stored = settings.objectForKey(TLAuthTokenContext::kHistoryKey);
  ASSERT_TRUE(stored && stored->data());
  std::string bytes(stored->data()->begin(), stored->data()->end());
  EXPECT_EQ(bytes.find("secret-token-value"), std::string::npos);
  auto reread = make();
  EXPECT_EQ(reread->authToken(), "secret-token-value");
  EXPECT_EQ(capture.count(TLLogLevel::debug, "Retrieved history state."), 1u);
}

TEST_F(TLAuthTokenContextTest, UnreadableHistoryIsEmpty) {
  settings.setObject(foundation::PlistValue(foundation::PlistValue::Data(64, 7)), TLAuthTokenContext::kHistoryKey);
  EXPECT_TRUE(context->authTokenHistory().empty());
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Failed to retrieve history state or none was found."), 1u);
  context->setAuthTokenHistory({});
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Failed to save new history state."), 1u);
}

TEST(TLAuthTokenValidityInfoTest, ExpiresSoonWithinTenMinutes) {
  TLAuthTokenValidityInfo::Date now{std::chrono::seconds(1000000)};
  EXPECT_TRUE((TLAuthTokenValidityInfo{"t", now, now + std::chrono::seconds(599)}.expiresSoon(now)));
  EXPECT_FALSE((TLAuthTokenValidityInfo{"t", now, now + std::chrono::seconds(600)}.expiresSoon(now)));
  EXPECT_FALSE((TLAuthTokenValidityInfo{"t", now, std::nullopt}.expiresSoon(now)));
}

}  // namespace
}  // namespace ml::beacon
