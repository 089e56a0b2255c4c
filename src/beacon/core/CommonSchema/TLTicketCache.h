#pragma once
// Tickets the Common Collector asks for, by ticket key. One process-wide instance; nothing in
// this program stores a ticket today, so the cache stays empty unless a caller fills it.
// Thread-safe.
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace ml::beacon {

template <class T>
class TLNeverDestroyed;

class TLTicketCache {
 public:
  static TLTicketCache& sharedInstance();

  std::optional<std::string> ticketFor(const std::string& key) const;
  // No ticket removes the key.
  void setTicket(const std::optional<std::string>& ticket, const std::string& key);
  void clearCache();

 private:
  friend class TLNeverDestroyed<TLTicketCache>;  // the shared instance, never destroyed
  TLTicketCache() = default;
  mutable std::mutex mutex_;
  std::map<std::string, std::string> tickets_;
};

}  // namespace ml::beacon
