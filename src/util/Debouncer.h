#pragma once
// Runs a handler once after a quiet interval. Each renewInterval() restarts the wait; when it
// ends without another restart, the handler set last runs (once) on the target queue and is
// cleared, and the debouncer idles until the next restart. Destroying the debouncer before then
// runs nothing.
//
// Meant for one thread (the main thread in the program, with the main queue as target); the
// handler slot is locked anyway, so a firing on another target queue is safe.
#include <functional>
#include <memory>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"

namespace ml::util {

class Debouncer {
 public:
  // `clock` and `target` must outlive the debouncer.
  explicit Debouncer(dispatch::Duration interval, dispatch::Clock& clock = dispatch::Clock::system(),
                     dispatch::Queue& target = dispatch::MainQueue::shared());
  ~Debouncer();
  Debouncer(Debouncer&&) noexcept = default;
  Debouncer& operator=(Debouncer&&) noexcept = default;
  Debouncer(const Debouncer&) = delete;
  Debouncer& operator=(const Debouncer&) = delete;

  // Replaces the handler that the next firing runs.
  void setHandler(std::function<void()> handler);
  // Cancels the wait in progress, if any, and starts a new one of interval().
  void renewInterval();
  // setHandler(handler), then renewInterval().
  void renewInterval(std::function<void()> handler);

  dispatch::Duration interval() const { return interval_; }
  // Whether a wait is in progress.
  bool isPending() const;

 private:
  struct Slot;

  dispatch::Duration interval_;
  dispatch::Clock* clock_;
  dispatch::Queue* target_;
  std::shared_ptr<Slot> slot_;
  dispatch::Timer timer_;
};

}  // namespace ml::util
