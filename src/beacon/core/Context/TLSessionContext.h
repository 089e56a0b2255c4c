#pragma once
// The session id of this process and of earlier ones: a history of (timestamp, session id)
// records kept under "SessionIdHistory" in the settings store, one record per process that is
// updated in place, so a log made in an earlier run (a crash report) can be stamped with the
// session id that was current then.
//
// The history keeps at most kMaxHistoryCount records (the oldest go first), so it does not grow
// by one record per launch for ever. Thread-safe: one lock guards the history and the current
// record; the settings store is written under it.
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "beacon/core/Context/TLHistoryInfo.h"

namespace ml::dispatch {
class Clock;
}

namespace ml::beacon {

class TLUserDefaults;

class TLSessionContext {
 public:
  using Date = std::chrono::system_clock::time_point;
  static constexpr std::string_view kHistoryKey = "SessionIdHistory";
  static constexpr std::size_t kMaxHistoryCount = 5;

  // The process-wide context over the shared settings and the system clock, made on first use.
  static std::shared_ptr<TLSessionContext> sharedInstance();
  // Drops the shared context; the next sharedInstance() makes a new one (as a new process would).
  static void resetSharedInstance();

  // Reads the stored history and appends this process's record (no session id yet); writes
  // nothing until the first change.
  TLSessionContext(TLUserDefaults& settings, dispatch::Clock& clock);

  std::optional<std::string> sessionId() const;
  // Makes `sessionId` current from now on and writes the history.
  void setSessionId(std::optional<std::string> sessionId);
  // The session id of the newest record strictly earlier than `date`; nothing when none is.
  std::optional<std::string> sessionIdAt(Date date) const;
  void clearSessionHistoryAndKeepCurrentSession(bool keepCurrentSession);

  // A copy of the history, oldest first.
  std::vector<TLSessionHistoryInfo> sessionHistory() const;

 private:
  void capHistoryLocked();

  TLUserDefaults& settings_;
  dispatch::Clock& clock_;
  mutable std::mutex lock_;
  std::vector<std::shared_ptr<TLSessionHistoryInfo>> history_;
  std::shared_ptr<TLSessionHistoryInfo> current_;
};

}  // namespace ml::beacon
