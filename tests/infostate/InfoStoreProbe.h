#pragma once
// An Info window's store as the tests drive it: every event the store handles is recorded (by a
// middleware on the store's queue), and settle() waits until everything fired so far, and what
// that fired in turn, has been handled.
#include <future>
#include <memory>
#include <mutex>
#include <typeinfo>
#include <vector>

#include "info/state/InfoWindowEvents.h"
#include "info/state/InfoWindowState.h"
#include "platform/store/Core.h"
#include "shell/core/ApplicationEvents.h"

namespace ml::info::testing {

class EventRecorder final : public store::Middleware<InfoWindowState> {
 public:
  void process(const store::Event& event, const InfoWindowState&) override {
    std::lock_guard lock(mutex_);
    copies_.push_back(copy(event));
  }
  // The recorded events of type T, in order.
  template <class T>
  std::vector<T> all() const {
    std::lock_guard lock(mutex_);
    std::vector<T> found;
    for (const auto& event : copies_) {
      if (auto* e = event ? event->as<T>() : nullptr) found.push_back(*e);
    }
    return found;
  }
  size_t count() const {
    std::lock_guard lock(mutex_);
    return copies_.size();
  }

 private:
  // Events are copied while the store still holds them; types the tests do not look at are
  // recorded as null entries.
  static std::shared_ptr<const store::Event> copy(const store::Event& event) {
    return copyAs<Initialized, WindowLoaded, FieldUpdated, FieldsUpdated, InterfaceInvalidated, StateReset,
                  ChangesApplied, ChangesFailed, SelectedPathUpdated, shell::ItemsTrashed, shell::ItemsMoved,
                  shell::ApplicationEvents::ItemsRenamed>(event);
  }
  template <class First, class... Rest>
  static std::shared_ptr<const store::Event> copyAs(const store::Event& event) {
    if (auto* e = event.as<First>()) return std::make_shared<const First>(*e);
    if constexpr (sizeof...(Rest) > 0) {
      return copyAs<Rest...>(event);
    } else {
      return nullptr;
    }
  }

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<const store::Event>> copies_;
};

// Waits until `core` has handled everything fired on it before the call, `rounds` times over, so
// that what its commands fired meanwhile is handled too.
template <class S>
void settleStore(store::Core<S>& core, int rounds = 3) {
  struct Signal final : store::Command<S> {
    explicit Signal(std::shared_ptr<std::promise<void>> p) : promise(std::move(p)) {}
    void execute(const S&, store::Core<S>&) override { promise->set_value(); }
    std::shared_ptr<std::promise<void>> promise;
  };
  for (int i = 0; i < rounds; ++i) {
    auto done = std::make_shared<std::promise<void>>();
    auto future = done->get_future();
    core.fire(std::shared_ptr<store::Command<S>>(std::make_shared<Signal>(done)));
    future.wait();
  }
}

class InfoStoreProbe {
 public:
  explicit InfoStoreProbe(InfoWindowState initial = {})
      : core(std::make_shared<store::Core<InfoWindowState>>(std::move(initial))),
        recorder(std::make_shared<EventRecorder>()) {
    core->add(recorder);
  }

  void settle(int rounds = 3) { settleStore(*core, rounds); }
  InfoWindowState state() const { return core->state(); }

  std::shared_ptr<store::Core<InfoWindowState>> core;
  std::shared_ptr<EventRecorder> recorder;

};

}  // namespace ml::info::testing
