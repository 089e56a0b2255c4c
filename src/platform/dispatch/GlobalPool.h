#pragma once
// A fixed set of worker threads taking tasks from one FIFO list: tasks start in posting order
// but run concurrently, so nothing orders their ends. For background work that must not hold up
// the main thread (folder sizes, copies, searches, purges).
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/dispatch/Queue.h"

namespace ml::dispatch {

class GlobalPool final : public Queue {
 public:
  // The process-wide pool: as many threads as the machine has cores, at least 2. It lives until
  // the process ends.
  static GlobalPool& shared();

  // A pool of its own (tests, or work that must not compete with the shared pool).
  explicit GlobalPool(std::size_t threadCount, std::string label = "ml.pool");
  // Lets the workers finish every task already posted (and those those tasks post), then joins
  // them. Must not be destroyed from one of its own tasks.
  ~GlobalPool() override;
  GlobalPool(const GlobalPool&) = delete;
  GlobalPool& operator=(const GlobalPool&) = delete;

  void async(std::function<void()> task) override;

  // Whether the caller is one of this pool's workers (as isWorkerThread()).
  bool isCurrent() const override;

  std::size_t threadCount() const;
  // Whether the caller is one of this pool's workers.
  bool isWorkerThread() const;

 private:
  struct Shared;
  std::unique_ptr<Shared> shared_;
};

}  // namespace ml::dispatch
