#pragma once
// A one-shot or repeating timer over a Clock whose callback runs on a target queue.
// RAII: destroying or reassigning a Timer cancels it. The clock and the target queue must
// outlive the Timer.
//
// Cancellation: once cancel() returns, the clock no longer posts anything for this timer, and a
// firing already posted to the target queue is skipped when it gets there. Only a callback that
// has already started on the target queue (possible when cancel() is called from another thread)
// still runs to its end. Cancelling from the target queue itself is therefore exact.
//
// A repeating timer is rescheduled by the clock each time it fires, one interval after the
// previous firing, whatever the callback costs; intervals below 1 ms are raised to 1 ms.
#include <functional>
#include <memory>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"

namespace ml::dispatch {

class Timer {
 public:
  // An inactive timer.
  Timer() = default;
  ~Timer();
  Timer(Timer&& other) noexcept = default;
  Timer& operator=(Timer&& other) noexcept;
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  [[nodiscard]] static Timer oneShot(Clock& clock, Queue& target, Duration delay, std::function<void()> fn);
  [[nodiscard]] static Timer repeating(Clock& clock, Queue& target, Duration interval,
                                       std::function<void()> fn);

  void cancel();
  // True until the timer is cancelled or, for a one-shot timer, until its callback starts.
  bool isValid() const;

 private:
  struct State;
  static Timer start(Clock& clock, Queue& target, Duration delay, bool repeats, std::function<void()> fn);
  static void fire(const std::shared_ptr<State>& state);

  std::shared_ptr<State> state_;
};

}  // namespace ml::dispatch
