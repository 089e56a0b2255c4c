#include "support/ManualMainLoop.h"

#include "platform/dispatch/MainQueue.h"

namespace ml::test {

using ml::dispatch::MainQueue;

ManualMainLoop::ManualMainLoop() {
  MainQueue::markCurrentThreadAsMain();
  MainQueue::installPoster([this](std::function<void()> task) { post(std::move(task)); });
}

ManualMainLoop::~ManualMainLoop() {
  MainQueue::installPoster(nullptr);
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard lock(mutex_);
    dropped.swap(tasks_);
  }
  // `dropped` goes here, outside the lock: destroying a task may release objects that post.
}

void ManualMainLoop::post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  posted_.notify_all();
}

bool ManualMainLoop::runOne() {
  std::function<void()> task;
  {
    std::lock_guard lock(mutex_);
    if (tasks_.empty()) return false;
    task = std::move(tasks_.front());
    tasks_.pop_front();
  }
  task();
  return true;
}

std::size_t ManualMainLoop::drain() {
  std::size_t ran = 0;
  while (runOne()) ++ran;
  return ran;
}

bool ManualMainLoop::drainUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (done()) return true;
    if (runOne()) continue;
    std::unique_lock lock(mutex_);
    if (tasks_.empty()) {
      // Wake on a post, or now and then to look at `done()` again: other threads may make it
      // true without posting anything here.
      posted_.wait_for(lock, std::chrono::milliseconds(1));
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      lock.unlock();
      return done();
    }
  }
}

std::size_t ManualMainLoop::pending() const {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}

}  // namespace ml::test
