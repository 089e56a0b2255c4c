#include "list/window/ListMainWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include "platform/dispatch/QueueAssert.h"

namespace ml::list {

void ListMainWindow::closeEvent(QCloseEvent* event) {
  ML_ASSERT_MAIN_THREAD();
  QMainWindow::closeEvent(event);
  if (event->isAccepted() && willClose) willClose();
}

void ListMainWindow::keyPressEvent(QKeyEvent* event) {
  ML_ASSERT_MAIN_THREAD();
  // Other modifiers may be held too; only the key and Control matter.
  if (event->key() == Qt::Key_W && (event->modifiers() & Qt::ControlModifier)) {
    close();
  }
  event->accept();
}

}  // namespace ml::list
