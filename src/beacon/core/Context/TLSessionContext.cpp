#include "beacon/core/Context/TLSessionContext.h"

#include "beacon/core/Context/TLHistoryStore.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLNeverDestroyed.h"
#include "beacon/core/TLUserDefaults.h"
#include "beacon/core/TLUtilityDate.h"
#include "platform/dispatch/Clock.h"

namespace ml::beacon {

namespace {

struct SharedSessionContext {
  std::mutex lock;
  std::shared_ptr<TLSessionContext> instance;
};

SharedSessionContext& shared() {
  static TLNeverDestroyed<SharedSessionContext> holder;
  return holder.get();
}

}  // namespace

std::shared_ptr<TLSessionContext> TLSessionContext::sharedInstance() {
  auto& holder = shared();
  std::lock_guard guard(holder.lock);
  if (!holder.instance) holder.instance = std::make_shared<TLSessionContext>(TLUserDefaults::shared(), dispatch::Clock::system());
  return holder.instance;
}

void TLSessionContext::resetSharedInstance() {
  auto& holder = shared();
  std::lock_guard guard(holder.lock);
  holder.instance.reset();
}

TLSessionContext::TLSessionContext(TLUserDefaults& settings, dispatch::Clock& clock) : settings_(settings), clock_(clock) {
  TLHistoryInfo::registerArchiveClasses();
  history_ = tlLoadHistory<TLSessionHistoryInfo>(settings_, kHistoryKey).value_or(decltype(history_){});
  TL_LOG_DEBUG(kBeaconLogTag, history_.size() << " session(s) in the history.");
  current_ = std::make_shared<TLSessionHistoryInfo>(clock_.now(), std::nullopt);
  history_.push_back(current_);
  capHistoryLocked();
}

void TLSessionContext::capHistoryLocked() {
  if (history_.size() > kMaxHistoryCount) {
    history_.erase(history_.begin(), history_.end() - static_cast<std::ptrdiff_t>(kMaxHistoryCount));
  }
}

std::optional<std::string> TLSessionContext::sessionId() const {
  std::lock_guard guard(lock_);
  return current_->sessionId;
}

void TLSessionContext::setSessionId(std::optional<std::string> sessionId) {
  std::lock_guard guard(lock_);
  // The current record moves to the end with its new value (it is the last element unless the
  // history was cleared without it).
  if (!history_.empty() && history_.back() == current_) history_.pop_back();
  current_->sessionId = std::move(sessionId);
  current_->timestamp = clock_.now();
  history_.push_back(current_);
  capHistoryLocked();
  tlSaveHistory(settings_, kHistoryKey, history_);
  TL_LOG_VERBOSE(kBeaconLogTag, "Stored new session with id:" << current_->sessionId.value_or("(null)")
                                                              << " and timestamp: "
                                                              << TLUtilityDate::dateToISO8601(*current_->timestamp) << ".");
}

std::optional<std::string> TLSessionContext::sessionIdAt(Date date) const {
  std::lock_guard guard(lock_);
  for (auto it = history_.rbegin(); it != history_.rend(); ++it) {
    if ((*it)->timestamp && *(*it)->timestamp < date) return (*it)->sessionId;
  }
  return std::nullopt;
}

void TLSessionContext::clearSessionHistoryAndKeepCurrentSession(bool keepCurrentSession) {
  std::lock_guard guard(lock_);
  history_.clear();
  if (keepCurrentSession) history_.push_back(current_);
  tlSaveHistory(settings_, kHistoryKey, history_);
  TL_LOG_VERBOSE(kBeaconLogTag, "Cleared old sessions.");
}

std::vector<TLSessionHistoryInfo> TLSessionContext::sessionHistory() const {
  std::lock_guard guard(lock_);
  std::vector<TLSessionHistoryInfo> copy;
  for (const auto& record : history_) copy.push_back(*record);
  return copy;
}

}  // namespace ml::beacon
