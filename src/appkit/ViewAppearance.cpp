#include "appkit/ViewAppearance.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace ml::appkit {

ViewAppearanceWatcher::ViewAppearanceWatcher(Listener listener) : listener_(std::move(listener)) {
  if (auto* app = QCoreApplication::instance()) app->installEventFilter(this);
}

ViewAppearanceWatcher::~ViewAppearanceWatcher() {
  if (auto* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

std::string ViewAppearanceWatcher::dottedClassName(const char* qualifiedName) {
  std::string name = qualifiedName ? qualifiedName : "";
  for (std::size_t at = name.find("::"); at != std::string::npos; at = name.find("::", at + 1)) name.replace(at, 2, ".");
  return name;
}

bool ViewAppearanceWatcher::eventFilter(QObject* watched, QEvent* event) {
  // A show the application asked for (not one the window system reports when it maps a window
  // again after minimising).
  if (event->type() == QEvent::Show && !event->spontaneous() && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->isWindow() && listener_) listener_(dottedClassName(widget->metaObject()->className()));
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace ml::appkit
