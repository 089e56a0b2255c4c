#pragma once
// Decides when a usage session begins, and stamps the current session id on every log that goes
// through the channel group.
//
// A new session (a new upper-case UUID as the session context's id, announced by a start-session
// log handed to the delegate) begins when the tracker starts while the application is in front,
// or when the application becomes active, if there is no session yet or the current one has
// timed out: no log was made for `sessionTimeout` seconds and the application stayed inactive
// that long (in an application extension only the first condition counts).
//
// The application's activation reaches the tracker through the application forwarder (the
// application calls TLAppDelegateForwarder::applicationDidBecomeActive/ResignActive from its
// toolkit's handlers); the tracker listens only while started.
//
// Threads: renewSessionId and hasSessionTimedOut hold the tracker's recursive lock while they
// decide and set the new session id; renewSessionId calls the delegate after releasing it, so
// no lock of the tracker is held while the service and the channel run. channelPrepareLog runs
// on the enqueuing thread; the times it and the activation handlers write are guarded by a small
// lock of their own, taken after the tracker's lock, never before it.
#include <atomic>
#include <functional>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

#include "beacon/analytics/Session/TLSessionTrackerDelegate.h"
#include "beacon/core/Channel/TLChannelDelegate.h"
#include "beacon/core/Service/TLCustomApplicationDelegate.h"

namespace ml::dispatch {
class Clock;
}

namespace ml::beacon {

class TLAppDelegateForwarder;
class TLSessionContext;
class TLUserDefaults;

class TLSessionTracker final : public TLChannelDelegate,
                               public TLCustomApplicationDelegate,
                               public std::enable_shared_from_this<TLSessionTracker> {
 public:
  using Date = std::chrono::system_clock::time_point;
  static constexpr double kDefaultSessionTimeout = 20.0;  // seconds
  static constexpr std::string_view kPastSessionsKey = "pastSessionsKey";

  // What the tracker works with; standard() is the shared settings, the system clock, the shared
  // session context, the shared application forwarder, the real application state and the
  // executable's path.
  struct Environment {
    TLUserDefaults* settings = nullptr;
    dispatch::Clock* clock = nullptr;
    std::shared_ptr<TLSessionContext> context;
    std::shared_ptr<TLAppDelegateForwarder> forwarder;
    std::function<int()> applicationState;       // TLUtilityApplication's codes
    std::function<bool()> isApplicationExtension;

    static Environment standard();
  };

  // Removes the obsolete "pastSessionsKey" entry from the settings.
  explicit TLSessionTracker(Environment environment = Environment::standard());
  ~TLSessionTracker() override;
  TLSessionTracker(const TLSessionTracker&) = delete;
  TLSessionTracker& operator=(const TLSessionTracker&) = delete;

  // Held weakly (the delegate, the analytics service, owns the tracker).
  void setDelegate(const std::weak_ptr<TLSessionTrackerDelegate>& delegate);

  // Renews the session when the application is in front (active or inactive) and starts
  // listening to activation. Nothing when started.
  void start();
  // Stops listening and clears the context's session id. Nothing when stopped.
  void stop();
  bool isStarted() const { return started_; }

  void renewSessionId();
  bool hasSessionTimedOut();

  double sessionTimeout() const;
  void setSessionTimeout(double seconds);
  std::optional<Date> lastCreatedLogTime() const;
  void setLastCreatedLogTime(std::optional<Date> time);
  std::optional<Date> lastEnteredForegroundTime() const;
  void setLastEnteredForegroundTime(std::optional<Date> time);
  std::optional<Date> lastEnteredBackgroundTime() const;
  void setLastEnteredBackgroundTime(std::optional<Date> time);
  const std::shared_ptr<TLSessionContext>& context() const { return environment_.context; }

  // --- TLCustomApplicationDelegate (main thread)
  // Resigning active: the background time.
  void applicationDidResignActive() override;
  // Becoming active: the foreground time, then a renewal.
  void applicationDidBecomeActive() override;

  // --- TLChannelDelegate
  // Start-session and start-service logs are left alone; other logs get the current session id
  // (unless they keep their own) and move the time of the last log.
  void channelPrepareLog(TLChannelProtocol& channel, const Log& log) override;

 private:
  Environment environment_;
  std::recursive_mutex lock_;   // renewal and the timeout test
  mutable std::mutex timesLock_;
  std::atomic<bool> started_ = false;
  std::weak_ptr<TLSessionTrackerDelegate> delegate_;
  double sessionTimeout_ = kDefaultSessionTimeout;
  std::optional<Date> lastCreatedLogTime_;
  std::optional<Date> lastEnteredForegroundTime_;
  std::optional<Date> lastEnteredBackgroundTime_;
};

}  // namespace ml::beacon
