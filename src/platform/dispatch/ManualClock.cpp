#include "platform/dispatch/ManualClock.h"

#include <algorithm>

namespace ml::dispatch {

ManualClock::ManualClock(TimePoint start) : now_(start) {}

TimePoint ManualClock::now() const {
  std::lock_guard lock(mutex_);
  return now_;
}

TimerToken ManualClock::schedule(Duration delay, std::function<void()> fire) {
  std::lock_guard lock(mutex_);
  const auto deadline =
      now_ + std::chrono::duration_cast<TimePoint::duration>(std::max(delay, Duration::zero()));
  return schedule_.add(deadline, std::move(fire));
}

void ManualClock::cancel(TimerToken token) {
  std::lock_guard lock(mutex_);
  schedule_.remove(token);
}

void ManualClock::advance(Duration by) {
  TimePoint target;
  {
    std::lock_guard lock(mutex_);
    target = now_ + std::chrono::duration_cast<TimePoint::duration>(std::max(by, Duration::zero()));
  }
  set(target);
}

void ManualClock::set(TimePoint to) {
  std::unique_lock lock(mutex_);
  if (to < now_) {
    now_ = to;
    return;
  }
  while (auto due = schedule_.popDue(to)) {
    now_ = std::max(now_, due->deadline);
    lock.unlock();
    due->fire();
    due.reset();  // release what the callback captured before taking the lock again
    lock.lock();
  }
  now_ = to;
}

std::size_t ManualClock::pendingCount() const {
  std::lock_guard lock(mutex_);
  return schedule_.size();
}

std::optional<TimePoint> ManualClock::nextDeadline() const {
  std::lock_guard lock(mutex_);
  return schedule_.nextDeadline();
}

}  // namespace ml::dispatch
