#pragma once
// The one source of time for every timer in the program. Product code takes a Clock& so that
// tests can drive it in virtual time (ManualClock); production uses Clock::system().
#include <chrono>
#include <cstdint>
#include <functional>

namespace ml::dispatch {

using Duration = std::chrono::nanoseconds;
using TimePoint = std::chrono::system_clock::time_point;

// Names one scheduled callback of one clock. The default value names nothing; cancelling it, or
// a token whose callback already fired, does nothing.
struct TimerToken {
  std::uint64_t id = 0;
  explicit operator bool() const { return id != 0; }
  friend bool operator==(TimerToken, TimerToken) = default;
};

class Clock {
 public:
  virtual ~Clock() = default;

  // Wall-clock time as this clock sees it.
  virtual TimePoint now() const = 0;

  // Calls `fire` once, `delay` from now (a negative delay counts as zero). Where the call
  // happens depends on the clock: the system clock's timer thread, or the thread that advances
  // a ManualClock. `fire` must be short and must not block: hand real work to a queue (Timer
  // does). Thread-safe.
  virtual TimerToken schedule(Duration delay, std::function<void()> fire) = 0;

  // Drops a callback that has not started yet. A callback already running is not waited for.
  // Thread-safe; callable from inside a callback.
  virtual void cancel(TimerToken token) = 0;

  // The real clock, with one timer thread for the whole process. It lives until the process
  // ends (never destroyed, so late timers during exit cannot touch a dead object).
  static Clock& system();
};

}  // namespace ml::dispatch
