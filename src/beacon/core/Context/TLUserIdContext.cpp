#include "beacon/core/Context/TLUserIdContext.h"

#include "beacon/core/Context/TLHistoryStore.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLNeverDestroyed.h"
#include "beacon/core/TLUserDefaults.h"
#include "beacon/core/TLUtilityDate.h"
#include "beacon/core/Utf8.h"
#include "platform/dispatch/Clock.h"

namespace ml::beacon {

namespace {

struct SharedUserIdContext {
  std::mutex lock;
  std::shared_ptr<TLUserIdContext> instance;
};

SharedUserIdContext& shared() {
  static TLNeverDestroyed<SharedUserIdContext> holder;
  return holder.get();
}

}  // namespace

std::shared_ptr<TLUserIdContext> TLUserIdContext::sharedInstance() {
  auto& holder = shared();
  std::lock_guard guard(holder.lock);
  if (!holder.instance) holder.instance = std::make_shared<TLUserIdContext>(TLUserDefaults::shared(), dispatch::Clock::system());
  return holder.instance;
}

void TLUserIdContext::resetSharedInstance() {
  auto& holder = shared();
  std::lock_guard guard(holder.lock);
  holder.instance.reset();
}

TLUserIdContext::TLUserIdContext(TLUserDefaults& settings, dispatch::Clock& clock) : settings_(settings), clock_(clock) {
  TLHistoryInfo::registerArchiveClasses();
  history_ = tlLoadHistory<TLUserIdHistoryInfo>(settings_, kHistoryKey).value_or(decltype(history_){});
  TL_LOG_DEBUG(kBeaconLogTag, history_.size() << " userId(s) in the history.");
  current_ = std::make_shared<TLUserIdHistoryInfo>(clock_.now(), std::nullopt);
  history_.push_back(current_);
  capHistoryLocked();
  tlSaveHistory(settings_, kHistoryKey, history_);
}

void TLUserIdContext::capHistoryLocked() {
  if (history_.size() > kMaxHistoryCount) {
    history_.erase(history_.begin(), history_.end() - static_cast<std::ptrdiff_t>(kMaxHistoryCount));
  }
}

std::optional<std::string> TLUserIdContext::userId() const {
  std::lock_guard guard(lock_);
  return current_->userId;
}

void TLUserIdContext::setUserId(std::optional<std::string> userId) {
  std::vector<std::shared_ptr<TLUserIdContextDelegate>> listeners;
  {
    std::lock_guard guard(lock_);
    if (current_->userId == userId) return;
    current_->userId = userId;
    current_->timestamp = clock_.now();
    if (!history_.empty() && history_.back() == current_) history_.pop_back();
    history_.push_back(current_);
    capHistoryLocked();
    tlSaveHistory(settings_, kHistoryKey, history_);
    TL_LOG_VERBOSE(kBeaconLogTag, "Stored new userId:" << userId.value_or("(null)") << " and timestamp: "
                                                      << TLUtilityDate::dateToISO8601(*current_->timestamp) << ".");
    for (const auto& weak : delegates_) {
      if (auto listener = weak.lock()) listeners.push_back(std::move(listener));
    }
  }
  for (const auto& listener : listeners) listener->userIdContextDidUpdateUserId(*this, userId);
}

std::optional<std::string> TLUserIdContext::userIdAt(Date date) const {
  std::lock_guard guard(lock_);
  for (auto it = history_.rbegin(); it != history_.rend(); ++it) {
    if ((*it)->timestamp && *(*it)->timestamp < date) return (*it)->userId;
  }
  return std::nullopt;
}

void TLUserIdContext::clearUserIdHistory() {
  std::lock_guard guard(lock_);
  history_.clear();
  history_.push_back(current_);
  tlSaveHistory(settings_, kHistoryKey, history_);
  TL_LOG_VERBOSE(kBeaconLogTag, "Cleared old userIds while keeping current userId.");
}

void TLUserIdContext::addDelegate(const std::shared_ptr<TLUserIdContextDelegate>& delegate) {
  if (!delegate) return;
  std::lock_guard guard(lock_);
  std::erase_if(delegates_, [&](const auto& weak) {
    auto listener = weak.lock();
    return !listener || listener == delegate;
  });
  delegates_.push_back(delegate);
}

void TLUserIdContext::removeDelegate(const std::shared_ptr<TLUserIdContextDelegate>& delegate) {
  std::lock_guard guard(lock_);
  std::erase_if(delegates_, [&](const auto& weak) {
    auto listener = weak.lock();
    return !listener || listener == delegate;
  });
}

std::vector<TLUserIdHistoryInfo> TLUserIdContext::userIdHistory() const {
  std::lock_guard guard(lock_);
  std::vector<TLUserIdHistoryInfo> copy;
  for (const auto& record : history_) copy.push_back(*record);
  return copy;
}

bool TLUserIdContext::isUserIdValidForBeacon(const std::optional<std::string>& userId) {
  if (!userId) return true;
  if (utf8::codePointCount(*userId) > kMaxBeaconUserIdLength) {
    TL_LOG_ERROR(kBeaconLogTag, "userId is limited to " << kMaxBeaconUserIdLength << " characters.");
    return false;
  }
  return true;
}

bool TLUserIdContext::isUserIdValidForCommonCollector(const std::optional<std::string>& userId) {
  if (!userId) return true;
  if (userId->empty()) {
    TL_LOG_ERROR(kBeaconLogTag, "userId must not be empty.");
    return false;
  }
  std::size_t colon = userId->find(':');
  if (colon == std::string::npos) return true;
  std::string_view prefix = std::string_view(*userId).substr(0, colon);
  if (prefix != kCommonCollectorPrefix) {
    TL_LOG_ERROR(kBeaconLogTag, "userId prefix must be '" << kCommonCollectorPrefix << "', '" << prefix
                                                         << "' is not supported.");
    return false;
  }
  if (colon + 1 == userId->size()) {
    TL_LOG_ERROR(kBeaconLogTag, "userId must not be empty.");
    return false;
  }
  return true;
}

std::optional<std::string> TLUserIdContext::prefixedUserIdFromUserId(const std::optional<std::string>& userId) {
  if (!userId || userId->find(':') != std::string::npos) return userId;
  return std::string(kCommonCollectorPrefix) + ":" + *userId;
}

}  // namespace ml::beacon
