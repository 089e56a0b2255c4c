#pragma once
// The client's channel queue: one worker thread running tasks in order (a serial queue), that the
// client can stop for good. Stopping runs every task posted before it, refuses every task posted
// after it (dropped unrun: at exit, an answer of the ingestion or a timer's flush has nothing left
// to do that the next launch would not redo from the log store), and ends the worker thread.
//
// Whoever else still holds the queue (an HTTP call in flight holds its channel unit, which holds
// the queue) cannot keep the thread alive past stop(), which is what lets the client end its
// work before the program's static objects are torn down.
//
// Threads: async and isCurrent from any thread; stop from any thread but the queue's own.
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/dispatch/Queue.h"
#include "platform/dispatch/SerialQueue.h"

namespace ml::beacon {

class TLStoppableQueue final : public dispatch::Queue {
 public:
  explicit TLStoppableQueue(std::string label);
  ~TLStoppableQueue() override;
  TLStoppableQueue(const TLStoppableQueue&) = delete;
  TLStoppableQueue& operator=(const TLStoppableQueue&) = delete;

  // Posts the task; after stop() the task is dropped.
  void async(std::function<void()> task) override;
  bool isCurrent() const override;
  // Runs what was posted so far, then ends the worker; later tasks are dropped. Idempotent.
  void stop();
  bool isStopped() const;

 private:
  mutable std::mutex lock_;
  bool stopped_ = false;
  // Read under lock_; reset only by stop(), after the worker has nothing left to run.
  std::unique_ptr<dispatch::SerialQueue> worker_;
};

}  // namespace ml::beacon
