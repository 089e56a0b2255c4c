#include "beacon/core/Service/TLStoppableQueue.h"

namespace ml::beacon {

TLStoppableQueue::TLStoppableQueue(std::string label)
    : worker_(std::make_unique<dispatch::SerialQueue>(std::move(label))) {}

TLStoppableQueue::~TLStoppableQueue() { stop(); }

void TLStoppableQueue::async(std::function<void()> task) {
  std::function<void()> refused;
  {
    std::lock_guard guard(lock_);
    if (!stopped_ && worker_) {
      worker_->async(std::move(task));
      return;
    }
    refused = std::move(task);
  }
  // What the task holds goes here, outside the lock.
}

bool TLStoppableQueue::isCurrent() const {
  std::lock_guard guard(lock_);
  return worker_ && worker_->isCurrent();
}

void TLStoppableQueue::stop() {
  dispatch::SerialQueue* worker = nullptr;
  {
    std::lock_guard guard(lock_);
    if (stopped_) return;
    stopped_ = true;
    worker = worker_.get();
  }
  if (!worker) return;
  // Everything posted before the switch above runs first; nothing can be posted after it, so the
  // worker is idle when sync returns.
  worker->sync([] {});
  std::unique_ptr<dispatch::SerialQueue> ending;
  {
    std::lock_guard guard(lock_);
    ending = std::move(worker_);
  }
  ending.reset();  // joins the idle worker
}

bool TLStoppableQueue::isStopped() const {
  std::lock_guard guard(lock_);
  return stopped_;
}

}  // namespace ml::beacon
