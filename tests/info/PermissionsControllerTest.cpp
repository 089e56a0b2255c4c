#include "info/PermissionsController.h"

#include <sys/stat.h>

#include <QLabel>

#include "PaneTest.h"
#include "files/FileSystem.h"
#include "files/UsersAndGroups.h"

namespace ml::info {
namespace {

using files::Path;

class PermissionsControllerTest : public testing::PaneTest {
 protected:
  PermissionsControllerTest() {
    pane.setReactor(probe.core);
    pane.windowDidLoad();
  }
  QComboBox& popup(const char* name) { return control<QComboBox>(pane, name); }
  int accessTag(const char* name) {
    return popup(name).currentData(PermissionsController::kTagRole).toInt();
  }
  Path withMode(mode_t mode) {
    Path path = item("a.txt");
    ::chmod(path.url().c_str(), mode);
    return path;
  }
  std::string owner(const Path& path) { return path.fileSystem().posixAttributes(path)->owner(); }
  // An account other than the item's owner and root, or nothing on a machine without one.
  std::optional<std::string> otherUser(const Path& path) {
    auto users = files::allUsers();
    if (!users) return std::nullopt;
    for (const auto& user : *users) {
      if (user != owner(path) && user != "root") return user;
    }
    return std::nullopt;
  }
  PermissionsController pane;
};

TEST_F(PermissionsControllerTest, TheOwnerMenuStartsWithTheOwnerThenRoot) {
  Path a = item("a.txt");
  pane.update(showing({a}));
  auto& owners = popup("ownerPopup");
  ASSERT_GE(owners.count(), 4);
  EXPECT_EQ(owners.itemText(0).toStdString(), owner(a));
  EXPECT_EQ(owners.itemText(2), "root");
  EXPECT_EQ(owners.currentIndex(), 0);
  EXPECT_FALSE(shown(control<QLabel>(pane, "ownerChangedMarker")));
  for (int i = 4; i < owners.count(); ++i) {
    EXPECT_NE(owners.itemText(i), "root");
    EXPECT_NE(owners.itemText(i).toStdString(), owner(a));
  }
}

TEST_F(PermissionsControllerTest, PickingAnotherOwnerIsAPendingEditShownWithItsMarker) {
  Path a = item("a.txt");
  auto other = otherUser(a);
  if (!other) GTEST_SKIP() << "this machine has no second account";
  pane.update(showing({a}));
  auto& owners = popup("ownerPopup");
  const int index = owners.findText(QString::fromStdString(*other));
  ASSERT_GE(index, 0);
  owners.setCurrentIndex(index);
  emit owners.activated(index);
  probe.settle();
  auto edits = probe.recorder->all<FieldUpdated>();
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0].field, EditableField::owner);
  EXPECT_EQ(*valueAs<std::string>(edits[0].value), *other);
  pane.update(showing({a}, 0, {{EditableField::owner, *other}}));
  EXPECT_EQ(owners.currentText().toStdString(), *other);
  EXPECT_TRUE(shown(control<QLabel>(pane, "ownerChangedMarker")));
  pane.update(showing({a}));
  EXPECT_FALSE(shown(control<QLabel>(pane, "ownerChangedMarker")));
}

TEST_F(PermissionsControllerTest, GroupsAreSortedAndTheItemsGroupSelected) {
  Path a = item("a.txt");
  pane.update(showing({a}));
  QStringList groups = items(popup("groupPopup"));
  QStringList sorted = groups;
  std::sort(sorted.begin(), sorted.end(), [](const QString& x, const QString& y) { return x.toStdString() < y.toStdString(); });
  EXPECT_EQ(groups, sorted);
  EXPECT_EQ(popup("groupPopup").currentText().toStdString(), a.fileSystem().posixAttributes(a)->group());
  EXPECT_FALSE(shown(control<QLabel>(pane, "groupChangedMarker")));
}

TEST_F(PermissionsControllerTest, AccessShowsTheNumberOfReadAndWriteBits) {
  pane.update(showing({withMode(0754)}));
  EXPECT_EQ(accessTag("ownerPermissionsPopup"), 2);
  EXPECT_EQ(accessTag("groupPermissionsPopup"), 1);
  EXPECT_EQ(accessTag("globalPermissionsPopup"), 1);
  EXPECT_EQ(popup("ownerPermissionsPopup").currentData(PermissionsController::kPermissionsRole).toInt(), 0600);
}

// Write-only access is named as such, not as "Read only". Every pop-up is read-only: nothing
// writes an owner, a group or access rights.
TEST_F(PermissionsControllerTest, WriteOnlyShowsAsWriteOnlyAndNoAccessAsNone) {
  Path a = item("a.txt");
  ::chmod(a.url().c_str(), 0222);
  pane.update(showing({a}));
  for (const char* name : {"ownerPermissionsPopup", "groupPermissionsPopup", "globalPermissionsPopup"}) {
    EXPECT_EQ(accessTag(name), 3) << name;
    EXPECT_EQ(popup(name).currentText(), "Write only") << name;
  }
  EXPECT_EQ(popup("groupPermissionsPopup").currentData(PermissionsController::kPermissionsRole).toInt(), 0020);
  ::chmod(a.url().c_str(), 0);
  pane.update(showing({a}));
  EXPECT_EQ(accessTag("ownerPermissionsPopup"), 0);
  EXPECT_EQ(accessTag("groupPermissionsPopup"), 0);
  EXPECT_EQ(accessTag("globalPermissionsPopup"), 0);
  for (const char* name : {"ownerPopup", "groupPopup", "ownerPermissionsPopup", "groupPermissionsPopup",
                           "globalPermissionsPopup"}) {
    EXPECT_FALSE(popup(name).isEnabled()) << name;
  }
}

}  // namespace
}  // namespace ml::info
