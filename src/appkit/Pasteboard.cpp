#include "appkit/Pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "platform/dispatch/QueueAssert.h"

namespace ml::appkit {

void Pasteboard::setString(const std::string& text) {
  ML_ASSERT_MAIN_THREAD();
  QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

std::optional<std::string> Pasteboard::string() {
  ML_ASSERT_MAIN_THREAD();
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data || !data->hasText()) return std::nullopt;
  return data->text().toStdString();
}

}  // namespace ml::appkit
