#pragma once
// The bookkeeping shared by the clocks: callbacks ordered by deadline, then by scheduling order
// (so two callbacks with one deadline fire in the order they were scheduled), and cancellable
// by token. Not thread-safe: the owning clock guards it with its own mutex.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>

#include "platform/dispatch/Clock.h"

namespace ml::dispatch::detail {

template <class Instant>
class TimerSchedule {
 public:
  struct Due {
    Instant deadline;
    std::function<void()> fire;
  };

  TimerToken add(Instant deadline, std::function<void()> fire) {
    const std::uint64_t id = nextId_++;
    entries_.emplace(Key{deadline, id}, std::move(fire));
    deadlines_.emplace(id, deadline);
    return TimerToken{id};
  }

  void remove(TimerToken token) {
    auto it = deadlines_.find(token.id);
    if (it == deadlines_.end()) return;
    entries_.erase(Key{it->second, token.id});
    deadlines_.erase(it);
  }

  std::optional<Instant> nextDeadline() const {
    if (entries_.empty()) return std::nullopt;
    return entries_.begin()->first.first;
  }

  // Removes and returns the earliest callback whose deadline is not after `limit`.
  std::optional<Due> popDue(Instant limit) {
    if (entries_.empty() || entries_.begin()->first.first > limit) return std::nullopt;
    auto node = entries_.extract(entries_.begin());
    deadlines_.erase(node.key().second);
    return Due{node.key().first, std::move(node.mapped())};
  }

  std::size_t size() const { return entries_.size(); }

  void clear() {
    entries_.clear();
    deadlines_.clear();
  }

 private:
  using Key = std::pair<Instant, std::uint64_t>;
  std::map<Key, std::function<void()>> entries_;
  std::unordered_map<std::uint64_t, Instant> deadlines_;
  std::uint64_t nextId_ = 1;
};

}  // namespace ml::dispatch::detail
