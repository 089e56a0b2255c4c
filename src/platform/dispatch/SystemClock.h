#pragma once
// Real time. Deadlines are kept on the monotonic clock, so changing the wall clock neither
// fires timers early nor holds them back; now() still reports wall-clock time.
// Callbacks run one at a time on the clock's own timer thread.
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/detail/TimerSchedule.h"

namespace ml::dispatch {

class SystemClock final : public Clock {
 public:
  SystemClock();
  // Stops the timer thread and joins it; callbacks not yet due are dropped unrun.
  ~SystemClock() override;
  SystemClock(const SystemClock&) = delete;
  SystemClock& operator=(const SystemClock&) = delete;

  TimePoint now() const override;
  TimerToken schedule(Duration delay, std::function<void()> fire) override;
  void cancel(TimerToken token) override;

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable wake_;
  detail::TimerSchedule<std::chrono::steady_clock::time_point> schedule_;
  bool stopping_ = false;
  std::thread thread_;  // last: started once everything above exists
};

}  // namespace ml::dispatch
