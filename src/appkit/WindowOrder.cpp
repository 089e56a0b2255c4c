#include "appkit/WindowOrder.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <algorithm>

#include "platform/dispatch/QueueAssert.h"

namespace ml::appkit {

WindowOrder::WindowOrder(QObject* parent) : QObject(parent) { qApp->installEventFilter(this); }

bool WindowOrder::eventFilter(QObject* watched, QEvent* event) {
  if ((event->type() == QEvent::WindowActivate || event->type() == QEvent::Show) && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->isWindow()) {
      std::erase_if(order_, [widget](const QPointer<QWidget>& w) { return w.isNull() || w == widget; });
      if (event->type() == QEvent::WindowActivate) {
        order_.push_front(widget);
      } else {
        order_.push_back(widget);
      }
    }
  }
  return QObject::eventFilter(watched, event);
}

std::vector<QWidget*> WindowOrder::frontToBack() const {
  ML_ASSERT_MAIN_THREAD();
  std::vector<QWidget*> windows;
  for (const auto& window : order_) {
    if (window && window->isVisible()) windows.push_back(window.data());
  }
  return windows;
}

void closeActiveWindow() {
  ML_ASSERT_MAIN_THREAD();
  if (QWidget* window = QApplication::activeWindow()) window->close();
}

void minimizeActiveWindow() {
  ML_ASSERT_MAIN_THREAD();
  if (QWidget* window = QApplication::activeWindow()) window->showMinimized();
}

void bringAllWindowsToFront() {
  ML_ASSERT_MAIN_THREAD();
  QWidget* active = QApplication::activeWindow();
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!window->isVisible() || window->windowType() != Qt::Window || window == active) continue;
    if (window->isMinimized()) window->showNormal();
    window->raise();
  }
  if (active) {
    active->raise();
    active->activateWindow();
  }
}

}  // namespace ml::appkit
