#include "shell/preferences/PreferencesWindow.h"

#include <QCloseEvent>

#include "platform/dispatch/QueueAssert.h"

namespace ml::shell {

PreferencesWindow::PreferencesWindow(QWidget* parent) : QMainWindow(parent) {
  ML_ASSERT_MAIN_THREAD();
  setObjectName(QStringLiteral("PreferencesWindow"));
}

void PreferencesWindow::closeEvent(QCloseEvent* event) {
  ML_ASSERT_MAIN_THREAD();
  if (shouldClose_ && !shouldClose_()) {
    event->ignore();
    return;
  }
  event->accept();
  if (didClose_) didClose_();
}

}  // namespace ml::shell
