#include "appkit/ViewAppearance.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include "platform/dispatch/QueueAssert.h"

namespace ml::appkit {

ViewAppearanceWatcher::ViewAppearanceWatcher(Listener listener) : listener_(std::move(listener)) {
  ML_ASSERT_MAIN_THREAD();
  if (auto* app = QCoreApplication::instance()) app->installEventFilter(this);
}

ViewAppearanceWatcher::~ViewAppearanceWatcher() {
  if (auto* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

std::string ViewAppearanceWatcher::dottedClassName(const char* qualifiedName) {
  std::string_view text = qualifiedName ? qualifiedName : "";
  std::string name;
  name.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ':' && i + 1 < text.size() && text[i + 1] == ':') {
      name.push_back('.');
      ++i;
    } else {
      name.push_back(text[i]);
    }
  }
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
