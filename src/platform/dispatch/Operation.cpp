#include "platform/dispatch/Operation.h"

#include "platform/dispatch/MainQueue.h"

namespace ml::dispatch {

Operation::Operation(Body body) : body_(std::move(body)) {}

std::shared_ptr<Operation> Operation::make(Body body) {
  return std::make_shared<Operation>(std::move(body));
}

void Operation::setCompletion(std::function<void()> completion) {
  std::lock_guard lock(mutex_);
  completion_ = std::move(completion);
}

void Operation::cancel() {
  std::lock_guard lock(mutex_);
  cancelled_ = true;
}

bool Operation::isCancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

bool Operation::isExecuting() const {
  std::lock_guard lock(mutex_);
  return phase_ == Phase::executing;
}

bool Operation::isFinished() const {
  std::lock_guard lock(mutex_);
  return phase_ == Phase::finished;
}

bool Operation::claimForQueue() {
  std::lock_guard lock(mutex_);
  if (claimed_ || phase_ != Phase::ready) return false;
  claimed_ = true;
  return true;
}

void Operation::waitUntilFinished() const {
  std::unique_lock lock(mutex_);
  MainQueue::blockingWait(lock, finished_, [&] { return phase_ == Phase::finished; });
}

void Operation::run() {
  Body body;
  std::function<void()> completion;
  bool skip = false;
  {
    std::lock_guard lock(mutex_);
    if (phase_ != Phase::ready) return;
    phase_ = Phase::executing;
    skip = cancelled_;
    body = std::move(body_);
    completion = std::move(completion_);
  }
  if (!skip && body) body(*this);
  // The body and completion often capture what owns the operation; drop them before finishing
  // so no cycle outlives the run.
  body = nullptr;
  if (completion) completion();
  completion = nullptr;
  {
    std::lock_guard lock(mutex_);
    phase_ = Phase::finished;
  }
  finished_.notify_all();
}

}  // namespace ml::dispatch
