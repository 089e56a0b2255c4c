#pragma once
// How a pane of the Info window reaches the window's store: it fires its events and commands
// through a weak reference (the window owns the store; a pane that outlives it fires nothing),
// and is subscribed through an adapter that drops updates once the pane's widget is gone.
//
// Main thread: panes fire from their control actions and get their updates on the main queue.
#include <QPointer>
#include <memory>

#include "info/state/InfoWindowState.h"
#include "platform/store/Core.h"

namespace ml::info {

using InfoStore = store::Core<InfoWindowState>;

class StoreConnection {
 public:
  void setReactor(std::weak_ptr<InfoStore> reactor) { reactor_ = std::move(reactor); }
  std::shared_ptr<InfoStore> reactor() const { return reactor_.lock(); }

 protected:
  ~StoreConnection() = default;

  template <class E>
    requires std::derived_from<E, store::Event>
  void fire(E event) const {
    if (auto core = reactor_.lock()) core->fire(std::move(event));
  }
  void fire(std::shared_ptr<store::Command<InfoWindowState>> command) const {
    if (auto core = reactor_.lock()) core->fire(std::move(command));
  }

 private:
  std::weak_ptr<InfoStore> reactor_;
};

// Delivers the store's states to a pane widget while it exists. The pointer is only read on
// the main queue, where the widget is deleted.
template <class Pane>
class PaneSubscriber final : public store::Subscriber<InfoWindowState> {
 public:
  explicit PaneSubscriber(Pane* pane) : pane_(pane) {}
  void update(const InfoWindowState& state) override {
    if (pane_) pane_->update(state);
  }

 private:
  QPointer<Pane> pane_;
};

// Main thread.
template <class Pane>
void subscribe(InfoStore& core, Pane& pane) {
  core.add(std::make_shared<PaneSubscriber<Pane>>(&pane));
}

}  // namespace ml::info
