#include "rename/ToolkitWindow.h"

#include <QApplication>

#include "platform/dispatch/QueueAssert.h"

namespace ml::rename {

QWidget* toolkitWindow(const shell::WindowController& controller) {
  ML_ASSERT_MAIN_THREAD();
  const void* identity = controller.windowIdentity();
  if (!identity) return nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (static_cast<const void*>(widget) == identity) return widget;
  }
  return nullptr;
}

}  // namespace ml::rename
