#include "rename/ToolkitWindow.h"

#include <QApplication>

namespace ml::rename {

QWidget* toolkitWindow(const shell::WindowController& controller) {
  const void* identity = controller.windowIdentity();
  if (!identity) return nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (static_cast<const void*>(widget) == identity) return widget;
  }
  return nullptr;
}

}  // namespace ml::rename
