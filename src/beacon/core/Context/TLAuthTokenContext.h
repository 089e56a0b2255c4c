#pragma once
// Keeper of the user's authentication token for the ingestion: every token change is recorded
// with its account, start time and expiry in a short history (at most kMaxHistoryCount entries),
// stored encrypted under "TLBeaconAuthTokenHistory" in the settings store, so that each stored log
// can be sent with the token that was valid when it was made. Listeners hear of token and account
// changes and of a token in use that is about to expire.
//
// Thread-safe: one lock guards the history (and its cache) and the listener list; listeners are
// held strongly and called after the lock is released, on a snapshot.
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "beacon/core/Context/TLAuthTokenInfo.h"

namespace ml::dispatch {
class Clock;
}

namespace ml::beacon {

class TLAuthTokenContext;
class TLEncrypter;
class TLUserDefaults;

class TLAuthTokenContextDelegate {
 public:
  virtual ~TLAuthTokenContextDelegate() = default;
  virtual void authTokenContextDidUpdateAuthToken(TLAuthTokenContext& context, const std::optional<std::string>& authToken) {
    (void)context;
    (void)authToken;
  }
  // The account id is cut to its first 36 characters.
  virtual void authTokenContextDidUpdateAccountId(TLAuthTokenContext& context, const std::optional<std::string>& accountId) {
    (void)context;
    (void)accountId;
  }
  virtual void authTokenContextRefreshAuthTokenForAccountId(TLAuthTokenContext& context,
                                                            const std::optional<std::string>& accountId) {
    (void)context;
    (void)accountId;
  }
};

class TLAuthTokenContext {
 public:
  using Date = std::chrono::system_clock::time_point;
  using History = std::vector<std::shared_ptr<TLAuthTokenInfo>>;
  static constexpr std::string_view kHistoryKey = "TLBeaconAuthTokenHistory";
  static constexpr std::size_t kMaxHistoryCount = 5;
  static constexpr std::size_t kMaxAccountIdLength = 36;

  static std::shared_ptr<TLAuthTokenContext> sharedInstance();
  static void resetSharedInstance();

  TLAuthTokenContext(TLUserDefaults& settings, dispatch::Clock& clock, std::unique_ptr<TLEncrypter> encrypter);
  ~TLAuthTokenContext();

  // Records a new token (none: signed out) for the account; the same token again changes nothing.
  void setAuthToken(std::optional<std::string> authToken, std::optional<std::string> accountId,
                    std::optional<Date> expiresOn);
  void addDelegate(const std::shared_ptr<TLAuthTokenContextDelegate>& delegate);
  void removeDelegate(const std::shared_ptr<TLAuthTokenContextDelegate>& delegate);

  // Those of the newest history entry.
  std::optional<std::string> authToken();
  std::optional<std::string> accountId();

  // One window per history entry, oldest first (one empty window for an empty history): the
  // entry's token from its start to the next entry's start, or to its own expiry for the last.
  std::vector<TLAuthTokenValidityInfo> authTokenValidityArray();
  // Drops the oldest entry when it holds `authToken` and is not the only one.
  void removeAuthToken(const std::optional<std::string>& authToken);
  // Asks the listeners for a new token when `validity` is the newest token and expires soon.
  void checkIfTokenNeedsToBeRefreshed(const TLAuthTokenValidityInfo& validity);

  // At start-up: records "no token" after a previous token, once per process.
  void finishInitialize();
  void preventResetAuthTokenAfterStart();

  // The history, read (and decrypted) from the settings store once and cached.
  History authTokenHistory();
  // Writes a non-empty history (encrypted) and caches it; an empty one, or one that cannot be
  // archived or encrypted, is not written and changes nothing.
  void setAuthTokenHistory(History history);

 private:
  History& historyLocked();
  void setHistoryLocked(History history);

  TLUserDefaults& settings_;
  dispatch::Clock& clock_;
  std::unique_ptr<TLEncrypter> encrypter_;
  std::mutex lock_;
  std::optional<History> cache_;
  std::vector<std::shared_ptr<TLAuthTokenContextDelegate>> delegates_;
  bool resetAuthTokenRequired_ = true;
};

}  // namespace ml::beacon
