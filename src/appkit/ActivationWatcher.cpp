#include "appkit/ActivationWatcher.h"

#include <QGuiApplication>

#include "platform/dispatch/QueueAssert.h"

namespace ml::appkit {

ActivationWatcher::ActivationWatcher(std::function<void()> didBecomeActive, std::function<void()> didResignActive)
    : didBecomeActive_(std::move(didBecomeActive)), didResignActive_(std::move(didResignActive)) {
  ML_ASSERT_MAIN_THREAD();
  if (auto* app = qGuiApp) {
    connect(app, &QGuiApplication::applicationStateChanged, this, &ActivationWatcher::stateChanged);
    active_ = QGuiApplication::applicationState() == Qt::ApplicationActive;
  }
}

bool ActivationWatcher::isApplicationHidden() {
  auto state = QGuiApplication::applicationState();
  return state == Qt::ApplicationHidden || state == Qt::ApplicationSuspended;
}

void ActivationWatcher::stateChanged(Qt::ApplicationState state) {
  ML_ASSERT_MAIN_THREAD();
  const bool active = state == Qt::ApplicationActive;
  if (active == active_) return;
  active_ = active;
  if (active && didBecomeActive_) didBecomeActive_();
  if (!active && didResignActive_) didResignActive_();
}

}  // namespace ml::appkit
