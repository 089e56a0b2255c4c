#pragma once
// Runs Operations on a worker queue (the global pool by default), at most maxConcurrentCount()
// at a time, starting them in the order they were added.
// Destruction cancels every operation still queued or running and waits for them to finish
// (completions included); the worker queue must outlive the OperationQueue.
#include <cstddef>
#include <memory>

#include "platform/dispatch/GlobalPool.h"
#include "platform/dispatch/Operation.h"
#include "platform/dispatch/Queue.h"

namespace ml::dispatch {

class OperationQueue {
 public:
  static constexpr int kDefaultMaxConcurrentCount = 4;

  explicit OperationQueue(Queue& workers = GlobalPool::shared(),
                          int maxConcurrentCount = kDefaultMaxConcurrentCount);
  ~OperationQueue();
  OperationQueue(const OperationQueue&) = delete;
  OperationQueue& operator=(const OperationQueue&) = delete;

  // Queues an operation. An operation that is already queued, running or finished is ignored.
  void add(std::shared_ptr<Operation> operation);
  // Wraps `body` in an operation, queues it and returns it.
  std::shared_ptr<Operation> add(Operation::Body body);

  // Cancels every operation queued or running now.
  void cancelAll();
  // Blocks until nothing is queued or running (operations added meanwhile included).
  void waitUntilAllFinished();

  // Values below 1 count as 1. Raising it starts waiting operations at once.
  void setMaxConcurrentCount(int count);
  int maxConcurrentCount() const;
  // Operations queued or running.
  std::size_t operationCount() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace ml::dispatch
