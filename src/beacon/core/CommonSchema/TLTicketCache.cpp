#include "beacon/core/CommonSchema/TLTicketCache.h"
#include "beacon/core/TLNeverDestroyed.h"

namespace ml::beacon {

TLTicketCache& TLTicketCache::sharedInstance() {
  static TLNeverDestroyed<TLTicketCache> instance;
  return instance.get();
}

std::optional<std::string> TLTicketCache::ticketFor(const std::string& key) const {
  std::lock_guard guard(mutex_);
  auto it = tickets_.find(key);
  if (it == tickets_.end()) return std::nullopt;
  return it->second;
}

void TLTicketCache::setTicket(const std::optional<std::string>& ticket, const std::string& key) {
  std::lock_guard guard(mutex_);
  if (ticket)
    tickets_[key] = *ticket;
  else
    tickets_.erase(key);
}

void TLTicketCache::clearCache() {
  std::lock_guard guard(mutex_);
  tickets_.clear();
}

}  // namespace ml::beacon
