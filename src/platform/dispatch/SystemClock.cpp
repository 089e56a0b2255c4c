#include "platform/dispatch/SystemClock.h"

#include <algorithm>

#include "platform/dispatch/detail/ThreadName.h"

namespace ml::dispatch {

Clock& Clock::system() {
  // Deliberately never destroyed: timers may be cancelled or scheduled from static destructors
  // and from threads still running at exit.
  static SystemClock* const clock = new SystemClock();
  return *clock;
}

SystemClock::SystemClock() : thread_([this] { run(); }) {}

SystemClock::~SystemClock() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    schedule_.clear();
  }
  wake_.notify_all();
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();  // destroyed from one of its own callbacks: the loop exits on its own
  } else {
    thread_.join();
  }
}

TimePoint SystemClock::now() const { return std::chrono::system_clock::now(); }

TimerToken SystemClock::schedule(Duration delay, std::function<void()> fire) {
  const auto deadline = std::chrono::steady_clock::now() + std::max(delay, Duration::zero());
  TimerToken token;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return TimerToken{};
    token = schedule_.add(deadline, std::move(fire));
  }
  wake_.notify_all();
  return token;
}

void SystemClock::cancel(TimerToken token) {
  std::lock_guard lock(mutex_);
  schedule_.remove(token);
}

void SystemClock::run() {
  detail::setCurrentThreadName("ml.clock");
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    auto next = schedule_.nextDeadline();
    if (!next) {
      wake_.wait(lock);
      continue;
    }
    if (std::chrono::steady_clock::now() < *next) {
      wake_.wait_until(lock, *next);
      continue;  // woken early, or an earlier deadline arrived: look again
    }
    auto due = schedule_.popDue(*next);
    lock.unlock();
    // The callback runs unlocked so it may schedule or cancel; destroy it before relocking.
    due->fire();
    due.reset();
    lock.lock();
  }
}

}  // namespace ml::dispatch
