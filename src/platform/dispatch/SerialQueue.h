#pragma once
// One worker thread running tasks one at a time in the order they were posted.
// Destruction lets the worker finish every task already posted (and those those tasks post),
// then joins it. A queue destroyed by one of its own tasks detaches instead; the worker then
// drains on its own, so such tasks must not touch the object that owned the queue.
#include <functional>
#include <memory>
#include <string>

#include "platform/dispatch/Queue.h"

namespace ml::dispatch {

class SerialQueue final : public Queue {
 public:
  explicit SerialQueue(std::string label);
  ~SerialQueue() override;
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  void async(std::function<void()> task) override;

  // Runs `fn` on the queue after everything posted before it, and waits for it; runs it inline
  // when called from the queue itself. Exceptions thrown by `fn` reach the caller.
  void sync(const std::function<void()>& fn);

  // Whether the caller is this queue's worker.
  bool isCurrent() const override;
  const std::string& label() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace ml::dispatch
