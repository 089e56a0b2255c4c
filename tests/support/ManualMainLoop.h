#pragma once
// A main loop that a test drives by hand. Constructing it installs the MainQueue poster and
// marks the constructing thread as the main thread; destroying it uninstalls the poster and
// drops (without running) whatever is still queued. One at a time per process.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace ml::test {

class ManualMainLoop {
 public:
  ManualMainLoop();
  ~ManualMainLoop();
  ManualMainLoop(const ManualMainLoop&) = delete;
  ManualMainLoop& operator=(const ManualMainLoop&) = delete;

  // Runs queued tasks, including those they post, until none is left. Returns how many ran.
  std::size_t drain();

  // Runs tasks as they arrive (from any thread) until `done()` is true, checking it after each
  // task and whenever the queue is empty. `limit` is a real-time safety net against a hung test,
  // not a measurement: returns false when it ran out before `done()` became true.
  bool drainUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(30));

  // Tasks queued and not yet run.
  std::size_t pending() const;

 private:
  void post(std::function<void()> task);
  bool runOne();

  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace ml::test
