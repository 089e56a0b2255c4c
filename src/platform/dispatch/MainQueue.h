#pragma once
// The main (GUI) thread as a queue. The event loop that owns the main thread installs a poster
// that carries a task over to it (the Qt application at start; ManualMainLoop in tests). Tasks
// posted while no poster is installed are kept, in order, and handed to the next poster.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

#include "platform/dispatch/Queue.h"

namespace ml::dispatch {

class MainQueue final : public Queue {
 public:
  // Must hand the task over without running it inline and without blocking; it is called with
  // the queue's lock held, which is what keeps tasks in order across a change of poster.
  using Poster = std::function<void(std::function<void()>)>;

  // The one main queue; it lives until the process ends.
  static MainQueue& shared();

  void async(std::function<void()> task) override;
  // Whether the caller runs on the thread marked as main (as isMainThread()).
  bool isCurrent() const override;

  // Installs the poster (an empty one uninstalls). Once this returns, the previous poster is
  // never called again.
  static void installPoster(Poster poster);

  // Whether the caller runs on the thread marked as main. False everywhere until a thread is
  // marked.
  static bool isMainThread();
  static void markCurrentThreadAsMain();

  // Runs `fn` on the main thread and waits for it; runs it inline when already there.
  // Exceptions thrown by `fn` reach the caller. Waits for ever if nothing serves the main
  // queue, so never call it before the event loop (or a test's loop) is in place.
  static void sync(const std::function<void()>& fn);

  template <class F>
    requires(!std::is_void_v<std::invoke_result_t<F&>>)
  static std::invoke_result_t<F&> sync(F&& fn) {
    std::optional<std::invoke_result_t<F&>> result;
    sync(std::function<void()>([&] { result.emplace(fn()); }));
    return std::move(*result);
  }

  // Blocks on `cv` (with `lock` held on entry and exit) until `done()` is true. On the main
  // thread it meanwhile serves MainQueue::sync() requests, so a worker that waits for the main
  // thread cannot deadlock a main thread that waits for that worker (for instance a store
  // destroyed on the main thread while its queue is inside MainQueue::sync()).
  static void blockingWait(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                           const std::function<bool()>& done);

 private:
  MainQueue() = default;
};

}  // namespace ml::dispatch
