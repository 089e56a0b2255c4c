#include "appkit/MainMenu.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

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

  EXPECT_EQ(menuTitles(window), (QStringList{"&File", "&List", "&Help"}));
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

  EXPECT_EQ(menuTitles(window), (QStringList{"&File", "&Help"}));
  window.close();
}


// Mnemonics: word starts first, never a letter a sibling has, an existing one kept; "&&" is a
// literal ampersand, not a mnemonic.
TEST(MainMenu, MnemonicsAreUniqueAmongSiblingsAndKeepThoseGiven) {
  QAction save("Save"), saveAs("Save As"), select("Select All"), sort("S&ort"), cats("Cats && Dogs"), dot("...");
  MainMenu::assignMnemonics({&save, &saveAs, &select, &sort, &cats, &dot});
  EXPECT_EQ(save.text(), "&Save");
  EXPECT_EQ(saveAs.text(), "Save &As");
  EXPECT_EQ(select.text(), "S&elect All");  // S and A are taken: no word start is left
  EXPECT_EQ(sort.text(), "S&ort");
  EXPECT_EQ(cats.text(), "&Cats && Dogs");
  EXPECT_EQ(dot.text(), "...");
}

// Every window answers the menus' keys: a main window through its menu bar (F10 opens the first
// menu), a plain window and a dialog through shortcuts of their own; a menu's items get mnemonics
// when it opens, the window's own menus included.
TEST(MainMenu, EveryKindOfWindowAnswersTheItemsShortcutsAndMenusOpenFromTheKeyboard) {
  std::vector<std::string> chosen;
  MainMenu menu(sampleMenus(chosen));
  menu.setAction("File", "Close", [&](const std::string& identifier) { chosen.push_back(identifier); });
  menu.watch();

  QMainWindow main;
  QMenu* own = main.menuBar()->addMenu("Actions");
  own->addAction("Edit Name");
  own->addAction("Erase");
  QWidget plain;
  QDialog dialog;
  for (QWidget* window : {static_cast<QWidget*>(&main), &plain, static_cast<QWidget*>(&dialog)}) {
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
    QTest::keyClick(window, Qt::Key_I, Qt::ControlModifier);
  }
  EXPECT_EQ(chosen, (std::vector<std::string>{"close", "showInfo", "close", "showInfo", "close", "showInfo"}));
  EXPECT_EQ(plain.findChild<QMenuBar*>(), nullptr);  // no menu bar was forced on it
  EXPECT_NE(plain.findChild<QAction*>("close"), nullptr);
  // A modal window (an alert, a panel) holds the menus back while it runs: nothing opens over it.
  QDialog modal;
  modal.setWindowModality(Qt::ApplicationModal);
  modal.show();
  QApplication::processEvents();
  EXPECT_EQ(modal.findChild<QAction*>("showInfo"), nullptr);
  modal.hide();

  main.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
  QTest::keyClick(&main, Qt::Key_F10);
  QMenu* file = main.menuBar()->findChild<QMenu*>("File");
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return file->isVisible(); }));
  file->hide();
  emit own->aboutToShow();
  EXPECT_EQ(own->actions()[0]->text(), "&Edit Name");
  EXPECT_EQ(own->actions()[1]->text(), "E&rase");
}

}  // namespace
}  // namespace ml::appkit
