#include "platform/dispatch/GlobalPool.h"

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/detail/ThreadName.h"

namespace ml::dispatch {

struct GlobalPool::Shared {
  std::string label;
  std::mutex mutex;
  std::condition_variable wake;      // new task or stop request
  std::condition_variable finished;  // a worker left
  std::deque<std::function<void()>> tasks;
  bool stopping = false;
  std::size_t running = 0;  // workers still in their loop
  std::vector<std::thread> workers;
  std::vector<std::thread::id> workerIds;  // fixed once the constructor returns

  void run() {
    detail::setCurrentThreadName(label);
    std::unique_lock lock(mutex);
    for (;;) {
      wake.wait(lock, [&] { return stopping || !tasks.empty(); });
      if (tasks.empty()) break;
      auto task = std::move(tasks.front());
      tasks.pop_front();
      lock.unlock();
      task();
      task = nullptr;
      lock.lock();
    }
    --running;
    lock.unlock();
    finished.notify_all();
  }
};

GlobalPool& GlobalPool::shared() {
  // Never destroyed: background work may still be posting when the process exits.
  static GlobalPool* const pool =
      new GlobalPool(std::max<std::size_t>(2, std::thread::hardware_concurrency()), "ml.global");
  return *pool;
}

GlobalPool::GlobalPool(std::size_t threadCount, std::string label) : shared_(std::make_unique<Shared>()) {
  shared_->label = std::move(label);
  threadCount = std::max<std::size_t>(1, threadCount);
  shared_->running = threadCount;
  for (std::size_t i = 0; i < threadCount; ++i) {
    shared_->workers.emplace_back([s = shared_.get()] { s->run(); });
    shared_->workerIds.push_back(shared_->workers.back().get_id());
  }
}

GlobalPool::~GlobalPool() {
  assert(!isWorkerThread() && "a pool cannot join itself");
  auto& s = *shared_;
  {
    std::unique_lock lock(s.mutex);
    s.stopping = true;
    s.wake.notify_all();
    MainQueue::blockingWait(lock, s.finished, [&] { return s.running == 0; });
  }
  for (auto& worker : s.workers) worker.join();
}

void GlobalPool::async(std::function<void()> task) {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->tasks.push_back(std::move(task));
  }
  shared_->wake.notify_one();
}

bool GlobalPool::isCurrent() const { return isWorkerThread(); }

std::size_t GlobalPool::threadCount() const { return shared_->workers.size(); }

bool GlobalPool::isWorkerThread() const {
  const auto self = std::this_thread::get_id();
  return std::find(shared_->workerIds.begin(), shared_->workerIds.end(), self) !=
         shared_->workerIds.end();
}

}  // namespace ml::dispatch
