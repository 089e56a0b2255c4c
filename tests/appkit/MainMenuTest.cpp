#include "appkit/MainMenu.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace ml::appkit {
namespace {

std::vector<Menu> sampleMenus(std::vector<std::string>& chosen) {
  auto record = [&chosen](const std::string& identifier) { chosen.push_back(identifier); };
  return {
      Menu{"File", {MenuItem{"Show Info…", "showInfo", "Ctrl+I", record, false}, MenuItem::separatorItem(),
                    MenuItem{"Close", "close", "Ctrl+W", {}, false}}},
      Menu{"Help", {MenuItem{"About", "about", "", record, false}}, Menu::Placement::trailing},
  };
}

QStringList menuTitles(QMainWindow& window) {
  QStringList titles;
  for (QAction* action : window.menuBar()->actions()) titles << action->text();
  return titles;
}

QAction* item(QMainWindow& window, const QString& identifier) {
  return window.menuBar()->findChild<QAction*>(identifier);
}

TEST(MainMenu, LeadingMenusGoBeforeAWindowsOwnAndTrailingOnesAfter) {
  std::vector<std::string> chosen;
  MainMenu menu(sampleMenus(chosen));
  QMainWindow window;
  window.menuBar()->addMenu("List");

  menu.installOn(window);
  menu.installOn(window);  // a window gets the menus once

  EXPECT_EQ(menuTitles(window), (QStringList{"File", "List", "Help"}));
}

TEST(MainMenu, ChoosingAnItemRunsItsActionWithItsIdentifier) {
  std::vector<std::string> chosen;
  MainMenu menu(sampleMenus(chosen));
  QMainWindow window;
  menu.installOn(window);

  item(window, "showInfo")->trigger();
  item(window, "about")->trigger();
  item(window, "close")->trigger();  // no action yet: nothing happens

  EXPECT_EQ(chosen, (std::vector<std::string>{"showInfo", "about"}));
  EXPECT_EQ(item(window, "showInfo")->shortcut(), QKeySequence("Ctrl+I"));
}

TEST(MainMenu, SetActionReachesWindowsBuiltBefore) {
  std::vector<std::string> chosen;
  MainMenu menu(sampleMenus(chosen));
  QMainWindow window;
  menu.installOn(window);

  EXPECT_TRUE(menu.setAction("File", "Close", [&](const std::string&) { chosen.push_back("closed"); }));
  EXPECT_FALSE(menu.setAction("File", "Missing", {}));
  EXPECT_FALSE(menu.setAction("Edit", "Close", {}));
  item(window, "close")->trigger();

  EXPECT_EQ(chosen, (std::vector<std::string>{"closed"}));
}

TEST(MainMenu, WatchedMenuAppearsInEveryMainWindowShown) {
  std::vector<std::string> chosen;
  MainMenu menu(sampleMenus(chosen));
  menu.watch();
  QMainWindow window;
  window.show();
  QApplication::processEvents();

  EXPECT_EQ(menuTitles(window), (QStringList{"File", "Help"}));
  window.close();
}

}  // namespace
}  // namespace ml::appkit
