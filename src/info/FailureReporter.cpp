#include "info/FailureReporter.h"

#include <QMessageBox>

#include "appkit/Localization.h"
#include "files/VisibleName.h"
#include "info/PaneSupport.h"
#include "platform/dispatch/QueueAssert.h"
#include "rename/mover/RenameFailure.h"

namespace ml::info {

FailureReporter::FailureReporter(QWidget& window) : QObject(&window), window_(&window) {}

// A name may run to 255 characters without a space: it gets break opportunities, so the alert
// wraps it instead of growing past the screen and cutting it.
QString FailureReporter::messageText(const QString& name) {
  return appkit::localizedText(QStringLiteral("The changes to \u201C%1\u201D could not be saved."))
      .arg(qt(rename::breakableText(name.toStdString())));
}

void FailureReporter::update(const InfoWindowState& state) {
  ML_ASSERT_MAIN_THREAD();
  if (!state.lastFailure || state.lastFailure->serial <= reported_ || !window_) return;
  reported_ = state.lastFailure->serial;
  // The item the apply wrote to, which need not be the one shown by now.
  auto* box = new QMessageBox(QMessageBox::Warning, appkit::localizedText("Info"),
                              messageText(qt(files::visibleName(state.lastFailure->item.url().filename().string()))),
                              QMessageBox::Ok, window_);
  // The reason as a sentence: "An item named “b.txt” is already in this folder".
  QString reason = qt(rename::breakableText(state.lastFailure->error.message));
  if (!reason.isEmpty()) reason[0] = reason[0].toUpper();
  box->setInformativeText(reason);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setObjectName(QStringLiteral("applyFailureAlert"));
  box->open();
}

}  // namespace ml::info
