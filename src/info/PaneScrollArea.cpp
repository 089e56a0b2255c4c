#include "info/PaneScrollArea.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>

#include <algorithm>
#include <QCoreApplication>
#include <QScrollBar>

namespace ml::info {

namespace {
constexpr const char* kGuardedProperty = "ml_wheelGuarded";
}

PaneScrollArea::PaneScrollArea(QWidget* parent) : QScrollArea(parent) {
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
}

QSize PaneScrollArea::around(QSize content) const {
  const int frame = 2 * frameWidth();
  return QSize(content.width() + frame + verticalScrollBar()->sizeHint().width(), content.height() + frame);
}

QSize PaneScrollArea::sizeHint() const {
  if (!widget()) return QScrollArea::sizeHint();
  return around(widget()->sizeHint().expandedTo(widget()->minimumSizeHint()));
}

QSize PaneScrollArea::minimumSizeHint() const {
  if (!widget()) return QScrollArea::minimumSizeHint();
  // As wide as the panes' narrowest layout, so they never need a horizontal scroll bar.
  const QSize content = widget()->minimumSizeHint();
  return QSize(around(content).width(), std::min(kMinimumHeight, around(content).height()));
}

void PaneScrollArea::showEvent(QShowEvent* event) {
  guardWheel();
  QScrollArea::showEvent(event);
}

void PaneScrollArea::guardWheel() {
  if (!widget()) return;
  auto guard = [this](QWidget* control) {
    if (control->property(kGuardedProperty).toBool()) return;
    control->setProperty(kGuardedProperty, true);
    control->setFocusPolicy(Qt::StrongFocus);  // no focus from the wheel
    control->installEventFilter(this);
  };
  for (auto* combo : widget()->findChildren<QComboBox*>()) guard(combo);
  for (auto* spin : widget()->findChildren<QAbstractSpinBox*>()) guard(spin);
}

bool PaneScrollArea::eventFilter(QObject* watched, QEvent* event) {
  // Only the guarded controls: the scroll bars report here too, and sending their wheel on to the
  // viewport would come back to them.
  if (event->type() == QEvent::Wheel && watched->property(kGuardedProperty).toBool()) {
    auto* control = qobject_cast<QWidget*>(watched);
    if (control && !control->hasFocus()) {
      QCoreApplication::sendEvent(viewport(), event);
      return true;
    }
  }
  // The panes' layout changes as they show another item (a comment, hidden fork sizes): the
  // window's layout asks again for this area's sizes.
  if (watched == widget() && event->type() == QEvent::LayoutRequest) {
    updateGeometry();
    emit panesChanged();
  }
  return QScrollArea::eventFilter(watched, event);
}

}  // namespace ml::info
