#include "beacon/core/TLUserDefaults.h"

#include <cmath>
#include <mutex>

#include "beacon/core/TLLogger.h"
#include "beacon/core/TLNeverDestroyed.h"
#include "beacon/core/TLPlistDescription.h"
#include "platform/foundation/Dates.h"

namespace ml::beacon {

namespace {
std::mutex& updateLock() {
  static std::mutex lock;
  return lock;
}
}  // namespace

TLUserDefaults& TLUserDefaults::shared() {
  static TLNeverDestroyed<TLUserDefaults> instance;
  return instance.get();
}

foundation::Preferences& TLUserDefaults::store() const { return store_ ? *store_ : foundation::Preferences::standard(); }

dispatch::Clock& TLUserDefaults::clock() const { return clock_ ? *clock_ : dispatch::Clock::system(); }

std::optional<TLUserDefaults::PlistValue> TLUserDefaults::objectForKey(std::string_view key) const {
  return store().object(key);
}

void TLUserDefaults::setObject(PlistValue value, std::string_view key) { store().set(key, std::move(value)); }

void TLUserDefaults::removeObjectForKey(std::string_view key) { store().remove(key); }

TLUserDefaults::PlistValue::Dictionary TLUserDefaults::updateDictionary(PlistValue::Dictionary dictionary,
                                                                        std::string_view key, float expiration) {
  // The read-compare-write below must not interleave with another merge-update of the key, or
  // one of the two would overwrite the other's entries with the stale dictionary it read.
  std::lock_guard guard(updateLock());
  foundation::Preferences& preferences = store();
  PlistValue::Dictionary changes = std::move(dictionary);
  changes.erase(std::string(kTimestampKey));
  std::optional<PlistValue::Dictionary> stored = preferences.dictionary(key);
  double timestamp = 0;
  if (stored) {
    if (auto it = stored->find(kTimestampKey); it != stored->end()) {
      timestamp = it->second.real().value_or(static_cast<double>(it->second.integer().value_or(0)));
    }
  }
  TL_LOG_VERBOSE(kBeaconLogTag, "Settings:store[" << key << "]="
                                                  << (stored ? describePlist(PlistValue(*stored)) : std::string("(null)")));

  double now = foundation::Dates::timeIntervalSinceReferenceDate(clock().now());
  bool expired = expiration > 0 && timestamp > 0 && static_cast<double>(expiration) <= std::fabs(now - timestamp);
  if (!expired && stored) {
    for (auto it = changes.begin(); it != changes.end();) {
      auto found = stored->find(it->first);
      if (found != stored->end() && found->second == it->second)
        it = changes.erase(it);
      else
        ++it;
    }
  }
  if (!changes.empty()) {
    TL_LOG_DEBUG(kBeaconLogTag, "Settings:update[" << key << "]=" << describePlist(PlistValue(changes)));
    PlistValue::Dictionary merged = stored.value_or(PlistValue::Dictionary{});
    for (const auto& [entryKey, value] : changes) merged.insert_or_assign(entryKey, value);
    merged.insert_or_assign(std::string(kTimestampKey), PlistValue(now));
    preferences.set(key, PlistValue(std::move(merged)));
  }
  return changes;
}

bool TLUserDefaults::updateObject(PlistValue value, std::string_view key, float expiration) {
  PlistValue::Dictionary one;
  one.emplace("v", std::move(value));
  return updateDictionary(std::move(one), key, expiration).count("v") > 0;
}

}  // namespace ml::beacon
