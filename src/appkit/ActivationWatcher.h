#pragma once
// Tells a listener when the application becomes active (one of its windows has the focus) and
// when it stops being active, from the toolkit's application-state changes. Only changes into and
// out of the active state are reported, each once.
//
// One watcher per application; it listens while it lives. Main thread only.
#include <QObject>
#include <functional>

namespace ml::appkit {

class ActivationWatcher final : public QObject {
  Q_OBJECT
 public:
  ActivationWatcher(std::function<void()> didBecomeActive, std::function<void()> didResignActive);

  // Whether the application has no window the user can see (hidden or suspended).
  static bool isApplicationHidden();

 private:
  void stateChanged(Qt::ApplicationState state);

  std::function<void()> didBecomeActive_;
  std::function<void()> didResignActive_;
  bool active_ = false;
};

}  // namespace ml::appkit
