#pragma once
// A key-value cache whose entries expire `timeToLive` after they were stored. When a store
// leaves more than `maxSize` entries, one purge of expired entries is scheduled on the purge
// queue (at most one in flight; a store never waits for it). maxSize is a trigger, not a cap.
//
// Thread-safe: every access to the entry table is made under the cache's mutex, held only for
// that access, never across a whole purge. A purge outlives nothing: it holds the cache weakly.
// Time comes from the given clock, so tests run in virtual time.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/GlobalPool.h"
#include "platform/dispatch/Queue.h"

namespace ml::files {

template <class Key, class Value>
class AutoExpiringCache {
 public:
  AutoExpiringCache(double timeToLiveSeconds, std::size_t maxSize, dispatch::Clock& clock = dispatch::Clock::system(),
                    dispatch::Queue& purgeQueue = dispatch::GlobalPool::shared())
      : state_(std::make_shared<State>(
            std::chrono::duration_cast<dispatch::Duration>(std::chrono::duration<double>(timeToLiveSeconds)), maxSize,
            clock, purgeQueue)) {}

  // The value of a live entry; an expired entry is removed and nullopt answered.
  std::optional<Value> get(const Key& key) const {
    std::lock_guard lock(state_->mutex);
    auto it = state_->entries.find(key);
    if (it == state_->entries.end()) return std::nullopt;
    if (it->second.expiration < state_->clock.now()) {
      state_->entries.erase(it);
      return std::nullopt;
    }
    return it->second.value;
  }

  // Stores a value with a fresh lifetime (replacing any entry); nullopt removes the entry.
  void set(const Key& key, std::optional<Value> value) {
    std::size_t count;
    {
      std::lock_guard lock(state_->mutex);
      if (!value) {
        state_->entries.erase(key);
        return;
      }
      state_->entries.insert_or_assign(key, Entry{std::move(*value), state_->clock.now() + state_->timeToLive});
      count = state_->entries.size();
    }
    if (count > state_->maxSize && !state_->purging.exchange(true)) {
      std::weak_ptr<State> weak = state_;
      state_->purgeQueue.async([weak] {
        if (auto state = weak.lock()) purge(*state);
      });
    }
  }

  std::size_t size() const {
    std::lock_guard lock(state_->mutex);
    return state_->entries.size();
  }
  bool isPurging() const { return state_->purging.load(); }

 private:
  struct Entry {
    Value value;
    dispatch::TimePoint expiration;
  };
  struct State {
    State(dispatch::Duration ttl, std::size_t max, dispatch::Clock& c, dispatch::Queue& q)
        : timeToLive(ttl), maxSize(max), clock(c), purgeQueue(q) {}
    const dispatch::Duration timeToLive;
    const std::size_t maxSize;
    dispatch::Clock& clock;
    dispatch::Queue& purgeQueue;
    mutable std::mutex mutex;
    std::unordered_map<Key, Entry> entries;
    std::atomic<bool> purging{false};
  };

  // Walks a snapshot of the keys; each removal re-checks the entry under the mutex, since a
  // store may have renewed it meanwhile.
  static void purge(State& state) {
    std::vector<Key> keys;
    {
      std::lock_guard lock(state.mutex);
      keys.reserve(state.entries.size());
      for (const auto& [key, entry] : state.entries) keys.push_back(key);
    }
    for (const auto& key : keys) {
      std::lock_guard lock(state.mutex);
      auto it = state.entries.find(key);
      if (it != state.entries.end() && it->second.expiration < state.clock.now()) state.entries.erase(it);
    }
    state.purging.store(false);
  }

  std::shared_ptr<State> state_;
};

}  // namespace ml::files
