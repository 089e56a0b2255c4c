#include "shell/preferences/PreferencesWindow.h"

#include <QCloseEvent>

namespace ml::shell {

PreferencesWindow::PreferencesWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("PreferencesWindow"));
}

void PreferencesWindow::closeEvent(QCloseEvent* event) {
  if (shouldClose_ && !shouldClose_()) {
    event->ignore();
    return;
  }
  event->accept();
  if (didClose_) didClose_();
}

}  // namespace ml::shell
