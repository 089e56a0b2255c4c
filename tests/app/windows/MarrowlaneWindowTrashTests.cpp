// What one window does to items reaches every other window showing them: the real list and Info
// windows, made as the application makes them, over the desktop's real Trash in a folder of the
// test's own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QTreeView>
#include <filesystem>

#include "appkit/DesktopWorkspace.h"
#include "appkit/FreedesktopTrash.h"
#include "info/FileInfoWindow.h"
#include "info/InfoWindow.h"
#include "info/state/AcceptChanges.h"
#include "info/state/InfoWindowEvents.h"
#include "list/rows/ListWindowDataSource2.h"
#include "list/window/ListMainWindow.h"
#include "list/window/ListWindow.h"
#include "platform/dispatch/MainQueue.h"
#include "shell/ShellFixture.h"

namespace ml {
namespace {

namespace fs = std::filesystem;

class WindowTrashTest : public shell::testing::ShellTest {
 protected:
  WindowTrashTest() {
    appkit::FreedesktopTrash::Options options;
    options.homeTrash = dir.path() / "Trash";
    services.workspace = std::make_shared<appkit::DesktopWorkspace>(
        nullptr, std::make_shared<const appkit::FreedesktopTrash>(options), dispatch::MainQueue::shared(), background);
    context = delegate().windowContext();
  }
  ~WindowTrashTest() override {
    for (auto& list : lists) {
      if (list->isWindowLoaded()) list->window()->close();
    }
    for (auto& info : infos) {
      if (info->window()) info->window()->close();
    }
    settle();
  }

  std::shared_ptr<list::ListWindow> openList(const std::vector<files::Path>& items) {
    auto list = std::make_shared<list::ListWindow>(context, dispatch::Clock::system(), background);
    list->addItems(items);
    list->show();
    lists.push_back(list);
    settle();
    return list;
  }
  std::shared_ptr<info::InfoWindow> openInfo(const files::Path& item) {
    auto info = info::InfoWindow::make(context);
    info->initialize({item});
    info->show();
    infos.push_back(info);
    settle();
    return info;
  }

  static QAction& action(list::ListWindow& list, const char* name) {
    return *list.window()->findChild<QAction*>(QString::fromLatin1(name));
  }
  static std::vector<std::string> rows(list::ListWindow& list) {
    std::vector<std::string> names;
    for (const auto& row : list.core().state().dataSource->items()) names.emplace_back(row->name());
    return names;
  }
  static std::vector<std::string> selected(list::ListWindow& list) {
    std::vector<std::string> names;
    for (const auto& item : list.core().state().selectedItems()) names.push_back(item.url().filename().string());
    return names;
  }
  void select(list::ListWindow& list, std::initializer_list<int> rows) {
    auto* view = list.window()->findChild<QTreeView*>("outlineView");
    view->clearSelection();
    for (int row : rows) {
      view->selectionModel()->select(view->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    settle();
  }
  std::size_t inTrash(const char* part) {
    std::error_code error;
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir.path() / "Trash" / part, error), {}));
  }
  files::Path file(const std::string& name) { return files::Path(dir.write(name, name)); }

  test::TempDir dir;
  shell::WindowContext context;
  std::vector<std::shared_ptr<list::ListWindow>> lists;
  std::vector<std::shared_ptr<info::InfoWindow>> infos;
};

TEST_F(WindowTrashTest, ATrashOrRenameInOneWindowIsFollowedByTheRowsOfEveryList) {
  const auto a = file("a"), b = file("b"), c = file("c"), d = file("d"), elsewhere = file("elsewhere");
  auto first = openList({a, b});
  auto second = openList({a, b, c, d});
  select(*second, {1, 2});
  ASSERT_EQ(selected(*second), (std::vector<std::string>{"b", "c"}));

  // Everything in the first list to the Trash: both lists lose the rows, really trashed items,
  // and in the second only the row that went leaves the selection. The emptied list has
  // nothing left to move or copy. An Info window showing one of the items has nothing left.
  auto watching = openInfo(b);
  select(*first, {0, 1});
  ASSERT_TRUE(action(*first, "moveItemsToolbarButton").isEnabled());
  first->moveSelectedToTrash();
  ASSERT_TRUE(waitFor([&] { return rows(*second).size() == 2 && rows(*first).empty(); }));
  settle();
  EXPECT_EQ(rows(*second), (std::vector<std::string>{"c", "d"}));
  EXPECT_EQ(selected(*second), (std::vector<std::string>{"c"}));
  EXPECT_FALSE(fs::exists(a.url()));
  EXPECT_FALSE(fs::exists(b.url()));
  EXPECT_EQ(inTrash("files"), 2u);
  EXPECT_EQ(inTrash("info"), 2u);
  EXPECT_FALSE(action(*first, "moveItemsToolbarButton").isEnabled());
  EXPECT_FALSE(action(*first, "copyItemsToolbarButton").isEnabled());
  EXPECT_FALSE(action(*first, "moveToTrashAction").isEnabled());
  EXPECT_TRUE(waitFor([&] { return !watching->core().state().displayedPath(); }));

  // An Info window's trash of an item no list shows: it goes, and the lists keep their rows and
  // their selection.
  auto info = openInfo(elsewhere);
  QAction* trash = nullptr;
  for (QAction* candidate : info->window()->findChildren<QAction*>()) {
    if (candidate->iconText() == "Trash") trash = candidate;
  }
  ASSERT_NE(trash, nullptr);
  trash->trigger();
  ASSERT_TRUE(waitFor([&] { return !fs::exists(elsewhere.url()); }));
  settle();
  EXPECT_EQ(rows(*second), (std::vector<std::string>{"c", "d"}));
  EXPECT_EQ(selected(*second), (std::vector<std::string>{"c"}));
  EXPECT_EQ(inTrash("info"), 3u);

  // A rename applied in an Info window: the list's row shows the item under its new name and
  // place, where the old row stood.
  auto renaming = openInfo(c);
  renaming->core().fire(info::FieldUpdated(info::EditableField::name, std::string("c renamed")));
  renaming->core().fire(std::make_shared<info::AcceptChanges>());
  ASSERT_TRUE(waitFor([&] { return rows(*second).front() == "c renamed"; }));
  settle();
  EXPECT_EQ(rows(*second), (std::vector<std::string>{"c renamed", "d"}));
  EXPECT_EQ(second->core().state().dataSource->items().front()->location(), (dir.path() / "c renamed").string());
  EXPECT_TRUE(fs::exists(dir.path() / "c renamed"));

  // A trash that fails (the item's folder takes no changes) moves nothing, leaves no record,
  // and keeps the row.
  if (::geteuid() == 0) return;  // the folder's permissions do not hold for root
  fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::remove);
  select(*second, {1});
  second->moveSelectedToTrash();
  settle();
  settle();
  fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_TRUE(fs::exists(d.url()));
  EXPECT_EQ(rows(*second), (std::vector<std::string>{"c renamed", "d"}));
  EXPECT_EQ(inTrash("files"), 3u);
  EXPECT_EQ(inTrash("info"), 3u);
}

}  // namespace
}  // namespace ml
