#pragma once
// The user id the application set, for this process and earlier ones: a history of (timestamp,
// user id) records under "UserIdHistory" in the settings store, one record per process, so that
// a log can be stamped with the user id that was current when it was made. Listeners hear of
// every change.
//
// The history keeps at most kMaxHistoryCount records (the oldest go first): it does not grow by
// one record per launch for ever. Thread-safe: one lock guards the history, the current record
// and the listener list; listeners are called after the lock is released, on a snapshot, so they
// may add or remove listeners.
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "beacon/core/Context/TLHistoryInfo.h"

namespace ml::dispatch {
class Clock;
}

namespace ml::beacon {

class TLUserDefaults;
class TLUserIdContext;

class TLUserIdContextDelegate {
 public:
  virtual ~TLUserIdContextDelegate() = default;
  virtual void userIdContextDidUpdateUserId(TLUserIdContext& context, const std::optional<std::string>& userId) {
    (void)context;
    (void)userId;
  }
};

class TLUserIdContext {
 public:
  using Date = std::chrono::system_clock::time_point;
  static constexpr std::string_view kHistoryKey = "UserIdHistory";
  static constexpr std::size_t kMaxHistoryCount = 5;
  static constexpr std::size_t kMaxBeaconUserIdLength = 256;  // code points
  static constexpr std::string_view kCommonCollectorPrefix = "c";

  static std::shared_ptr<TLUserIdContext> sharedInstance();
  static void resetSharedInstance();

  // Reads the stored history, appends this process's record (no user id yet) and writes it.
  TLUserIdContext(TLUserDefaults& settings, dispatch::Clock& clock);

  std::optional<std::string> userId() const;
  // Makes `userId` current from now on, writes the history and tells the listeners; setting the
  // current value again does nothing.
  void setUserId(std::optional<std::string> userId);
  // The user id of the newest record strictly earlier than `date`; nothing when none is.
  std::optional<std::string> userIdAt(Date date) const;
  void clearUserIdHistory();

  // Listeners are held weakly: one that is gone is skipped and forgotten.
  void addDelegate(const std::shared_ptr<TLUserIdContextDelegate>& delegate);
  void removeDelegate(const std::shared_ptr<TLUserIdContextDelegate>& delegate);

  std::vector<TLUserIdHistoryInfo> userIdHistory() const;

  // At most 256 code points (nothing is valid).
  static bool isUserIdValidForBeacon(const std::optional<std::string>& userId);
  // Not empty; a prefix before the first ":" must be "c" and be followed by an id.
  static bool isUserIdValidForCommonCollector(const std::optional<std::string>& userId);
  // "c:" + the id when it has no ":"; otherwise (and nothing) unchanged.
  static std::optional<std::string> prefixedUserIdFromUserId(const std::optional<std::string>& userId);

 private:
  void capHistoryLocked();

  TLUserDefaults& settings_;
  dispatch::Clock& clock_;
  mutable std::mutex lock_;
  std::vector<std::shared_ptr<TLUserIdHistoryInfo>> history_;
  std::shared_ptr<TLUserIdHistoryInfo> current_;
  std::vector<std::weak_ptr<TLUserIdContextDelegate>> delegates_;
};

}  // namespace ml::beacon
