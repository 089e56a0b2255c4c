#pragma once
// A unit of work for an OperationQueue: a body that may look at its own cancellation, and an
// optional completion that runs after it, whether the body finished, returned early because it
// was cancelled, or never ran because the operation was cancelled before it started.
// Shared (std::shared_ptr) between its creator, the queue and whoever may cancel it; all
// members are thread-safe. An operation runs at most once.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace ml::dispatch {

class Operation : public std::enable_shared_from_this<Operation> {
 public:
  // The body receives its operation so it can poll isCancelled() between steps.
  using Body = std::function<void(const Operation&)>;

  static std::shared_ptr<Operation> make(Body body);

  // Sets the completion; it runs on the operation's thread right after the body (or in place of
  // it when cancelled before start). Set it before the operation is queued.
  void setCompletion(std::function<void()> completion);

  // Asks the body to stop; an operation not yet started will skip its body. Idempotent.
  void cancel();
  bool isCancelled() const;
  bool isExecuting() const;
  // True once the body (or its skip) and the completion are over.
  bool isFinished() const;

  // Blocks until isFinished(). Never call it from the operation itself, and take care calling it
  // from the pool the operation runs on: a waiting worker is a worker fewer.
  void waitUntilFinished() const;

  // Runs the operation on the calling thread; OperationQueue calls it. A second call does nothing.
  void run();

  explicit Operation(Body body);  // prefer make()

 private:
  friend class OperationQueue;
  // Claims the operation for one queue; false when some queue already has it.
  bool claimForQueue();

  enum class Phase { ready, executing, finished };

  mutable std::mutex mutex_;
  mutable std::condition_variable finished_;
  Body body_;
  std::function<void()> completion_;
  Phase phase_ = Phase::ready;
  bool cancelled_ = false;
  bool claimed_ = false;
};

}  // namespace ml::dispatch
