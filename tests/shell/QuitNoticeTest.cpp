// The notice a quit shows while copies run, as the toolkit draws it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "appkit/QtAlertPresenter.h"

namespace ml::appkit {
namespace {

QMessageBox* shownBox() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) return box;
  }
  return nullptr;
}

// Its Stop button, and the window's close (the window manager's, or Escape), each ask the work to
// stop, once; the notice then stays, saying so, until the work has ended.
TEST(QuitNotice, StopsFromItsButtonOrItsCloseAndStaysUntilTheWorkEnds) {
  for (const bool byClose : {false, true}) {
    SCOPED_TRACE(byClose ? "closed" : "Stop clicked");
    QtAlertPresenter presenter;
    Alert notice;
    notice.messageText = "Finishing work on items before quitting\u2026";
    notice.buttons = {"Stop"};
    int stops = 0, roundsAfterStop = 0, rounds = 0;
    presenter.showUntilDone(
        notice,
        [&]() -> std::optional<std::string> {
          QMessageBox* box = shownBox();
          if (++rounds > 400) return std::nullopt;  // the notice never came: fail below, do not hang
          if (stops > 0) {
            if (roundsAfterStop++ > 0) {
              EXPECT_NE(box, nullptr) << "the notice went before the work";
            }
            if (roundsAfterStop < 4) return "Stopping after the items in progress\u2026";
            return std::nullopt;
          }
          if (!box) return "1 of 20,000 items done.";
          if (const char* shots = std::getenv("ML_SCREENSHOTS")) box->grab().save(QString(shots) + "/quit-notice.png");
          auto buttons = box->buttons();
          EXPECT_EQ(buttons.size(), 1);
          if (byClose) {
            box->close();
          } else if (!buttons.empty()) {
            buttons.front()->click();
          }
          return "1 of 20,000 items done.";
        },
        [&] { ++stops; });
    EXPECT_EQ(stops, 1);
    EXPECT_GE(roundsAfterStop, 4);
  }
}

}  // namespace
}  // namespace ml::appkit
