// Every window of the application answers the application menu's keys: the real windows, made by
// the factories the application installs and given the application's main menu as it gives it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <functional>
#include <set>

#include "appkit/MainMenu.h"
#include "appkit/WindowOrder.h"
#include "find/FindWindowFactory.h"
#include "info/InfoWindow.h"
#include "list/menu/ListMenu.h"
#include "list/window/ListWindowFactory.h"
#include "rename/RenameWindowFactories.h"
#include "shell/GlobalCommands.h"
#include "shell/MainMenuModel.h"
#include "shell/ShellFixture.h"
#include "shell/preferences/PreferencesWindowFactory.h"

namespace ml {
namespace {

using shell::GlobalCommands;
using shell::GlobalState;

class WindowKeysTest : public shell::testing::ShellTest {
 protected:
  WindowKeysTest() {
    services.windows.preferences =
        shell::preferencesWindowFactory(preferences, services.alerts, services.usageEvents, context);
    rename::installRenameWindows(services.windows, context);
    services.windows.info = [this] { return info::InfoWindow::make(context); };
    find::installFindWindow(services.windows, context);
    list::installListWindows(services.windows, context);
    context = delegate().windowContext();
  }

  // The windows the user sees now.
  static std::set<QWidget*> shownWindows() {
    std::set<QWidget*> shown;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      const auto type = widget->windowType();
      if (widget->isVisible() && (type == Qt::Window || type == Qt::Dialog)) shown.insert(widget);
    }
    return shown;
  }

  // Runs `open`, and returns the one window it showed, made active as the user's click would.
  QWidget* opened(const std::function<void()>& open) {
    const auto before = shownWindows();
    open();
    QWidget* made = nullptr;
    EXPECT_TRUE(waitFor([&] {
      for (QWidget* window : shownWindows()) {
        if (!before.count(window)) made = window;
      }
      return made != nullptr;
    }));
    if (!made) return nullptr;
    made->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(made));
    return made;
  }

  std::size_t activeWindows() { return delegate().reactor().state().activeWindows.size(); }

  test::TempDir dir;
  shell::WindowContext context;
};

TEST_F(WindowKeysTest, EveryWindowFitsTheScreenClosesOnCtrlWAndQuitsOnCtrlQ) {
  appkit::MainMenu menu(shell::mainMenuModel(delegate()));
  menu.setFiller("List", list::listMenuFiller(delegate().reactor()));
  menu.watch();
  delegate().setMainMenu(&menu);
  // As the launch points it; quitting is recorded rather than done, the test being the process.
  menu.setAction("File", "Close", [](const std::string&) { appkit::closeActiveWindow(); });
  int quits = 0;
  menu.setAction("File", "Quit Marrowlane", [&quits](const std::string&) { ++quits; });

  const files::Path item(dir.write("item.txt", "x"));
  const std::vector<files::Path> items{item};
  struct Kind {
    const char* name;
    std::function<void()> open;
  };
  const std::vector<Kind> kinds{
      {"Info", [&] { delegate().reactor().fire(GlobalCommands<GlobalState>::fileInfo(items)); }},
      {"list", [&] { delegate().reactor().fire(GlobalCommands<GlobalState>::list(items)); }},
      {"Find", [&] { delegate().openOrFocusOnFindWindow(); }},
      {"rename", [&] { delegate().reactor().fire(GlobalCommands<GlobalState>::rename(items)); }},
      {"preferences", [&] { delegate().showPreferences(); }},
  };
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    QWidget* window = opened(kind.open);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(waitFor([&] { return activeWindows() == 1; }));
    // It fits the screen (800x600 here), scrolling what does not.
    const QRect screen = window->screen()->availableGeometry();
    EXPECT_LE(window->width(), screen.width());
    EXPECT_LE(window->height(), screen.height());

    QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits, 1);
    quits = 0;

    // Closed as its close button would, and announced closed on the application's store.
    QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(waitFor([&] { return !window->isVisible() && activeWindows() == 0; }))
        << "visible " << window->isVisible() << ", open windows " << activeWindows();

    // Windows with menus open them from the keyboard.
    if (auto* bar = window->findChild<QMenuBar*>()) {
      ASSERT_FALSE(bar->actions().isEmpty());
      EXPECT_TRUE(bar->actions().first()->text().startsWith('&')) << bar->actions().first()->text().toStdString();
    }
  }
  settle();
}

}  // namespace
}  // namespace ml
