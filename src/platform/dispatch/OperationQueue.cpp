#include "platform/dispatch/OperationQueue.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/dispatch/MainQueue.h"

namespace ml::dispatch {

// Shared with the tasks on the worker queue, which may finish after the OperationQueue began
// its destruction.
struct OperationQueue::Shared : std::enable_shared_from_this<Shared> {
  Shared(Queue& w, int max) : workers(w), maxConcurrent(std::max(1, max)) {}

  // Starts waiting operations while there is room. Called with `mutex` held; posting to the
  // worker queue never calls back into this object synchronously.
  void startWaiting() {
    while (!waiting.empty() && static_cast<int>(running.size()) < maxConcurrent) {
      auto operation = std::move(waiting.front());
      waiting.pop_front();
      running.push_back(operation);
      workers.async([self = shared_from_this(), operation] {
        operation->run();
        self->finished(operation);
      });
    }
  }

  void finished(const std::shared_ptr<Operation>& operation) {
    {
      std::lock_guard lock(mutex);
      std::erase(running, operation);
      startWaiting();
      if (!waiting.empty() || !running.empty()) return;
    }
    idle.notify_all();
  }

  Queue& workers;
  std::mutex mutex;
  std::condition_variable idle;
  std::deque<std::shared_ptr<Operation>> waiting;
  std::vector<std::shared_ptr<Operation>> running;
  int maxConcurrent;
};

OperationQueue::OperationQueue(Queue& workers, int maxConcurrentCount)
    : shared_(std::make_shared<Shared>(workers, maxConcurrentCount)) {}

OperationQueue::~OperationQueue() {
  cancelAll();
  waitUntilAllFinished();
}

void OperationQueue::add(std::shared_ptr<Operation> operation) {
  if (!operation || !operation->claimForQueue()) return;
  std::lock_guard lock(shared_->mutex);
  shared_->waiting.push_back(std::move(operation));
  shared_->startWaiting();
}

std::shared_ptr<Operation> OperationQueue::add(Operation::Body body) {
  auto operation = Operation::make(std::move(body));
  add(operation);
  return operation;
}

void OperationQueue::cancelAll() {
  std::lock_guard lock(shared_->mutex);
  for (auto& operation : shared_->waiting) operation->cancel();
  for (auto& operation : shared_->running) operation->cancel();
}

void OperationQueue::waitUntilAllFinished() {
  auto& s = *shared_;
  std::unique_lock lock(s.mutex);
  MainQueue::blockingWait(lock, s.idle, [&] { return s.waiting.empty() && s.running.empty(); });
}

void OperationQueue::setMaxConcurrentCount(int count) {
  std::lock_guard lock(shared_->mutex);
  shared_->maxConcurrent = std::max(1, count);
  shared_->startWaiting();
}

int OperationQueue::maxConcurrentCount() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->maxConcurrent;
}

std::size_t OperationQueue::operationCount() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->waiting.size() + shared_->running.size();
}

}  // namespace ml::dispatch
