#include "list/window/ListOutlineModel.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>

#include "list/rows/PathListItem.h"
#include "platform/dispatch/ManualClock.h"
#include "shell/ShellFakes.h"
#include "support/ManualMainLoop.h"
#include "support/TempDir.h"

namespace ml::list {
namespace {

namespace fs = std::filesystem;

class ListOutlineModelTest : public ::testing::Test {
 protected:
  ListOutlineModelTest() { model.onRename = [this](PathListItem& row, const QString& name) { renamed.emplace_back(row.name(), name.toStdString()); }; }

  files::Path file(const std::string& name, const std::string& contents = "x") { return files::Path(dir.write(name, contents)); }
  files::Path folder(const std::string& name) {
    fs::create_directories(dir.path() / name);
    return files::Path(dir.path() / name);
  }
  QString text(const QModelIndex& index, int role = Qt::DisplayRole) { return model.data(index, role).toString(); }

  test::TempDir dir;
  test::ManualMainLoop loop;
  shell::testing::InlineQueue background;
  dispatch::ManualClock clock;
  std::shared_ptr<ListWindowDataSource2> source = std::make_shared<ListWindowDataSource2>();
  ListOutlineModel model{source, background, clock};
  // Checks the model's consistency after every change it signals; an inconsistency ends the test.
  QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
  std::vector<std::pair<std::string, std::string>> renamed;
};

TEST_F(ListOutlineModelTest, AFoldersChildrenComeWhenFetchedAndLeadBackToIt) {
  dir.write("box/inner/deep", "x");
  source->append({PathListItem::make(file("a")), PathListItem::make(folder("box"))});
  QModelIndex box = model.index(1, 0);
  EXPECT_TRUE(model.hasChildren(box));
  EXPECT_EQ(model.rowCount(box), 0);
  // The checker, like a view, fetched the folder's children as soon as it saw the folder: that
  // fetch is under way, and asking again fetches nothing twice.
  EXPECT_FALSE(model.canFetchMore(box));  // one fetch at a time
  model.fetchMore(box);
  loop.drain();
  ASSERT_EQ(model.rowCount(box), 1);
  QModelIndex inner = model.index(0, 0, box);
  EXPECT_EQ(model.parent(inner), box);
  model.fetchMore(inner);
  loop.drain();
  QModelIndex deep = model.index(0, 0, inner);
  EXPECT_EQ(text(model.index(0, ListOutlineModel::nameColumn, inner)), "deep");
  EXPECT_EQ(model.parent(deep), inner.siblingAtColumn(0));
  EXPECT_EQ(model.parent(box), QModelIndex());
}

// A folder removed while its children load takes its fetch with it: a row built later, even at
// the same address, can still be expanded (the allocator hands a freed block of a row's size
// back at once, so the fresh row usually lands where the removed one was).
TEST_F(ListOutlineModelTest, AFolderRemovedWhileItsChildrenLoadLeavesNoFetchBehind) {
  dir.write("box/a", "x");
  source->append({PathListItem::make(folder("box"))});
  const PathListItem* removed = model.item(model.index(0, 0));
  model.fetchMore(model.index(0, 0));
  source->remove({files::Path(dir.path() / "box")});
  loop.drain();
  EXPECT_EQ(model.rowCount(), 0);

  std::vector<std::shared_ptr<PathListItem>> fresh;
  for (int i = 0; i < 8 && (fresh.empty() || fresh.back().get() != removed); ++i) {
    fresh.push_back(PathListItem::make(folder("box")));
  }
  source->append({fresh.back()});
  QModelIndex box = model.index(0, 0);
  // The checker, like a view, starts the fetch as it sees the row; a stale fetch of the removed
  // row would keep it from ever starting.
  if (model.canFetchMore(box)) model.fetchMore(box);
  loop.drain();
  EXPECT_EQ(model.rowCount(box), 1);
}

TEST_F(ListOutlineModelTest, ColumnsShowNameSizeAndLocationWithAnEmDashForFolders) {
  source->append({PathListItem::make(file("a.txt", std::string(1536, 'x'))), PathListItem::make(folder("f"))});
  EXPECT_EQ(text(model.index(0, ListOutlineModel::nameColumn)), "a.txt");
  EXPECT_EQ(text(model.index(0, ListOutlineModel::sizeColumn)), "1.5 KB");
  EXPECT_EQ(text(model.index(1, ListOutlineModel::sizeColumn)), "\u2014");
  EXPECT_EQ(text(model.index(0, ListOutlineModel::nameColumn), Qt::ToolTipRole).toStdString(), (dir.path() / "a.txt").string());
  EXPECT_FALSE(text(model.index(0, ListOutlineModel::modifiedColumn)).isEmpty());
  EXPECT_EQ(model.headerData(ListOutlineModel::nameColumn, Qt::Horizontal).toString(), "Name");
  EXPECT_TRUE(model.flags(model.index(0, ListOutlineModel::nameColumn)) & Qt::ItemIsEditable);
  EXPECT_FALSE(model.flags(model.index(0, ListOutlineModel::sizeColumn)) & Qt::ItemIsEditable);

  // A name holding a newline shows it as a mark, as the Info window does, and editing starts
  // from that shown form (the rename takes what was left alone back to the name's bytes).
  source->append({PathListItem::make(file("new\nline.txt"))});
  EXPECT_EQ(text(model.index(2, ListOutlineModel::nameColumn)), QString::fromUtf8("new\u21B5line.txt"));
  EXPECT_EQ(text(model.index(2, ListOutlineModel::nameColumn), Qt::EditRole), QString::fromUtf8("new\u21B5line.txt"));
}

TEST_F(ListOutlineModelTest, OnlyACommittedNameEditIsHandedOn) {
  source->append({PathListItem::make(file("a"))});
  EXPECT_FALSE(model.setData(model.index(0, ListOutlineModel::sizeColumn), "x"));
  EXPECT_TRUE(model.setData(model.index(0, ListOutlineModel::nameColumn), "b"));
  EXPECT_EQ(renamed, (std::vector<std::pair<std::string, std::string>>{{"a", "b"}}));
}

TEST_F(ListOutlineModelTest, SortingByAColumnWithoutKeyChangesNothing) {
  source->append({PathListItem::make(file("b")), PathListItem::make(file("a"))});
  model.sort(ListOutlineModel::iconColumn);
  EXPECT_EQ(text(model.index(0, ListOutlineModel::nameColumn)), "b");
  model.sort(ListOutlineModel::nameColumn, Qt::AscendingOrder);
  EXPECT_EQ(text(model.index(0, ListOutlineModel::nameColumn)), "a");
}

}  // namespace
}  // namespace ml::list
