#include "util/Debouncer.h"

#include <mutex>
#include <utility>

namespace ml::util {

// The handler, shared with the timer's callback. The callback holds it weakly: a debouncer that
// is gone (or moved-from and gone) leaves nothing to run.
struct Debouncer::Slot {
  std::mutex mutex;
  std::function<void()> handler;
};

Debouncer::Debouncer(dispatch::Duration interval, dispatch::Clock& clock, dispatch::Queue& target)
    : interval_(interval), clock_(&clock), target_(&target), slot_(std::make_shared<Slot>()) {}

Debouncer::~Debouncer() { timer_.cancel(); }

void Debouncer::setHandler(std::function<void()> handler) {
  std::lock_guard lock(slot_->mutex);
  slot_->handler = std::move(handler);
}

void Debouncer::renewInterval() {
  timer_.cancel();
  timer_ = dispatch::Timer::oneShot(*clock_, *target_, interval_,
                                    [weak = std::weak_ptr<Slot>(slot_)] {
                                      auto slot = weak.lock();
                                      if (!slot) return;
                                      std::function<void()> handler;
                                      {
                                        std::lock_guard lock(slot->mutex);
                                        handler = std::exchange(slot->handler, nullptr);
                                      }
                                      if (handler) handler();
                                    });
}

void Debouncer::renewInterval(std::function<void()> handler) {
  setHandler(std::move(handler));
  renewInterval();
}

bool Debouncer::isPending() const { return timer_.isValid(); }

}  // namespace ml::util
