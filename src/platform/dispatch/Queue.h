#pragma once
// Somewhere to run work later. Implementations: SerialQueue (one worker, FIFO), GlobalPool
// (shared worker threads), MainQueue (the GUI thread).
#include <functional>

namespace ml::dispatch {

class Queue {
 public:
  virtual ~Queue() = default;

  // Hands `task` to the queue and returns at once; callable from any thread. Tasks must not
  // throw: an exception escaping a task ends the process, as it would on any thread.
  virtual void async(std::function<void()> task) = 0;

  // Whether the caller runs inside a task this queue is running: on a serial queue's worker, on
  // one of a pool's workers, on the main thread for the main queue. Meant for checking that
  // confined state is touched from its queue (ML_ASSERT_ON_QUEUE); a queue that cannot tell (a
  // test double that runs tasks inline) answers false.
  virtual bool isCurrent() const { return false; }
};

}  // namespace ml::dispatch
