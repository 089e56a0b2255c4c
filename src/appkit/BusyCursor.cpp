#include "appkit/BusyCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace ml::appkit {

void showBusyCursor(bool busy) {
  if (!qGuiApp) return;
  // The override stack holds at most this one cursor: nothing else in the application sets one.
  const bool shown = QGuiApplication::overrideCursor() != nullptr;
  if (busy && !shown) QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
  if (!busy && shown) QGuiApplication::restoreOverrideCursor();
}

}  // namespace ml::appkit
