#include "platform/dispatch/MainQueue.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

namespace ml::dispatch {

namespace {

// One call of MainQueue::sync(). It can be run from two places: the task handed to the poster,
// or a main thread that serves requests while it blocks (blockingWait). Whoever claims it first
// runs it; the other does nothing.
struct SyncRequest {
  explicit SyncRequest(const std::function<void()>& f) : fn(&f) {}
  const std::function<void()>* fn;  // the caller's, alive while the caller waits
  std::atomic<bool> claimed{false};
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::exception_ptr error;
};

struct MainState {
  std::mutex mutex;
  MainQueue::Poster poster;
  std::deque<std::function<void()>> waiting;  // posted while no poster was installed

  std::mutex syncMutex;
  std::vector<std::shared_ptr<SyncRequest>> syncRequests;  // not yet claimed

  std::atomic<std::thread::id> mainThread{};
};

MainState& state() {
  // Never destroyed: tasks may be posted from threads still running while the process exits.
  static MainState* const s = new MainState();
  return *s;
}

void serve(const std::shared_ptr<SyncRequest>& request) {
  if (request->claimed.exchange(true)) return;
  {
    auto& s = state();
    std::lock_guard lock(s.syncMutex);
    std::erase(s.syncRequests, request);
  }
  try {
    (*request->fn)();
  } catch (...) {
    request->error = std::current_exception();
  }
  {
    std::lock_guard lock(request->mutex);
    request->done = true;
  }
  request->finished.notify_all();
}

void servePendingSyncRequests() {
  auto& s = state();
  std::vector<std::shared_ptr<SyncRequest>> pending;
  {
    std::lock_guard lock(s.syncMutex);
    pending = s.syncRequests;
  }
  for (auto& request : pending) serve(request);
}

}  // namespace

MainQueue& MainQueue::shared() {
  // Stateless (everything lives in state()), and never destroyed for the same reason.
  static MainQueue* const queue = new MainQueue();
  return *queue;
}

void MainQueue::async(std::function<void()> task) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  if (s.poster) {
    s.poster(std::move(task));
  } else {
    s.waiting.push_back(std::move(task));
  }
}

void MainQueue::installPoster(Poster poster) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  s.poster = std::move(poster);
  if (!s.poster) return;
  // Under the lock, so nothing posted meanwhile can overtake what was waiting.
  while (!s.waiting.empty()) {
    s.poster(std::move(s.waiting.front()));
    s.waiting.pop_front();
  }
}

bool MainQueue::isCurrent() const { return isMainThread(); }

bool MainQueue::isMainThread() { return state().mainThread.load() == std::this_thread::get_id(); }

void MainQueue::markCurrentThreadAsMain() { state().mainThread.store(std::this_thread::get_id()); }

void MainQueue::sync(const std::function<void()>& fn) {
  if (isMainThread()) {
    fn();
    return;
  }
  auto request = std::make_shared<SyncRequest>(fn);
  {
    auto& s = state();
    std::lock_guard lock(s.syncMutex);
    s.syncRequests.push_back(request);
  }
  shared().async([request] { serve(request); });
  {
    std::unique_lock lock(request->mutex);
    request->finished.wait(lock, [&] { return request->done; });
  }
  if (request->error) std::rethrow_exception(request->error);
}

void MainQueue::blockingWait(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                             const std::function<bool()>& done) {
  if (!isMainThread()) {
    cv.wait(lock, done);
    return;
  }
  // A sync request gives no signal on `cv`, so look for requests at a short period. This only
  // runs while the main thread is blocked, which is rare and brief.
  constexpr auto kServePeriod = std::chrono::milliseconds(2);
  while (!done()) {
    lock.unlock();
    servePendingSyncRequests();
    lock.lock();
    if (done()) return;
    cv.wait_for(lock, kServePeriod);
  }
}

}  // namespace ml::dispatch
