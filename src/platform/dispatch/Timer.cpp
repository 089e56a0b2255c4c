#include "platform/dispatch/Timer.h"

#include <algorithm>
#include <chrono>
#include <mutex>

namespace ml::dispatch {

namespace {
constexpr Duration kMinimumInterval = std::chrono::milliseconds(1);
}

struct Timer::State {
  std::mutex mutex;
  Clock* clock = nullptr;
  Queue* target = nullptr;
  Duration interval{};
  bool repeats = false;
  bool cancelled = false;
  bool started = false;  // a one-shot timer's callback has begun
  TimerToken token;
  // Shared so a firing can call it without holding the mutex.
  std::shared_ptr<const std::function<void()>> fn;
};

Timer::~Timer() { cancel(); }

Timer& Timer::operator=(Timer&& other) noexcept {
  if (this != &other) {
    cancel();
    state_ = std::move(other.state_);
  }
  return *this;
}

Timer Timer::oneShot(Clock& clock, Queue& target, Duration delay, std::function<void()> fn) {
  return start(clock, target, delay, false, std::move(fn));
}

Timer Timer::repeating(Clock& clock, Queue& target, Duration interval, std::function<void()> fn) {
  return start(clock, target, std::max(interval, kMinimumInterval), true, std::move(fn));
}

Timer Timer::start(Clock& clock, Queue& target, Duration delay, bool repeats, std::function<void()> fn) {
  Timer timer;
  auto state = std::make_shared<State>();
  state->clock = &clock;
  state->target = &target;
  state->interval = delay;
  state->repeats = repeats;
  state->fn = std::make_shared<const std::function<void()>>(std::move(fn));
  timer.state_ = state;
  // Under the timer's lock, so a firing on the clock's thread sees the token it must replace.
  std::lock_guard lock(state->mutex);
  state->token = clock.schedule(delay, [state] { fire(state); });
  return timer;
}

// Runs on the clock's thread (or the thread advancing a ManualClock).
void Timer::fire(const std::shared_ptr<State>& state) {
  std::lock_guard lock(state->mutex);
  if (state->cancelled) return;
  if (state->repeats) {
    state->token = state->clock->schedule(state->interval, [state] { fire(state); });
  }
  // Posting under the lock means a cancel() that returned has seen the last post.
  state->target->async([state] {
    std::shared_ptr<const std::function<void()>> fn;
    {
      std::lock_guard inner(state->mutex);
      if (state->cancelled) return;
      if (!state->repeats) state->started = true;
      fn = state->fn;
    }
    (*fn)();
  });
}

void Timer::cancel() {
  if (!state_) return;
  TimerToken token;
  Clock* clock = nullptr;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->cancelled) return;
    state_->cancelled = true;
    token = state_->token;
    clock = state_->clock;
  }
  // Outside the timer's lock: the clock's lock is taken before it in fire().
  clock->cancel(token);
}

bool Timer::isValid() const {
  if (!state_) return false;
  std::lock_guard lock(state_->mutex);
  return !state_->cancelled && !state_->started;
}

}  // namespace ml::dispatch
