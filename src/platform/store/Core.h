#pragma once
// A state store: one state value of type S, changed only by events, observed by subscribers.
//
// Threads. Events and commands are handled one at a time, in firing order, on the store's own
// serial queue (never the main thread); firing is allowed from any thread and returns at once.
// For each event: every middleware's process() sees the event and the state before it, then
// S::react() applies the event, then every subscriber gets the new state on its own queue.
// Work on the store's queue may wait for the main thread (MainQueue::sync).
//
// Reading. state() returns a copy of the last published state from any thread, the main thread
// included, without waiting for the event in progress: the store publishes an immutable snapshot
// after each event and readers only take a short lock to pick it up. Each handled event costs
// one copy of S (the snapshot, shared by all subscribers), so large parts of a state belong
// behind std::shared_ptr<const ...>.
//
// Ownership. The store keeps every subscriber and middleware alive while registered: until the
// remover that add() returned is called, or for the store's life. A window that subscribes to a
// store living longer than itself (the global store) calls the remover when it closes.
//
// Destruction drains: events and commands already fired are still handled (their subscriber
// updates are posted as usual) before the destructor returns. Never destroy a store from work
// running on its own queue.
//
// Sharing. A store owned by a std::shared_ptr hands out a reference to itself
// (weak_from_this()), so that work outliving its owner can hold the store it reports to.
//
// S needs a copy constructor and `void react(const Event&)`.
#include <atomic>
#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/store/Command.h"
#include "platform/store/Event.h"
#include "platform/store/Middleware.h"
#include "platform/store/Subscriber.h"
#include "platform/store/detail/QueueLabel.h"
#include "platform/store/detail/Registry.h"

namespace ml::store {

template <class S>
class Core : public std::enable_shared_from_this<Core<S>> {
 public:
  using State = S;

  explicit Core(S initial, std::vector<std::shared_ptr<Middleware<S>>> middlewares = {})
      : working_(initial),
        published_(std::make_shared<const S>(std::move(initial))),
        middlewares_(std::make_shared<detail::Registry<std::shared_ptr<Middleware<S>>>>()),
        subscribers_(std::make_shared<detail::Registry<Registration>>()),
        queue_(detail::nextQueueLabel()) {
    static_assert(requires(S& s, const Event& e) { s.react(e); }, "a state type needs react(const Event&)");
    for (auto& middleware : middlewares) {
      if (middleware) middlewares_->add(std::move(middleware));
    }
  }

  // Members go in reverse order, queue_ first: its destructor runs what is still queued, which
  // uses the members declared before it.
  ~Core() = default;
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;

  // The last published state. Any thread; never waits for work in progress.
  S state() const {
    std::shared_ptr<const S> snapshot;
    {
      std::lock_guard lock(publishedMutex_);
      snapshot = published_;
    }
    return *snapshot;
  }

  template <class E>
    requires std::derived_from<E, Event>
  void fire(E event) {
    fire(std::shared_ptr<const Event>(std::make_shared<const E>(std::move(event))));
  }

  // A null event is ignored.
  void fire(std::shared_ptr<const Event> event) {
    if (!event) return;
    queue_.async([this, event = std::move(event)] { handle(*event); });
  }

  template <class C>
    requires std::derived_from<C, Command<S>>
  void fire(C command) {
    fire(std::shared_ptr<Command<S>>(std::make_shared<C>(std::move(command))));
  }

  // A null command is ignored.
  void fire(std::shared_ptr<Command<S>> command) {
    if (!command) return;
    queue_.async([this, command = std::move(command)] { command->execute(working_, *this); });
  }

  // Registers `subscriber` until the returned remover is called (or for the store's life). It
  // first gets the state as all events fired before this call left it, then every later state;
  // always on `queue`, which must outlive the store's posts to it. The remover works from any
  // thread, any number of times, also after the store is gone; once it has returned, no update
  // starts on `queue` any more (one running on another thread at that moment may finish). A null
  // subscriber is ignored (its remover does nothing).
  std::function<void()> add(std::shared_ptr<Subscriber<S>> subscriber,
                            dispatch::Queue& queue = dispatch::MainQueue::shared()) {
    if (!subscriber) return [] {};
    auto live = std::make_shared<std::atomic<bool>>(true);
    // Registered at once but passed over until its first update is posted, on the store's queue,
    // so that first update cannot overtake or repeat a later one.
    const auto id = subscribers_->add(Registration{subscriber, &queue, live, false});
    queue_.async([this, id, subscriber = std::move(subscriber), live, &queue] {
      bool registered = false;
      subscribers_->update(id, [&registered](Registration& registration) {
        registration.ready = true;
        registered = true;
      });
      if (!registered) return;  // removed before it was ever called
      std::shared_ptr<const S> snapshot;
      {
        std::lock_guard lock(publishedMutex_);
        snapshot = published_;
      }
      queue.async([subscriber, live, snapshot] {
        if (live->load()) subscriber->update(*snapshot);
      });
    });
    return [weak = std::weak_ptr<detail::Registry<Registration>>(subscribers_), id, live] {
      live->store(false);
      if (auto registry = weak.lock()) registry->remove(id);
    };
  }

  // Registers `middleware` at once: every event handled from now on reaches it (including
  // events already fired and not yet handled). The returned remover unregisters it (and releases
  // the store's reference) from any thread, any number of times, also after the store is gone;
  // an event being handled at that moment may still reach it. A null middleware gets a remover
  // that does nothing.
  std::function<void()> add(std::shared_ptr<Middleware<S>> middleware) {
    if (!middleware) return [] {};
    const auto id = middlewares_->add(std::move(middleware));
    return [weak = std::weak_ptr<detail::Registry<std::shared_ptr<Middleware<S>>>>(middlewares_), id] {
      if (auto registry = weak.lock()) registry->remove(id);
    };
  }

 private:
  struct Registration {
    std::shared_ptr<Subscriber<S>> subscriber;
    dispatch::Queue* queue;
    std::shared_ptr<std::atomic<bool>> live;  // false once removed
    bool ready;                               // its first update is posted
  };

  // On the store's queue.
  void handle(const Event& event) {
    const auto middlewares = middlewares_->current();
    for (const auto& entry : *middlewares) entry.second->process(event, working_);
    working_.react(event);
    auto snapshot = std::make_shared<const S>(working_);
    {
      std::lock_guard lock(publishedMutex_);
      published_ = snapshot;
    }
    const auto subscribers = subscribers_->current();
    for (const auto& entry : *subscribers) {
      const Registration& registration = entry.second;
      if (!registration.ready) continue;
      registration.queue->async([subscriber = registration.subscriber, live = registration.live, snapshot] {
        if (live->load()) subscriber->update(*snapshot);
      });
    }
  }

  S working_;                           // store's queue only
  mutable std::mutex publishedMutex_;
  std::shared_ptr<const S> published_;  // under publishedMutex_
  std::shared_ptr<detail::Registry<std::shared_ptr<Middleware<S>>>> middlewares_;
  std::shared_ptr<detail::Registry<Registration>> subscribers_;
  dispatch::SerialQueue queue_;  // last, see ~Core
};

}  // namespace ml::store
