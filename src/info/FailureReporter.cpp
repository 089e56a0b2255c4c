#include "info/FailureReporter.h"

#include <QMessageBox>

#include "appkit/Localization.h"
#include "info/PaneSupport.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::info {

FailureReporter::FailureReporter(QWidget& window) : QObject(&window), window_(&window) {}

QString FailureReporter::messageText(const QString& name) {
  return appkit::localizedText(QStringLiteral("The changes to \u201C%1\u201D could not be saved.")).arg(name);
}

void FailureReporter::update(const InfoWindowState& state) {
  ML_ASSERT_MAIN_THREAD();
  if (!state.lastFailure || state.lastFailure->serial <= reported_ || !window_) return;
  reported_ = state.lastFailure->serial;
  const auto shown = state.displayedPath();
  auto* box = new QMessageBox(QMessageBox::Warning, appkit::localizedText("Info"),
                              messageText(shown ? qt(shown->url().filename().string()) : QString()),
                              QMessageBox::Ok, window_);
  box->setInformativeText(qt(state.lastFailure->error.message));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setObjectName(QStringLiteral("applyFailureAlert"));
  box->open();
}

}  // namespace ml::info
