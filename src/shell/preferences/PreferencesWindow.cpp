#include "shell/preferences/PreferencesWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>

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

void PreferencesWindow::keyPressEvent(QKeyEvent* event) {
  ML_ASSERT_MAIN_THREAD();
  if (event->key() == Qt::Key_Escape && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    event->accept();
    close();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

}  // namespace ml::shell
