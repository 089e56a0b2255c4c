#include "appkit/QtAlertPresenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <cassert>
#include <chrono>
#include <thread>

#include "appkit/ApplicationIcon.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::appkit {

namespace {

// A text of more lines or characters than these would make the box taller than the screen, its
// buttons out of reach: its beginning is shown, and the whole text goes into the details, which
// scroll.
constexpr qsizetype kShownLines = 12;
constexpr qsizetype kShownCharacters = 800;

void setInformativeText(QMessageBox& box, const std::string& text) {
  const QString whole = QString::fromStdString(text);
  QStringList lines = whole.split(QLatin1Char('\n'));
  if (lines.size() <= kShownLines && whole.size() <= kShownCharacters) {
    box.setInformativeText(whole);
    return;
  }
  QString shown = lines.mid(0, kShownLines - 1).join(QLatin1Char('\n'));
  if (shown.size() > kShownCharacters) shown = shown.left(kShownCharacters);
  box.setInformativeText(shown + QStringLiteral("\u2026"));
  box.setDetailedText(whole);
}

void describe(QMessageBox& box, const Alert& alert) {
  box.setWindowTitle(QApplication::applicationDisplayName());
  switch (alert.style) {
    case Alert::Style::informational: box.setIcon(QMessageBox::Information); break;
    case Alert::Style::warning: box.setIcon(QMessageBox::Warning); break;
    case Alert::Style::critical: box.setIcon(QMessageBox::Critical); break;
  }
  if (alert.applicationIcon) box.setIconPixmap(applicationIcon().pixmap(64, 64));
  box.setText(QString::fromStdString(alert.messageText));
  if (!alert.informativeText.empty()) setInformativeText(box, alert.informativeText);
  if (!alert.detailText.empty()) box.setDetailedText(QString::fromStdString(alert.detailText));
}

}  // namespace

int QtAlertPresenter::runModal(const Alert& alert) {
  ML_ASSERT_MAIN_THREAD();
  assert(QThread::currentThread() == qApp->thread());
  QMessageBox box(QApplication::activeWindow());
  describe(box, alert);

  std::vector<std::string> titles = alert.buttons.empty() ? std::vector<std::string>{"OK"} : alert.buttons;
  std::vector<QPushButton*> buttons;  // owned by the box
  for (const auto& title : titles) {
    // ActionRole for every button keeps the order given instead of the style's role order.
    buttons.push_back(box.addButton(QString::fromStdString(title), QMessageBox::ActionRole));
  }
  box.setDefaultButton(buttons.front());
  // Escape picks the last button when there is a choice (the cancelling one by convention).
  box.setEscapeButton(buttons.back());
  box.exec();
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    if (box.clickedButton() == buttons[i]) return kFirstButtonReturn + static_cast<int>(i);
  }
  return kFirstButtonReturn + static_cast<int>(buttons.size()) - 1;
}

void QtAlertPresenter::showUntilDone(const Alert& notice, const Progress& progress, const Stop& stop) {
  ML_ASSERT_MAIN_THREAD();
  auto text = progress();
  if (!text) return;
  QMessageBox box(QApplication::activeWindow());
  describe(box, notice);
  box.setStandardButtons(QMessageBox::NoButton);
  box.setWindowModality(Qt::ApplicationModal);
  // The button, Escape and the window's close all end the box; each of those asks the work to
  // stop, and the box comes back until the work has.
  bool stopAsked = false;
  QPushButton* stopButton = nullptr;  // owned by the box
  if (stop) {
    if (!notice.buttons.empty()) {
      stopButton = box.addButton(QString::fromStdString(notice.buttons.front()), QMessageBox::RejectRole);
      box.setEscapeButton(stopButton);
      // Never the default nor focused: a Return or a Space typed as the notice comes up (the end
      // of what the user was typing) must not stop the work. Escape and the mouse stop it.
      stopButton->setAutoDefault(false);
      stopButton->setDefault(false);
      stopButton->setFocusPolicy(Qt::NoFocus);
    }
    QObject::connect(&box, &QDialog::finished, &box, [&] {
      if (stopAsked) return;
      stopAsked = true;
      if (stopButton) stopButton->setEnabled(false);
      stop();
    });
  }
  while (text) {
    box.setInformativeText(QString::fromStdString(*text));
    if (!box.isVisible()) box.show();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    text = progress();
  }
  box.hide();
  QCoreApplication::processEvents();
}

}  // namespace ml::appkit
