#include "platform/dispatch/SerialQueue.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/detail/ThreadName.h"

namespace ml::dispatch {

// Shared by the queue object and its worker, so a detached worker (queue destroyed from one of
// its own tasks) still has everything it reads.
struct SerialQueue::Shared {
  explicit Shared(std::string l) : label(std::move(l)) {}

  void run() {
    detail::setCurrentThreadName(label);
    std::unique_lock lock(mutex);
    for (;;) {
      wake.wait(lock, [&] { return stopping || !tasks.empty(); });
      if (tasks.empty()) break;  // stopping, and nothing left to drain
      auto task = std::move(tasks.front());
      tasks.pop_front();
      lock.unlock();
      task();
      task = nullptr;  // release captures outside the lock
      lock.lock();
    }
    finished = true;
    lock.unlock();
    wake.notify_all();
  }

  const std::string label;
  std::mutex mutex;
  std::condition_variable wake;  // new task, stop request, or worker finished
  std::deque<std::function<void()>> tasks;
  bool stopping = false;
  bool finished = false;
  std::thread worker;
  std::thread::id workerId;  // kept apart from `worker`, which detach() clears
};

SerialQueue::SerialQueue(std::string label) : shared_(std::make_shared<Shared>(std::move(label))) {
  shared_->worker = std::thread([s = shared_] { s->run(); });
  shared_->workerId = shared_->worker.get_id();
}

SerialQueue::~SerialQueue() {
  auto& s = *shared_;
  std::unique_lock lock(s.mutex);
  s.stopping = true;
  s.wake.notify_all();
  if (s.workerId == std::this_thread::get_id()) {
    lock.unlock();
    s.worker.detach();
    return;
  }
  MainQueue::blockingWait(lock, s.wake, [&] { return s.finished; });
  lock.unlock();
  s.worker.join();
}

void SerialQueue::async(std::function<void()> task) {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->tasks.push_back(std::move(task));
  }
  shared_->wake.notify_all();
}

void SerialQueue::sync(const std::function<void()>& fn) {
  if (isCurrent()) {
    fn();
    return;
  }
  struct Wait {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    std::exception_ptr error;
  };
  auto wait = std::make_shared<Wait>();
  async([wait, &fn] {
    std::exception_ptr error;
    try {
      fn();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard lock(wait->mutex);
    wait->error = error;
    wait->done = true;
    wait->cv.notify_all();
  });
  std::unique_lock lock(wait->mutex);
  MainQueue::blockingWait(lock, wait->cv, [&] { return wait->done; });
  if (wait->error) std::rethrow_exception(wait->error);
}

bool SerialQueue::isCurrent() const { return shared_->workerId == std::this_thread::get_id(); }

const std::string& SerialQueue::label() const { return shared_->label; }

}  // namespace ml::dispatch
