#include "beacon/analytics/Session/TLSessionTracker.h"

#include <filesystem>
#include <system_error>

#include "beacon/analytics/Model/TLStartSessionLog.h"
#include "beacon/analytics/TLAnalyticsConstants.h"
#include "beacon/core/Context/TLSessionContext.h"
#include "beacon/core/Service/TLAppDelegateForwarder.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLStartServiceLog.h"
#include "beacon/core/TLUserDefaults.h"
#include "beacon/core/TLUtilityApplication.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Uuid.h"

namespace ml::beacon {

namespace {

// Application extensions run from inside an ".appex" bundle; the test is kept for executables
// laid out that way.
bool executableIsApplicationExtension() {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return !error && path.string().find(".appex/") != std::string::npos;
}

double secondsBetween(TLSessionTracker::Date later, TLSessionTracker::Date earlier) {
  return std::chrono::duration<double>(later - earlier).count();
}

}  // namespace

TLSessionTracker::Environment TLSessionTracker::Environment::standard() {
  Environment environment;
  environment.settings = &TLUserDefaults::shared();
  environment.clock = &dispatch::Clock::system();
  environment.context = TLSessionContext::sharedInstance();
  environment.forwarder = TLAppDelegateForwarder::sharedInstance();
  environment.applicationState = [] { return TLUtilityApplication::applicationState(); };
  environment.isApplicationExtension = [] {
    static const bool isExtension = executableIsApplicationExtension();
    return isExtension;
  };
  return environment;
}

TLSessionTracker::TLSessionTracker(Environment environment) : environment_(std::move(environment)) {
  if (environment_.settings) environment_.settings->removeObjectForKey(kPastSessionsKey);
}

// The forwarder and the channel group hold the tracker weakly and skip it once it is gone.
TLSessionTracker::~TLSessionTracker() = default;

void TLSessionTracker::setDelegate(const std::weak_ptr<TLSessionTrackerDelegate>& delegate) {
  std::lock_guard guard(lock_);
  delegate_ = delegate;
}

void TLSessionTracker::start() {
  if (started_.exchange(true)) return;
  int state = environment_.applicationState ? environment_.applicationState() : TLUtilityApplication::kUnknown;
  if (state < TLUtilityApplication::kBackground) renewSessionId();
  if (environment_.forwarder) environment_.forwarder->addDelegate(shared_from_this());
}

void TLSessionTracker::stop() {
  if (!started_.exchange(false)) return;
  if (environment_.forwarder) environment_.forwarder->removeDelegate(shared_from_this());
  if (environment_.context) environment_.context->setSessionId(std::nullopt);
}

void TLSessionTracker::renewSessionId() {
  std::shared_ptr<TLStartSessionLog> log;
  std::shared_ptr<TLSessionTrackerDelegate> delegate;
  {
    std::lock_guard guard(lock_);
    if (!started_ || !environment_.context) return;
    if (environment_.context->sessionId() && !hasSessionTimedOut()) return;
    std::string sessionId = foundation::Uuid::random().string();
    environment_.context->setSessionId(sessionId);
    log = std::make_shared<TLStartSessionLog>();
    log->setSid(sessionId);
    delegate = delegate_.lock();
  }
  // The start-session log goes to the service outside the lock: the service hands it to the
  // channel, whose prepare delegates run on this thread.
  TL_LOG_INFO(kBeaconAnalyticsLogTag, "New session ID: " << *log->sid());
  if (delegate) delegate->sessionTrackerProcessLog(*this, log);
}

bool TLSessionTracker::hasSessionTimedOut() {
  std::lock_guard guard(lock_);
  Date now = environment_.clock->now();
  std::lock_guard times(timesLock_);
  bool noLogCreatedForLong = !lastCreatedLogTime_ || secondsBetween(now, *lastCreatedLogTime_) >= sessionTimeout_;
  if (environment_.isApplicationExtension && environment_.isApplicationExtension()) return noLogCreatedForLong;
  bool bothSet = lastEnteredBackgroundTime_ && lastEnteredForegroundTime_;
  bool wasBackgroundForLong = bothSet && *lastEnteredBackgroundTime_ > *lastEnteredForegroundTime_ &&
                              secondsBetween(now, *lastEnteredBackgroundTime_) >= sessionTimeout_;
  bool cameBackAfterLong =
      bothSet && secondsBetween(*lastEnteredForegroundTime_, *lastEnteredBackgroundTime_) >= sessionTimeout_;
  return noLogCreatedForLong && (wasBackgroundForLong || cameBackAfterLong);
}

void TLSessionTracker::applicationDidResignActive() { setLastEnteredBackgroundTime(environment_.clock->now()); }

void TLSessionTracker::applicationDidBecomeActive() {
  setLastEnteredForegroundTime(environment_.clock->now());
  renewSessionId();
}

void TLSessionTracker::channelPrepareLog(TLChannelProtocol& channel, const Log& log) {
  (void)channel;
  if (!log) return;
  if (dynamic_cast<TLStartSessionLog*>(log.get()) || dynamic_cast<TLStartServiceLog*>(log.get())) return;
  if (!dynamic_cast<TLNoAutoAssignSessionIdLog*>(log.get())) {
    log->setSid(environment_.context ? environment_.context->sessionId() : std::nullopt);
  }
  setLastCreatedLogTime(environment_.clock->now());
}

// --- Fields

double TLSessionTracker::sessionTimeout() const {
  std::lock_guard guard(timesLock_);
  return sessionTimeout_;
}
void TLSessionTracker::setSessionTimeout(double seconds) {
  std::lock_guard guard(timesLock_);
  sessionTimeout_ = seconds;
}
std::optional<TLSessionTracker::Date> TLSessionTracker::lastCreatedLogTime() const {
  std::lock_guard guard(timesLock_);
  return lastCreatedLogTime_;
}
void TLSessionTracker::setLastCreatedLogTime(std::optional<Date> time) {
  std::lock_guard guard(timesLock_);
  lastCreatedLogTime_ = time;
}
std::optional<TLSessionTracker::Date> TLSessionTracker::lastEnteredForegroundTime() const {
  std::lock_guard guard(timesLock_);
  return lastEnteredForegroundTime_;
}
void TLSessionTracker::setLastEnteredForegroundTime(std::optional<Date> time) {
  std::lock_guard guard(timesLock_);
  lastEnteredForegroundTime_ = time;
}
std::optional<TLSessionTracker::Date> TLSessionTracker::lastEnteredBackgroundTime() const {
  std::lock_guard guard(timesLock_);
  return lastEnteredBackgroundTime_;
}
void TLSessionTracker::setLastEnteredBackgroundTime(std::optional<Date> time) {
  std::lock_guard guard(timesLock_);
  lastEnteredBackgroundTime_ = time;
}

}  // namespace ml::beacon
