#pragma once
// Tells the user, once per failure, that the pending edits of the Info window could not be
// saved: a window-modal message on the window with the reason. The edits stay pending, so the
// user can correct them, revert or try again. Main thread.
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <cstdint>

#include "info/state/InfoWindowState.h"

namespace ml::info {

class FailureReporter final : public QObject {
  Q_OBJECT
 public:
  explicit FailureReporter(QWidget& window);
  void update(const InfoWindowState& state);

  // The text of the message for a failure of the item named `name`.
  static QString messageText(const QString& name);

 private:
  QPointer<QWidget> window_;
  uint64_t reported_ = 0;
};

}  // namespace ml::info
