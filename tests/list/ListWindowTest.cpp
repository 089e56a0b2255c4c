#include "list/window/ListWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeView>
#include <QTest>
#include <QUrl>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>

#include "ListFixture.h"
#include "appkit/MainMenu.h"
#include "appkit/Pasteboard.h"
#include "list/display/ListDisplay.h"
#include "list/menu/ListMenu.h"
#include "list/window/ListMainWindow.h"
#include "list/window/ListOutlineModel.h"
#include "list/window/OutlineSelection.h"
#include "platform/store/Middleware.h"
#include "shell/MainMenuModel.h"
#include "shell/core/ApplicationEvents.h"
#include "support/ItemModelChecks.h"

namespace ml::list {
namespace {

namespace fs = std::filesystem;

// The window's store reads the clock on its own thread, where an event fired just before the
// window goes may still run while the fixture is torn down: the clock is a base of its own,
// constructed first and destroyed last.
struct FixtureClock {
  dispatch::ManualClock clock;
};

class ListWindowTest : private FixtureClock, public shell::testing::ShellTest {
 protected:
  ListWindowTest() { resetInitialLoadForTesting(); }
  ~ListWindowTest() override {
    if (window && window->isWindowLoaded()) delete window->window();
    window.reset();
    resetInitialLoadForTesting();
  }
  void SetUp() override {
    delegate();
    window = std::make_shared<ListWindow>(delegate().windowContext(), clock, background);
  }

  // Lets the store handle what was fired (and what commands fired in turn) and the window redraw.
  void settleWindow() {
    checkModel();
    for (int round = 0; round < 2; ++round) {
      auto done = std::make_shared<std::atomic<bool>>(false);
      window->core().fire(std::make_shared<testing::Marker>(done));
      ASSERT_TRUE(waitFor([&] { return done->load(); }));
      loop.drain();
    }
  }
  void show(const std::vector<files::Path>& items) {
    window->addItems(items);
    window->show();
    settleWindow();
  }
  // The outline's model is made when the window loads; from then on its consistency is checked
  // after every change it signals.
  void checkModel() { test::checkModel(window->model()); }
  bool isAnnounced() {
    for (const auto& controller : delegate().reactor().state().activeWindows) {
      if (controller == window) return true;
    }
    return false;
  }
  files::Path file(const std::string& name, const std::string& contents = "x") { return files::Path(dir.write(name, contents)); }
  files::Path folder(const std::string& name) {
    fs::create_directories(dir.path() / name);
    return files::Path(dir.path() / name);
  }
  // The window's widgets and actions by their names in the interface file.
  template <class T>
  T& ui(const char* name) {
    T* found = window->window()->findChild<T*>(QString::fromLatin1(name));
    if (!found) throw std::runtime_error(std::string("no ") + name);
    return *found;
  }
  QLabel& label(const char* name) { return ui<QLabel>(name); }
  QAction& action(const char* name) { return ui<QAction>(name); }
  QTreeView& view() { return ui<QTreeView>("outlineView"); }
  int detailTab() { return ui<QStackedWidget>("detailsTabView").currentIndex(); }
  ListOutlineModel& model() {
    checkModel();
    return *window->model();
  }
  void selectRows(std::initializer_list<int> rows) {
    view().clearSelection();
    for (int row : rows) {
      view().selectionModel()->select(model().index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    settleWindow();
  }
  std::vector<std::string> selectedNames() {
    std::vector<std::string> names;
    for (const auto& index : selectedItems(view())) names.emplace_back(model().item(index)->name());
    return names;
  }

  using FixtureClock::clock;
  test::TempDir dir;
  testing::HeldQueue background;
  std::shared_ptr<ListWindow> window;
};

TEST_F(ListWindowTest, LoadingAnnouncesTheWindowAndShowsItemsAddedBefore) {
  show({file("a"), file("b")});
  ASSERT_TRUE(waitFor([&] { return isAnnounced(); }));
  EXPECT_EQ(window->window()->windowTitle(), "Items: 2");
  EXPECT_EQ(model().rowCount(), 2);
  EXPECT_NE(window->windowIdentity(), nullptr);
}

TEST_F(ListWindowTest, AnEmptyListShowsTheEmptyPageAndDisablesActions) {
  show({});
  EXPECT_EQ(window->window()->windowTitle(), "Items: 0");
  EXPECT_EQ(detailTab(), 0);
  EXPECT_FALSE(action("actionsToolbarItem").isEnabled());
  EXPECT_FALSE(action("moveItemsToolbarButton").isEnabled());
}

TEST_F(ListWindowTest, TheFirstListSelectsItsFirstRowAndShowsItsDetails) {
  show({file("a.txt", "12345"), file("b")});
  settleWindow();
  EXPECT_EQ(selectedNames(), (std::vector<std::string>{"a.txt"}));
  EXPECT_EQ(detailTab(), 1);
  EXPECT_EQ(label("selectedItemName").text(), "a.txt");
  EXPECT_TRUE(label("selectedItemSize").text().contains("5 bytes"));
  EXPECT_TRUE(label("selectedItemKind").text().isEmpty());
  background.runAll();
  loop.drain();
  EXPECT_FALSE(label("selectedItemModifiedDate").text().isEmpty());
  EXPECT_FALSE(label("selectedItemKind").text().isEmpty());
  EXPECT_TRUE(action("moveItemsToolbarButton").isEnabled());
}

TEST_F(ListWindowTest, AFolderShowsCalculatingThenItsTotals) {
  for (int i = 0; i < 10; ++i) dir.write("box/f" + std::to_string(i), "x");
  folder("box/e1");
  folder("box/e2");
  show({folder("box")});
  settleWindow();
  EXPECT_EQ(label("selectedItemSize").text(), "Calculating size...");
  background.runAll();
  loop.drain();
  EXPECT_EQ(label("selectedItemSize").text(), "0.01 KB (10 bytes)");
  EXPECT_EQ(label("selectedItemSizePart2").text(), "for 12 items (10 files and 2 folders)");
}

TEST_F(ListWindowTest, SeveralSelectedRowsShowTheirCount) {
  show({file("a"), file("b"), file("c")});
  selectRows({0, 2});
  EXPECT_EQ(detailTab(), 2);
  EXPECT_EQ(label("selectedItemsCountLabel").text(), "Items selected: 2");
  EXPECT_TRUE(ui<QPushButton>("multipleSelectionInfoButton").isEnabled());
}

TEST_F(ListWindowTest, ExpandedChildrenCountInTheTitle) {
  dir.write("box/a", "x");
  dir.write("box/b", "x");
  show({folder("box"), file("c")});
  view().expand(model().index(0, 0));
  EXPECT_EQ(model().rowCount(model().index(0, 0)), 0);  // fetched in the background
  background.runAll();
  loop.drain();
  EXPECT_EQ(model().rowCount(model().index(0, 0)), 2);
  window->core().fire(LoadedDataInvalidated{});
  settleWindow();
  EXPECT_EQ(window->window()->windowTitle(), "Items: 4");
}

TEST_F(ListWindowTest, ControlWClosesTheWindowAndAnnouncesIt) {
  show({file("a")});
  ASSERT_TRUE(waitFor([&] { return isAnnounced(); }));
  QKeyEvent plainW(QEvent::KeyPress, Qt::Key_W, Qt::NoModifier, "w");
  QApplication::sendEvent(window->window(), &plainW);
  EXPECT_TRUE(window->window()->isVisible());
  QKeyEvent controlW(QEvent::KeyPress, Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier, "W");
  QApplication::sendEvent(window->window(), &controlW);
  EXPECT_FALSE(window->window()->isVisible());
  ASSERT_TRUE(waitFor([&] { return !isAnnounced(); }));
}

TEST_F(ListWindowTest, ALoadingListShowsItsRowsSoFarAndAClosedListBuildsNoMore) {
  show({});
  std::vector<files::Path> many;
  for (int i = 0; i < 250; ++i) many.push_back(file("f" + std::to_string(i)));
  window->addItems(many);
  // The first batch is in the outline while the rest of the one event still builds.
  ASSERT_TRUE(waitFor([&] { return model().rowCount() >= 100; }));
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(window->window()->windowTitle(), QString("Items: %1").arg(model().rowCount()));
  EXPECT_NE(detailTab(), 0) << "the empty-list page stays over rows";
  settleWindow();
  EXPECT_EQ(window->window()->windowTitle(), "Items: 250");

  window->window()->close();
  window->addItems(many);
  settleWindow();
  EXPECT_EQ(model().rowCount(), 0) << "a closed window lets go of its rows and builds no more";
}

TEST_F(ListWindowTest, RenamesElsewhereReachTheListWhileItIsOpen) {
  auto a = file("a"), b = file("b");
  show({a, b});
  fs::rename(a.url(), dir.path() / "z");
  delegate().reactor().fire(shell::ApplicationEvents::ItemsRenamed({{a, files::Path(dir.path() / "z")}}));
  ASSERT_TRUE(waitFor([&] { return model().rowCount() == 2 && model().item(model().index(0, 0))->name() == "z"; }));

  // Closed: the list lets go of its rows at once, and renames no longer reach its store.
  std::weak_ptr<PathListItem> row = model().item(model().index(1, 0))->shared_from_this();
  window->window()->close();
  settleWindow();
  EXPECT_EQ(model().rowCount(), 0);
  EXPECT_TRUE(row.expired());
  struct Moves final : store::Middleware<ListWindowState> {
    void process(const store::Event& event, const ListWindowState&) override { seen += event.as<shell::ItemsMoved>() != nullptr; }
    std::atomic<int> seen = 0;
  };
  auto moves = std::make_shared<Moves>();
  auto stop = window->core().add(moves);
  delegate().reactor().fire(shell::ApplicationEvents::ItemsRenamed({{b, files::Path(dir.path() / "y")}}));
  settle();
  settleWindow();
  EXPECT_EQ(moves->seen, 0);
  stop();
}

// What the application does to listed items from another window (an Info window's Move, the
// Trash) reaches the rows: a moved item's row shows its new place and what the item is there,
// and stays selected with its details read again; a trashed item's row goes.
TEST_F(ListWindowTest, AnItemMovedOrTrashedElsewhereIsFollowedByItsRow) {
  auto a = file("a.txt", "12345"), b = file("b");
  show({a, b});
  background.runAll();
  loop.drain();
  ASSERT_EQ(selectedNames(), (std::vector<std::string>{"a.txt"}));

  const files::Path moved(folder("elsewhere").url() / "a.txt");
  fs::rename(a.url(), moved.url());
  std::ofstream(moved.url(), std::ios::app) << "678";
  delegate().reactor().fire(shell::ItemsMoved({{a, moved}}));
  ASSERT_TRUE(waitFor([&] { return model().item(model().index(0, 0))->location() == moved.description(); }));
  settleWindow();
  background.runAll();
  loop.drain();
  EXPECT_EQ(selectedNames(), (std::vector<std::string>{"a.txt"}));
  EXPECT_TRUE(model().data(model().index(0, ListOutlineModel::locationColumn)).toString().endsWith("/elsewhere"));
  EXPECT_EQ(model().data(model().index(0, ListOutlineModel::sizeColumn)).toString().toStdString(), "0.01 KB");
  EXPECT_TRUE(label("selectedItemSize").text().contains("8 bytes"));
  EXPECT_FALSE(label("selectedItemKind").text().isEmpty());
  EXPECT_NE(label("selectedItemKind").text(), "Unknown File Type");
  EXPECT_NE(label("selectedItemModifiedDate").text(), "Unknown");
  EXPECT_FALSE(label("selectedItemModifiedDate").text().isEmpty());

  delegate().reactor().fire(shell::ItemsTrashed({b}, std::nullopt));
  ASSERT_TRUE(waitFor([&] { return model().rowCount() == 1; }));
  settleWindow();
  EXPECT_EQ(window->window()->windowTitle(), "Items: 1");
}

// Twenty thousand rows, sorted, with a selection that falls in thousands of separate runs and one
// long one, go to the Trash at once: the outline stays consistent through it (the model tester
// checks every change it signals) and keeps exactly the rows that were not selected, in order,
// with nothing selected.
TEST_F(ListWindowTest, TrashingTwentyThousandScatteredRowsKeepsTheOutlineConsistent) {
  constexpr int kRows = 20000;
  const auto first = file("item 0");
  std::vector<files::Path> paths{first};
  for (int i = 1; i < kRows; ++i) {
    const fs::path link = dir.path() / ("item " + std::to_string(i));
    fs::create_hard_link(first.url(), link);  // a real item each, without a new inode each
    paths.emplace_back(link);
  }
  std::reverse(paths.begin(), paths.end());
  show(paths);
  ASSERT_EQ(model().rowCount(), kRows);
  view().sortByColumn(ListOutlineModel::nameColumn, Qt::AscendingOrder);
  ASSERT_EQ(model().item(model().index(0, 0))->name(), "item 0");

  QItemSelection chosen;
  std::vector<std::string> kept;
  std::size_t trashed = 0;
  for (int row = 0; row < kRows; ++row) {
    if (row % 3 == 0 || (row >= 10000 && row < 15000)) {
      chosen.select(model().index(row, 0), model().index(row, ListOutlineModel::columnCount_ - 1));
      ++trashed;
    } else {
      kept.emplace_back(model().item(model().index(row, 0))->name());
    }
  }
  view().selectionModel()->select(chosen, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  settleWindow();
  window->moveSelectedToTrash();
  ASSERT_TRUE(waitFor([&] { return model().rowCount() == static_cast<int>(kept.size()); }));
  settleWindow();

  std::vector<std::string> shown;
  for (int row = 0; row < model().rowCount(); ++row) shown.emplace_back(model().item(model().index(row, 0))->name());
  EXPECT_EQ(shown, kept);
  EXPECT_TRUE(selectedItems(view()).empty());
  EXPECT_EQ(window->window()->windowTitle().toStdString(), details::windowTitle(static_cast<int64_t>(kept.size())));
  std::lock_guard lock(workspace->mutex);
  ASSERT_EQ(workspace->recycled.size(), 1u);
  EXPECT_EQ(workspace->recycled[0].size(), trashed);
}

// A broken link or a fifo has no icon of its own; sorted to the top it must not set a smaller
// height for every row. The date columns are wide enough for their dates.
TEST_F(ListWindowTest, RowsKeepTheirHeightAndDatesFitWhateverComesFirst) {
  fs::create_symlink(dir.path() / "nowhere", dir.path() / "a-broken-link");
  ASSERT_EQ(::mkfifo((dir.path() / "a-fifo").c_str(), 0600), 0);
  show({files::Path(dir.path() / "a-broken-link"), files::Path(dir.path() / "a-fifo"), file("README.md"), folder("b")});
  window->window()->resize(1000, 400);
  model().sort(ListOutlineModel::nameColumn, Qt::AscendingOrder);
  settleWindow();
  QApplication::processEvents();
  const int iconHeight = view().iconSize().height();
  for (int row = 0; row < model().rowCount(); ++row) {
    EXPECT_GE(view().visualRect(model().index(row, ListOutlineModel::nameColumn)).height(), iconHeight + 2) << row;
    EXPECT_FALSE(model().data(model().index(row, ListOutlineModel::nameColumn), Qt::DecorationRole).value<QIcon>().isNull()) << row;
  }
  const QModelIndex date = model().index(2, ListOutlineModel::modifiedColumn);
  EXPECT_GE(view().columnWidth(ListOutlineModel::modifiedColumn), view().fontMetrics().horizontalAdvance(model().data(date).toString()) + 8);
  if (const char* shot = std::getenv("ML_LIST_SCREENSHOT")) window->window()->grab().save(QString::fromLocal8Bit(shot));
}

TEST_F(ListWindowTest, RenamingTheSelectionNeedsASenderTaggedZero) {
  show({file("a")});
  settleWindow();
  window->renameSelectedItems(std::nullopt);
  window->renameSelectedItems(2);
  settle();
  EXPECT_EQ(count(renameDialogs), 0u);
  window->renameSelectedItems(0);
  ASSERT_TRUE(waitFor([&] { return count(renameDialogs) == 1; }));
  EXPECT_EQ(renameDialogs[0]->sheetParent, window);
}

TEST_F(ListWindowTest, ToolbarTagsThreeAndFiveShowInfoFourOpensOthersNothing) {
  auto a = file("a");
  show({a});
  settleWindow();
  window->onToolbarItemSelected(7);
  window->onToolbarItemSelected(3);
  window->onToolbarItemSelected(5);
  window->onToolbarItemSelected(4);
  ASSERT_TRUE(waitFor([&] {
    std::lock_guard lock(workspace->mutex);
    return count(infoWindows) == 2 && !workspace->opened.empty();
  }));
  EXPECT_EQ(infoWindows[0]->items, (std::vector<files::Path>{a}));
  std::lock_guard lock(workspace->mutex);
  ASSERT_EQ(workspace->opened.size(), 1u);
  EXPECT_EQ(workspace->opened[0].first, a.url());
}

TEST_F(ListWindowTest, DroppingAFileTwiceListsItTwice) {
  show({});
  auto a = file("a");
  window->dropped({a.url()});
  window->dropped({a.url()});
  settleWindow();
  EXPECT_EQ(model().rowCount(), 2);
}

TEST_F(ListWindowTest, OnlyLocalFilesOfADropAreTaken) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile("/tmp/a"), QUrl("https://example.org/x"), QUrl::fromLocalFile("/tmp/b")});
  EXPECT_EQ(FileDropDestination::droppedFiles(&data), (std::vector<fs::path>{"/tmp/a", "/tmp/b"}));
  QMimeData text;
  text.setText("/tmp/a");
  EXPECT_TRUE(FileDropDestination::droppedFiles(&text).empty());
}

TEST_F(ListWindowTest, EditingANameRenamesTheItem) {
  auto a = file("a");
  show({a});
  model().setData(model().index(0, ListOutlineModel::nameColumn), "b");
  settleWindow();
  EXPECT_TRUE(fs::exists(dir.path() / "b"));
  EXPECT_EQ(model().item(model().index(0, 0))->name(), "b");
}

// A name that is not UTF-8 or that holds a newline is edited in the form the row shows; ending
// the edit as it began renames nothing, and a typed character is all that changes on disk.
TEST_F(ListWindowTest, EditingANameInItsShownFormChangesOnlyWhatWasTyped) {
  const std::string latin1 = "caf\xE9.txt", newline = "new\nline.txt";
  show({file(latin1), file(newline)});
  auto onDisk = [&] {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) names.insert(entry.path().filename().string());
    return names;
  };
  // Edit Name on the row of `name`, then `keys` typed into the editor and Return.
  auto editName = [&](const std::string& name, const QString& shown, const QString& keys) {
    int row = 0;
    while (row < model().rowCount() && model().item(model().index(row, 0))->name() != name) ++row;
    ASSERT_LT(row, model().rowCount()) << name;
    selectRows({row});
    action("editNameMenuItem").trigger();
    QLineEdit* editor = nullptr;
    for (auto* field : view().findChildren<QLineEdit*>()) {
      if (field->isVisible()) editor = field;
    }
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), shown);
    QTest::keyClick(editor, Qt::Key_Home);
    QTest::keyClicks(editor, keys);
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();  // the delegate commits a Return through a queued call
    settleWindow();
  };
  editName(latin1, QString::fromUtf8("caf\uFFFD.txt"), "");
  editName(newline, QString::fromUtf8("new\u21B5line.txt"), "");
  EXPECT_EQ(onDisk(), (std::set<std::string>{latin1, newline}));
  EXPECT_TRUE(window->window()->findChildren<QMessageBox*>().isEmpty());  // no "Name change failed"

  editName(latin1, QString::fromUtf8("caf\uFFFD.txt"), "X");
  editName(newline, QString::fromUtf8("new\u21B5line.txt"), "X");
  EXPECT_EQ(onDisk(), (std::set<std::string>{"X" + latin1, "X" + newline}));
  std::set<std::string> rows;
  for (int row = 0; row < model().rowCount(); ++row) rows.insert(std::string(model().item(model().index(row, 0))->name()));
  EXPECT_EQ(rows, onDisk());
}

TEST_F(ListWindowTest, SortingKeepsTheSelectionOnItsRows) {
  show({file("b"), file("c"), file("a")});
  selectRows({0});
  model().sort(ListOutlineModel::nameColumn, Qt::AscendingOrder);
  EXPECT_EQ(model().item(model().index(0, 0))->name(), "a");
  EXPECT_EQ(selectedNames(), (std::vector<std::string>{"b"}));
}

TEST_F(ListWindowTest, ARenamedRowStaysSelectedAndExpanded) {
  dir.write("box/x", "x");
  auto box = folder("box");
  show({file("a"), box});
  view().expand(model().index(1, 0));
  background.runAll();
  loop.drain();
  selectRows({1});
  fs::rename(box.url(), dir.path() / "crate");
  window->core().fire(shell::ItemsMoved({{box, files::Path(dir.path() / "crate")}}));
  settleWindow();
  EXPECT_EQ(selectedNames(), (std::vector<std::string>{"crate"}));
  EXPECT_TRUE(view().isExpanded(model().index(1, 0)));
  background.runAll();
  loop.drain();
  EXPECT_EQ(model().rowCount(model().index(1, 0)), 1);
}

TEST_F(ListWindowTest, ChildrenFetchedForAFolderThatWasRemovedMeanwhileAreDropped) {
  dir.write("box/x", "x");
  auto box = folder("box");
  show({box, file("c")});
  view().expand(model().index(0, 0));
  window->core().fire(ItemsRemovedEvent({box}, false));
  settleWindow();
  background.runAll();
  loop.drain();
  EXPECT_EQ(model().rowCount(), 1);
  EXPECT_EQ(model().rowCount(model().index(0, 0)), 0);
}

TEST_F(ListWindowTest, TheSelectionIsInShownOrderWithoutRowsOfCollapsedFolders) {
  dir.write("box/x", "x");
  show({file("a"), folder("box"), file("c")});
  view().expand(model().index(1, 0));
  background.runAll();
  loop.drain();
  QModelIndex child = model().index(0, 0, model().index(1, 0));
  view().clearSelection();
  auto* selection = view().selectionModel();
  selection->select(model().index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  selection->select(child, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  selection->select(model().index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  EXPECT_EQ(selectedNames(), (std::vector<std::string>{"a", "x", "c"}));
  EXPECT_TRUE(isShownBefore(child, model().index(2, 0)));
  view().collapse(model().index(1, 0));
  EXPECT_EQ(selectedNames(), (std::vector<std::string>{"a", "c"}));
}

TEST_F(ListWindowTest, RightClickingAnUnselectedRowSelectsItAloneForTheSingleMenu) {
  show({file("a"), file("b"), file("c")});
  window->window()->resize(900, 500);
  selectRows({0, 1});
  QRect rect = view().visualRect(model().index(2, ListOutlineModel::nameColumn));
  QMenu* menu = window->prepareContextMenu(rect.center());
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(selectedNames(), (std::vector<std::string>{"c"}));
  EXPECT_TRUE(action("editNameMenuItemInContextMenu").isVisible());
  EXPECT_TRUE(action("copyNameMenuItemInContextMenu").isVisible());
  EXPECT_FALSE(action("copyNamesMenuItemInContextMenu").isVisible());
  ASSERT_NE(action("fileManagerMenuItem").menu(), nullptr);
  auto entries = action("infoMenuItem").menu()->actions();
  ASSERT_GE(entries.size(), 3);
  EXPECT_EQ(entries[0]->text(), "c");
  EXPECT_EQ(entries[1]->text().toStdString(), dir.path().filename().string());

  entries[1]->trigger();
  ASSERT_TRUE(waitFor([&] { return count(infoWindows) == 1; }));
  EXPECT_EQ(infoWindows[0]->items, (std::vector<files::Path>{files::Path(dir.path())}));
}

TEST_F(ListWindowTest, RightClickingInsideASelectionKeepsItForTheMultipleMenu) {
  auto a = file("a"), b = file("b"), c = file("c");
  show({a, b, c});
  window->window()->resize(900, 500);
  selectRows({0, 1, 2});
  QMenu* menu = window->prepareContextMenu(view().visualRect(model().index(1, 1)).center());
  ASSERT_NE(menu, nullptr);
  EXPECT_FALSE(action("editNameMenuItemInContextMenu").isVisible());
  EXPECT_TRUE(action("copyNamesMenuItemInContextMenu").isVisible());
  EXPECT_EQ(action("fileManagerMenuItem").menu(), nullptr);
  // The Actions menu shares "Edit Name" with the context menu; what the context menu hid for
  // three rows is still there.
  QMenu* actions = action("actionsToolbarItem").menu();
  ASSERT_NE(actions, nullptr);
  QAction* editName = nullptr;
  for (QAction* item : actions->actions()) {
    if (item->text() == "Edit Name") editName = item;
  }
  ASSERT_NE(editName, nullptr);
  EXPECT_TRUE(editName->isVisible());
  action("fileManagerMenuItem").trigger();
  ASSERT_TRUE(waitFor([&] {
    std::lock_guard lock(workspace->mutex);
    return workspace->revealed.size() == 1;
  }));
  std::lock_guard lock(workspace->mutex);
  EXPECT_EQ(workspace->revealed[0], (std::vector<fs::path>{a.url(), b.url(), c.url()}));
}

TEST_F(ListWindowTest, TheListMenuEnablesFrontListItemsOnlyForAListWindow) {
  show({file("a")});
  ASSERT_TRUE(waitFor([&] { return isAnnounced(); }));
  QMenu menu;
  ListMenu::fill(menu, delegate().reactor(), [&] { return static_cast<QWidget*>(window->window()); });
  auto actions = menu.actions();
  ASSERT_EQ(actions.size(), 6);
  EXPECT_TRUE(actions[0]->isEnabled());
  EXPECT_FALSE(actions[1]->isEnabled());
  EXPECT_EQ(actions[1]->text(), "Open List...");
  EXPECT_EQ(actions[2]->menu()->objectName(), "fleetlook");
  EXPECT_TRUE(actions[4]->isEnabled());
  EXPECT_TRUE(actions[5]->isEnabled());

  QMainWindow other;
  QMenu elsewhere;
  ListMenu::fill(elsewhere, delegate().reactor(), [&] { return static_cast<QWidget*>(&other); });
  EXPECT_FALSE(elsewhere.actions()[4]->isEnabled());
  EXPECT_TRUE(elsewhere.actions()[0]->isEnabled());

  selectRows({0});
  actions[5]->trigger();  // remove from the front list
  settleWindow();
  EXPECT_EQ(model().rowCount(), 0);
}

TEST_F(ListWindowTest, TheMainMenusListMenuIsFilledByTheListModule) {
  appkit::MainMenu menu(shell::mainMenuModel(delegate()));
  menu.setFiller("List", listMenuFiller(delegate().reactor()));
  QMainWindow host;
  menu.installOn(host);
  auto* list = host.findChild<QMenu*>("List");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->actions().size(), 6);
  list->actions()[0]->trigger();
  ASSERT_TRUE(waitFor([&] { return count(listWindows) == 1; }));
}

// In a list window the Edit menu copies the selected names and offers nothing it cannot do; the
// toolbar items that act on the selection are off while nothing is selected.
TEST_F(ListWindowTest, EditCopyCopiesTheSelectedNamesAndEmptyHandedControlsAreOff) {
  appkit::MainMenu menu(shell::mainMenuModel(delegate()));
  menu.watch();
  show({file("a.txt"), file("b")});
  selectRows({0, 1});
  window->window()->activateWindow();
  view().setFocus();
  QApplication::processEvents();
  auto* edit = window->window()->findChild<QMenu*>("Edit");
  ASSERT_NE(edit, nullptr);
  emit edit->aboutToShow();
  auto item = [&](const char* name) { return window->window()->findChild<QAction*>(QString::fromLatin1(name)); };
  for (const char* off : {"undo", "redo", "cut", "paste"}) EXPECT_FALSE(item(off)->isEnabled()) << off;
  ASSERT_TRUE(item("copy")->isEnabled());
  appkit::Pasteboard::setString("before");
  item("copy")->trigger();
  ASSERT_TRUE(waitFor([&] { return appkit::Pasteboard::string() == "a.txt\nb"; }));

  EXPECT_TRUE(action("removeItemAction").isEnabled());
  view().clearSelection();
  settleWindow();
  for (const char* off : {"removeItemAction", "moveToTrashAction", "infoToolbarItem", "openToolbarItem"}) {
    EXPECT_FALSE(action(off).isEnabled()) << off;
  }
  if (const char* shot = std::getenv("ML_LIST_SCREENSHOT")) window->window()->grab().save(QString::fromLocal8Bit(shot));
}

TEST_F(ListWindowTest, AChosenQuickAccessEntryOpensAListOfItsItems) {
  dir.write("a", "x");
  ListMenu::fleetlookItemSelected(delegate().reactor(), files::Path(dir.path()));
  ASSERT_TRUE(waitFor([&] { return count(listWindows) == 1; }));
  EXPECT_EQ(listWindows[0]->items, (std::vector<files::Path>{files::Path(dir.path() / "a")}));
}

}  // namespace
}  // namespace ml::list
