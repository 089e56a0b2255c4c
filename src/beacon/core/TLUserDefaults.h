#pragma once
// The telemetry client's one access point to the application's preferences store. Keys are used
// as they are (no prefix), so the client's settings sit beside the application's own.
//
// Besides plain reads and writes it offers a merge-update of dictionary values: only entries whose
// value changed are written, the write time is stamped under "_ts" (seconds since 2001-01-01 UTC),
// and after an optional expiry every entry is written again. Merge-updates are serialised on one
// lock shared by every instance, so two threads updating one key never lose either update.
// Thread-safe.
#include <optional>
#include <string_view>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/PlistValue.h"
#include "platform/foundation/Preferences.h"

namespace ml::beacon {

template <class T>
class TLNeverDestroyed;

class TLUserDefaults {
 public:
  using PlistValue = foundation::PlistValue;
  static constexpr std::string_view kTimestampKey = "_ts";

  // Over Preferences::standard() (resolved at each call) and the system clock.
  static TLUserDefaults& shared();
  // Over a given store and clock (tests).
  TLUserDefaults(foundation::Preferences& store, dispatch::Clock& clock) : store_(&store), clock_(&clock) {}

  std::optional<PlistValue> objectForKey(std::string_view key) const;
  void setObject(PlistValue value, std::string_view key);
  void removeObjectForKey(std::string_view key);

  // Merges `dictionary` into the dictionary stored under `key`: entries equal to the stored ones
  // are dropped (unless the stored value is older than `expiration` seconds, when 0 < expiration);
  // if any remain they are written over the stored dictionary with a fresh "_ts". Answers the
  // entries that were written.
  PlistValue::Dictionary updateDictionary(PlistValue::Dictionary dictionary, std::string_view key,
                                          float expiration = 0);
  // The same for the one-entry dictionary {"v": value}; true when "v" was written.
  bool updateObject(PlistValue value, std::string_view key, float expiration = 0);

 private:
  friend class TLNeverDestroyed<TLUserDefaults>;  // the shared instance, never destroyed
  TLUserDefaults() = default;
  foundation::Preferences& store() const;
  dispatch::Clock& clock() const;

  foundation::Preferences* store_ = nullptr;  // null: the standard store of the moment
  dispatch::Clock* clock_ = nullptr;          // null: the system clock
};

}  // namespace ml::beacon
