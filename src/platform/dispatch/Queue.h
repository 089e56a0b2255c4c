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
};

}  // namespace ml::dispatch
