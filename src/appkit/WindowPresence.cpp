#include "appkit/WindowPresence.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include "platform/dispatch/QueueAssert.h"

namespace ml::appkit {

namespace {

bool countsAsWindow(const QWidget* widget) {
  return widget->isWindow() && widget->windowType() == Qt::Window;
}

}  // namespace

WindowPresence::WindowPresence(QWidget& launcher, QObject* parent) : QObject(parent), launcher_(&launcher) {
  ML_ASSERT_MAIN_THREAD();
  qApp->installEventFilter(this);
}

bool WindowPresence::otherWindowVisible() const {
  ML_ASSERT_MAIN_THREAD();
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget == launcher_ || !countsAsWindow(widget)) continue;
    if (widget->isVisible()) return true;
  }
  return false;
}

void WindowPresence::update() {
  ML_ASSERT_MAIN_THREAD();
  updateScheduled_ = false;
  if (!launcher_) return;
  if (otherWindowVisible()) {
    if (launcher_->isVisible()) launcher_->hide();
  } else if (!launcher_->isVisible() && !QApplication::closingDown()) {
    launcher_->show();
    launcher_->raise();
  }
}

void WindowPresence::scheduleUpdate() {
  ML_ASSERT_MAIN_THREAD();
  if (updateScheduled_) return;
  updateScheduled_ = true;
  QTimer::singleShot(0, this, [this] { update(); });
}

bool WindowPresence::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
      if (watched->isWidgetType() && watched != launcher_ && static_cast<QWidget*>(watched)->isWindow()) {
        scheduleUpdate();
      }
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace ml::appkit
