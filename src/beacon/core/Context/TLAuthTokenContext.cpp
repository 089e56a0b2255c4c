#include "beacon/core/Context/TLAuthTokenContext.h"

#include <algorithm>

#include "beacon/core/Context/TLArchivedArray.h"
#include "beacon/core/TLArchiveClasses.h"
#include "beacon/core/TLEncrypter.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLNeverDestroyed.h"
#include "beacon/core/TLUserDefaults.h"
#include "beacon/core/Utf8.h"
#include "platform/dispatch/Clock.h"

namespace ml::beacon {

namespace {

struct SharedAuthTokenContext {
  std::mutex lock;
  std::shared_ptr<TLAuthTokenContext> instance;
};

SharedAuthTokenContext& shared() {
  static TLNeverDestroyed<SharedAuthTokenContext> holder;
  return holder.get();
}

}  // namespace

std::shared_ptr<TLAuthTokenContext> TLAuthTokenContext::sharedInstance() {
  auto& holder = shared();
  std::lock_guard guard(holder.lock);
  if (!holder.instance) {
    holder.instance = std::make_shared<TLAuthTokenContext>(TLUserDefaults::shared(), dispatch::Clock::system(),
                                                           std::make_unique<TLEncrypter>());
  }
  return holder.instance;
}

void TLAuthTokenContext::resetSharedInstance() {
  auto& holder = shared();
  std::lock_guard guard(holder.lock);
  holder.instance.reset();
}

TLAuthTokenContext::TLAuthTokenContext(TLUserDefaults& settings, dispatch::Clock& clock,
                                       std::unique_ptr<TLEncrypter> encrypter)
    : settings_(settings), clock_(clock), encrypter_(std::move(encrypter)) {
  TLArchiveClasses::add<TLAuthTokenInfo>();
}

TLAuthTokenContext::~TLAuthTokenContext() = default;

// --- History storage

TLAuthTokenContext::History& TLAuthTokenContext::historyLocked() {
  if (cache_) return *cache_;
  std::optional<History> history;
  auto stored = settings_.objectForKey(kHistoryKey);
  if (stored && stored->data()) {
    if (auto decrypted = encrypter_->decryptData(*stored->data())) history = TLArchivedArray::unarchive<TLAuthTokenInfo>(*decrypted);
  }
  if (history) {
    TL_LOG_DEBUG(kBeaconLogTag, "Retrieved history state.");
  } else {
    TL_LOG_WARNING(kBeaconLogTag, "Failed to retrieve history state or none was found.");
  }
  cache_ = std::move(history).value_or(History{});
  return *cache_;
}

void TLAuthTokenContext::setHistoryLocked(History history) {
  std::optional<std::vector<std::uint8_t>> encrypted;
  if (!history.empty()) {
    if (auto archived = TLArchivedArray::archive(history)) encrypted = encrypter_->encryptData(*archived);
  }
  if (!encrypted) {
    TL_LOG_WARNING(kBeaconLogTag, "Failed to save new history state.");
    return;
  }
  cache_ = std::move(history);
  settings_.setObject(foundation::PlistValue(std::move(*encrypted)), kHistoryKey);
  TL_LOG_DEBUG(kBeaconLogTag, "Saved new history state.");
}

TLAuthTokenContext::History TLAuthTokenContext::authTokenHistory() {
  std::lock_guard guard(lock_);
  return historyLocked();
}

void TLAuthTokenContext::setAuthTokenHistory(History history) {
  std::lock_guard guard(lock_);
  setHistoryLocked(std::move(history));
}

// --- Changes

void TLAuthTokenContext::setAuthToken(std::optional<std::string> authToken, std::optional<std::string> accountId,
                                      std::optional<Date> expiresOn) {
  if (!authToken) {
    accountId.reset();
    expiresOn.reset();
  }
  std::vector<std::shared_ptr<TLAuthTokenContextDelegate>> listeners;
  bool isNewAccount = false;
  {
    std::lock_guard guard(lock_);
    History history = historyLocked();
    std::shared_ptr<TLAuthTokenInfo> newest = history.empty() ? nullptr : history.back();
    if (newest && newest->authToken == authToken) return;
    isNewAccount = !newest || newest->accountId != accountId;

    Date now = clock_.now();
    Date startTime = now;
    if (newest && newest->expiresOn && now > *newest->expiresOn) {
      if (authToken && isNewAccount) {
        // The time between the old token's expiry and now was covered by no token.
        history.push_back(std::make_shared<TLAuthTokenInfo>(std::nullopt, std::nullopt, newest->expiresOn, now));
      } else {
        startTime = *newest->expiresOn;
      }
    }
    if (authToken || !history.empty()) {
      history.push_back(std::make_shared<TLAuthTokenInfo>(authToken, accountId, startTime, expiresOn));
    }
    if (history.size() > kMaxHistoryCount) {
      history.erase(history.begin(), history.end() - static_cast<std::ptrdiff_t>(kMaxHistoryCount));
      TL_LOG_DEBUG(kBeaconLogTag, "Size of the token history is exceeded. The oldest token has been removed.");
    }
    listeners = delegates_;
    setHistoryLocked(std::move(history));
  }
  for (const auto& listener : listeners) listener->authTokenContextDidUpdateAuthToken(*this, authToken);
  if (isNewAccount) {
    std::optional<std::string> shownAccount = accountId;
    if (shownAccount) shownAccount = std::string(utf8::prefix(*shownAccount, kMaxAccountIdLength));
    for (const auto& listener : listeners) listener->authTokenContextDidUpdateAccountId(*this, shownAccount);
  }
}

void TLAuthTokenContext::addDelegate(const std::shared_ptr<TLAuthTokenContextDelegate>& delegate) {
  if (!delegate) return;
  std::lock_guard guard(lock_);
  if (std::find(delegates_.begin(), delegates_.end(), delegate) == delegates_.end()) delegates_.push_back(delegate);
}

void TLAuthTokenContext::removeDelegate(const std::shared_ptr<TLAuthTokenContextDelegate>& delegate) {
  std::lock_guard guard(lock_);
  std::erase(delegates_, delegate);
}

std::optional<std::string> TLAuthTokenContext::authToken() {
  std::lock_guard guard(lock_);
  const History& history = historyLocked();
  return history.empty() ? std::nullopt : history.back()->authToken;
}

std::optional<std::string> TLAuthTokenContext::accountId() {
  std::lock_guard guard(lock_);
  const History& history = historyLocked();
  return history.empty() ? std::nullopt : history.back()->accountId;
}

std::vector<TLAuthTokenValidityInfo> TLAuthTokenContext::authTokenValidityArray() {
  std::lock_guard guard(lock_);
  const History& history = historyLocked();
  if (history.empty()) return {TLAuthTokenValidityInfo{}};
  std::vector<TLAuthTokenValidityInfo> windows;
  for (std::size_t i = 0; i < history.size(); ++i) {
    const auto& entry = *history[i];
    std::optional<Date> endTime = entry.expiresOn;
    if (i + 1 < history.size() && history[i + 1]->startTime) endTime = history[i + 1]->startTime;
    windows.push_back({entry.authToken, entry.startTime, endTime});
  }
  return windows;
}

void TLAuthTokenContext::removeAuthToken(const std::optional<std::string>& authToken) {
  std::lock_guard guard(lock_);
  History history = historyLocked();
  if (history.size() <= 1) {
    TL_LOG_DEBUG(kBeaconLogTag, "Couldn't remove token from history; token history is empty or contains only current one.");
    return;
  }
  if (authToken && history.front()->authToken == authToken) {
    history.erase(history.begin());
    setHistoryLocked(std::move(history));
    TL_LOG_DEBUG(kBeaconLogTag, "The token has been removed from the history.");
  } else {
    TL_LOG_DEBUG(kBeaconLogTag, "Couldn't remove token from history; the token isn't oldest or is already removed.");
  }
}

void TLAuthTokenContext::checkIfTokenNeedsToBeRefreshed(const TLAuthTokenValidityInfo& validity) {
  std::vector<std::shared_ptr<TLAuthTokenContextDelegate>> listeners;
  std::optional<std::string> accountId;
  {
    std::lock_guard guard(lock_);
    const History& history = historyLocked();
    if (history.empty()) return;
    const auto& newest = *history.back();
    // Only a token can expire: an entry without one (signed out) is never refreshed.
    if (!newest.authToken || newest.authToken != validity.authToken || !validity.expiresSoon(clock_.now())) return;
    listeners = delegates_;
    accountId = newest.accountId;
  }
  for (const auto& listener : listeners) {
    TL_LOG_INFO(kBeaconLogTag, "The token needs to be refreshed.");
    listener->authTokenContextRefreshAuthTokenForAccountId(*this, accountId);
  }
}

void TLAuthTokenContext::finishInitialize() {
  {
    std::lock_guard guard(lock_);
    if (!resetAuthTokenRequired_) return;
    resetAuthTokenRequired_ = false;
  }
  setAuthToken(std::nullopt, std::nullopt, std::nullopt);
}

void TLAuthTokenContext::preventResetAuthTokenAfterStart() {
  std::lock_guard guard(lock_);
  resetAuthTokenRequired_ = false;
}

}  // namespace ml::beacon
