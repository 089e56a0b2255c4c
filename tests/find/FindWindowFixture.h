#pragma once
// The shell's test delegate with the real find window plugged into its factory, a home folder in
// a temporary folder, and helpers to wait for a window's store.
#include <QApplication>
#include <QComboBox>
#include <QTest>

#include <cstdlib>

#include "find/FindWindow.h"
#include "find/FindWindowFactory.h"
#include "find/FindWindowView.h"
#include "platform/dispatch/ManualClock.h"
#include "shell/ShellFixture.h"
#include "support/ItemModelChecks.h"
#include "support/TempDir.h"

namespace ml::find::testing {

class FindWindowTest : public shell::testing::ShellTest {
 protected:
  FindWindowTest() {
    const char* home = std::getenv("HOME");
    savedHome = home ? std::optional<std::string>(home) : std::nullopt;
    ::setenv("HOME", homeDir.path().c_str(), 1);
    delegate();
  }
  // Each window is closed as its user closes it: only closing detaches the rows that hold the
  // window's store (a window merely hidden, its store and its name row keep each other alive).
  // The main loop then settles, so the announcements of the closes and the deletions of the views
  // run while the delegate and its stores are still there.
  ~FindWindowTest() override {
    for (auto& w : windows)
      if (w->window()) w->window()->close();
    settle();
    windows.clear();
    settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (savedHome) ::setenv("HOME", savedHome->c_str(), 1);
    else ::unsetenv("HOME");
  }

  std::shared_ptr<FindWindow> open() {
    auto window = FindWindow::make(delegate().windowContext());
    window->setSearchSettings(SearchSettings{&clock, std::chrono::seconds(1), 2});
    window->show();
    test::checkModelsOfEveryWindow();
    windows.push_back(window);
    settle();
    return window;
  }

  bool waitForState(FindWindow& window, const std::function<bool(const FindWindowState&)>& done) {
    return waitFor([&] { return done(window.core()->state()); });
  }

  static void choose(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
  }
  static int indexOfTitle(QComboBox* box, const QString& title) { return box->findText(title); }

  test::TempDir homeDir;
  std::optional<std::string> savedHome;
  dispatch::ManualClock clock;
  std::vector<std::shared_ptr<FindWindow>> windows;
};

}  // namespace ml::find::testing
