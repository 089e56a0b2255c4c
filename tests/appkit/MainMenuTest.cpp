#include "appkit/MainMenu.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>

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

// An item sent to what has the keyboard focus, as the application's Edit menu makes them.
MenuItem editItem(std::string title, std::string identifier, const char* slot) {
  MenuItem item{std::move(title), std::move(identifier), "", [slot](const std::string&) { MainMenu::sendToFocusWidget(slot); }, false};
  item.isEnabled = [slot] { return MainMenu::canSendToFocusWidget(slot); };
  return item;
}

// Walked from the keyboard (Alt+E, or F10 then Right), the menu bar takes the focus; the Edit
// menu still acts on the field or the list that had it, which keeps its selection meanwhile.
TEST(MainMenu, TheEditMenuOpenedFromTheKeyboardActsOnWhatHadTheFocus) {
  MainMenu menu({Menu{"File", {MenuItem{"Open", "open", "", {}, false}}},
                 Menu{"Edit", {editItem("Undo", "undo", "undo"), editItem("Cut", "cut", "cut"),
                               editItem("Copy", "copy", "copy"), editItem("Paste", "paste", "paste"),
                               editItem("Select All", "selectAll", "selectAll")}}});
  menu.watch();
  QMainWindow window;
  auto* content = new QWidget(&window);  // the window owns the widgets
  auto* layout = new QVBoxLayout(content);
  // A text field of its own, as an editable pop-up has it (the pop-up holds the focus).
  auto* popup = new QComboBox(content);
  popup->setEditable(true);
  QLineEdit* field = popup->lineEdit();
  auto* list = new QTreeView(content);
  QStandardItemModel rows;
  for (const char* name : {"a", "b", "c"}) rows.appendRow(new QStandardItem(name));
  list->setModel(&rows);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  layout->addWidget(popup);
  layout->addWidget(list);
  window.setCentralWidget(content);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QMenu* edit = window.menuBar()->findChild<QMenu*>("Edit");
  ASSERT_NE(edit, nullptr);

  popup->setFocus();
  QTest::keyClicks(popup, "hello world");
  field->setSelection(0, 5);
  QTest::keyClick(&window, Qt::Key_E, Qt::AltModifier);
  ASSERT_TRUE(QTest::qWaitFor([&] { return edit->isVisible(); }));
  for (const char* enabled : {"undo", "cut", "copy", "paste", "selectAll"}) {
    EXPECT_TRUE(item(window, enabled)->isEnabled()) << enabled;
  }
  QTest::keyClick(edit, Qt::Key_O);  // C&opy: Cut has the C
  EXPECT_TRUE(QTest::qWaitFor([&] { return !edit->isVisible(); }));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "hello");
  EXPECT_TRUE(QTest::qWaitFor([&] { return popup->hasFocus(); }));
  EXPECT_EQ(field->selectedText(), "hello");

  // In the list: F10 opens the first menu, Right the next; Select All selects every row.
  list->setFocus();
  list->setCurrentIndex(rows.index(0, 0));
  QTest::keyClick(&window, Qt::Key_F10);
  QMenu* file = window.menuBar()->findChild<QMenu*>("File");
  ASSERT_TRUE(QTest::qWaitFor([&] { return file->isVisible(); }));
  QTest::keyClick(file, Qt::Key_Right);
  ASSERT_TRUE(QTest::qWaitFor([&] { return edit->isVisible(); }));
  EXPECT_TRUE(item(window, "selectAll")->isEnabled());
  EXPECT_FALSE(item(window, "undo")->isEnabled());  // a list has nothing to undo
  QTest::keyClick(edit, Qt::Key_S);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !edit->isVisible(); }));
  EXPECT_EQ(list->selectionModel()->selectedRows().size(), 3);
  window.close();
}

}  // namespace
}  // namespace ml::appkit
