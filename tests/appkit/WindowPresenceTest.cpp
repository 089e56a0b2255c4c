#include "appkit/WindowPresence.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMainWindow>

namespace ml::appkit {
namespace {

void settle() {
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

TEST(WindowPresence, LauncherShowsWhileNoOtherWindowIsOpen) {
  QMainWindow launcher;
  WindowPresence presence(launcher);
  presence.update();
  EXPECT_TRUE(launcher.isVisible());

  {
    QMainWindow document;
    document.show();
    settle();
    EXPECT_FALSE(launcher.isVisible());
    document.close();
    settle();
    EXPECT_TRUE(launcher.isVisible());
  }
  launcher.hide();
}

TEST(WindowPresence, DialogsAndPanelsDoNotCountAsWindows) {
  QMainWindow launcher;
  WindowPresence presence(launcher);
  presence.update();
  QDialog panel;
  panel.show();
  settle();
  EXPECT_TRUE(launcher.isVisible());
  EXPECT_FALSE(presence.otherWindowVisible());
  panel.hide();
  launcher.hide();
}

}  // namespace
}  // namespace ml::appkit
