#pragma once
// Virtual time for tests. Time stands still until advance() or set() moves it; due callbacks
// then run on the thread that moved it, in deadline order (ties in scheduling order), with now()
// reading each callback's own deadline while it runs. Callbacks scheduled while advancing fire
// in the same call when they fall due before its end, so a repeating timer fires once per
// period covered.
#include <cstddef>
#include <mutex>
#include <optional>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/detail/TimerSchedule.h"

namespace ml::dispatch {

class ManualClock final : public Clock {
 public:
  // Starts at `start`; by default 2025-01-01T00:00:00Z, a fixed instant so tests repeat exactly.
  explicit ManualClock(TimePoint start = TimePoint{std::chrono::seconds(1735689600)});
  ManualClock(const ManualClock&) = delete;
  ManualClock& operator=(const ManualClock&) = delete;

  TimePoint now() const override;
  TimerToken schedule(Duration delay, std::function<void()> fire) override;
  void cancel(TimerToken token) override;

  // Moves time forward by `by` (a negative amount counts as zero), firing what falls due.
  // One thread at a time may advance the clock, and never from inside a callback.
  void advance(Duration by);
  // Moves time to `to`: forward (or to the same instant) as advance() does, firing what falls
  // due; backward without firing anything.
  void set(TimePoint to);

  std::size_t pendingCount() const;
  std::optional<TimePoint> nextDeadline() const;

 private:
  mutable std::mutex mutex_;
  TimePoint now_;
  detail::TimerSchedule<TimePoint> schedule_;
};

}  // namespace ml::dispatch
