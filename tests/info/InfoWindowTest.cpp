#include "info/InfoWindow.h"

#include <sys/stat.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include "InfoCommandTest.h"
#include "files/format/DateExtensions.h"
#include "files/format/FileSizeFormatter.h"
#include "info/DateAdjusterSheet.h"
#include "info/FailureReporter.h"
#include "info/FileInfoWindow.h"
#include "info/UpdateDate.h"
#include "files/Files.h"
#include "platform/darwin/ExtendedAttributes.h"
#include "platform/darwin/ItemAttributes.h"
#include "support/ResourceForkBuilder.h"
#include "support/Unprivileged.h"

#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTest>

#include <set>

namespace ml::info {
namespace {

using files::Path;

class InfoWindowTest : public testing::InfoCommandTest {
 protected:
  InfoWindowTest() { controller->core().add(recorder); }
  ~InfoWindowTest() override {
    if (controller->window() && controller->window()->isVisible()) controller->window()->close();
    settleGlobal();
    loop.drain();
  }
  void settleWindow() {
    testing::settleStore(controller->core());
    loop.drain();
  }
  bool isActive() {
    auto active = delegate().reactor().state().activeWindows;
    return active.count(controller) != 0;
  }

  std::shared_ptr<InfoWindow> controller = InfoWindow::make(delegate().windowContext());
  std::shared_ptr<testing::EventRecorder> recorder = std::make_shared<testing::EventRecorder>();
  Path a = Path(dir.write("a.txt", "x"));
  Path b = Path(dir.write("b.txt", "y"));
};

TEST_F(InfoWindowTest, ThePathsGivenBeforeLoadingReachEveryPane) {
  controller->initialize({a, b});
  controller->show();
  settleWindow();
  auto* window = controller->window();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->findChild<QLineEdit*>("nameField")->text(), "a.txt");
  EXPECT_EQ(window->windowTitle(), "a.txt");
  EXPECT_EQ(window->findChild<QComboBox*>("filePicker")->count(), 2);
  EXPECT_EQ(controller->windowIdentity(), window);
}

TEST_F(InfoWindowTest, AnOpenWindowIsAnnouncedAndLeavesWhenClosed) {
  controller->initialize({a});
  controller->show();
  settleGlobal();
  EXPECT_TRUE(isActive());
  controller->window()->close();
  settleGlobal();
  EXPECT_FALSE(isActive());
  EXPECT_EQ(closedWindows->controllers().size(), 1u);
}

TEST_F(InfoWindowTest, RenamesReachTheWindowOnlyWhileItIsOpen) {
  controller->initialize({a});
  controller->show();
  settleWindow();
  Path renamed(dir.path() / "c.txt");
  delegate().reactor().fire(shell::ApplicationEvents::ItemsRenamed({{a, renamed}}));
  settleGlobal();
  settleWindow();
  EXPECT_EQ(controller->core().state().displayedPath(), renamed);

  controller->window()->close();
  settleGlobal();
  delegate().reactor().fire(shell::ApplicationEvents::ItemsRenamed({{renamed, a}}));
  settleGlobal();
  settleWindow();
  EXPECT_EQ(controller->core().state().displayedPath(), renamed);
  EXPECT_EQ(recorder->all<shell::ApplicationEvents::ItemsRenamed>().size(), 1u);
}

TEST_F(InfoWindowTest, OtherWindowsOpeningAndClosingDoNotReachTheWindow) {
  controller->initialize({a});
  controller->show();
  settleWindow();
  auto other = std::make_shared<shell::testing::FindWindow>();
  delegate().reactor().fire(shell::ApplicationEvents::WindowOpened(other));
  delegate().reactor().fire(shell::ApplicationEvents::WindowClosed(other));
  settleGlobal();
  settleWindow();
  EXPECT_TRUE(recorder->all<shell::ApplicationEvents::ItemsRenamed>().empty());
  EXPECT_EQ(recorder->count(), 2u);  // Initialized and WindowLoaded only
}

TEST_F(InfoWindowTest, AFailedApplyIsToldToTheUser) {
  controller->initialize({a});
  controller->show();
  settleWindow();
  controller->core().fire(ChangesFailed(a, foundation::Error::posix(EEXIST, "rename")));
  settleWindow();
  auto* alert = controller->window()->findChild<QMessageBox*>("applyFailureAlert");
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(alert->text(), FailureReporter::messageText("a.txt"));
  EXPECT_TRUE(alert->informativeText().contains("File exists"));
  alert->close();
}

// A name that is not UTF-8 or that holds a newline shows in its visible form. Typed back as it
// was it is no edit and Apply renames nothing; a typed character is all that changes on disk.
TEST_F(InfoWindowTest, EditingANameInItsShownFormChangesOnlyWhatWasTyped) {
  const std::string latin1 = "caf\xE9.txt", newline = "new\nline.txt";
  const Path items[] = {Path(dir.write(latin1, "x")), Path(dir.write(newline, "x"))};
  const QString shown[] = {QString::fromUtf8("caf\uFFFD.txt"), QString::fromUtf8("new\u21B5line.txt")};
  controller->initialize({items[0], items[1]});
  controller->show();
  settleWindow();
  auto* field = controller->window()->findChild<QLineEdit*>("nameField");
  auto* apply = controller->window()->findChild<QPushButton*>("applyButton");
  ASSERT_TRUE(field && apply);
  auto onDisk = [&] {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) names.insert(entry.path().filename().string());
    return names;
  };
  // Types X at the start of the shown item's name (and takes it back when `typedBack`), ends
  // the editing with Return and applies.
  auto typeX = [&](int item, bool typedBack) {
    controller->core().fire(SelectedPathUpdated(controller->core().state().paths[static_cast<size_t>(item)]));
    settleWindow();
    EXPECT_EQ(field->text(), shown[item]);
    QTest::keyClick(field, Qt::Key_Home);
    QTest::keyClicks(field, "X");
    if (typedBack) QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClick(field, Qt::Key_Return);
    settleWindow();
    EXPECT_EQ(controller->core().state().hasChange(EditableField::name), !typedBack);
    apply->click();
    settleWindow();
    settleWindow();
  };
  typeX(0, true);
  typeX(1, true);
  EXPECT_EQ(onDisk(), (std::set<std::string>{"a.txt", "b.txt", latin1, newline}));
  typeX(0, false);
  typeX(1, false);
  EXPECT_EQ(onDisk(), (std::set<std::string>{"a.txt", "b.txt", "X" + latin1, "X" + newline}));
  EXPECT_EQ(field->text(), "X" + shown[1]);
  EXPECT_TRUE(recorder->all<ChangesFailed>().empty());
}

// A comment attached in the resource fork becomes the Finder comment in the background, and the
// window redraws to show it.
TEST_F(InfoWindowTest, AnAttachedCommentIsCopiedAndThenShown) {
  const std::string attached = "from the fork";
  ASSERT_TRUE(darwin::setExtendedAttribute(
      a.url(), test::buildResourceFork({{"CEKI", {{1, std::nullopt, {attached.begin(), attached.end()}}}}}),
      "com.apple.ResourceFork"));
  controller->initialize({a});
  controller->show();
  ASSERT_TRUE(loop.drainUntil(
      [&] {
        testing::settleStore(controller->core());
        return controller->window()->findChild<QLabel*>("commentsField")->text() == "from the fork";
      },
      std::chrono::seconds(10)));
  EXPECT_EQ(files::Files::comment(a), attached);
}

// Closing the window itself (not by its Cancel button, which drops the edits) with an edit
// pending asks as switching items does: Cancel keeps the window and the edit, Apply writes the
// edit and then closes.
TEST_F(InfoWindowTest, ClosingWithPendingEditsAsksFirst) {
  controller->initialize({a});
  controller->show();
  settleWindow();
  controller->core().fire(FieldUpdated(EditableField::name, std::string("renamed.txt")));
  settleWindow();
  alerts->answer(appkit::kFirstButtonReturn + 2);
  controller->window()->close();
  settleWindow();
  ASSERT_TRUE(controller->window()->isVisible());
  EXPECT_TRUE(controller->core().state().hasChange(EditableField::name));
  alerts->answer(appkit::kFirstButtonReturn);
  controller->window()->close();
  settleWindow();
  settleWindow();
  EXPECT_FALSE(controller->window() && controller->window()->isVisible());
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "renamed.txt"));
  ASSERT_EQ(alerts->shown().size(), 2u);
  EXPECT_EQ(alerts->shown()[0].messageText, "Apply the changes to \u201Ca.txt\u201D?");
  EXPECT_EQ(alerts->shown()[0].buttons, (std::vector<std::string>{"Apply", "Discard", "Cancel"}));
}

// A path that names nothing (given at launch, or deleted meanwhile) is said to be missing, in
// place of panes that would show "Unknown" and offer edits.
TEST_F(InfoWindowTest, AMissingItemIsSaidToBeMissingInPlaceOfThePanes) {
  Path missing(dir.path() / "nope.txt");
  controller->initialize({missing, a});
  controller->show();
  settleWindow();
  auto* window = controller->window();
  auto* notice = window->findChild<QLabel*>("missingItemNotice");
  ASSERT_NE(notice, nullptr);
  EXPECT_FALSE(notice->isHidden());
  EXPECT_TRUE(notice->text().startsWith("\u201Cnope.txt\u201D does not exist in "));
  EXPECT_TRUE(window->findChild<QWidget*>("basic")->isHidden());
  controller->core().fire(SelectedPathUpdated(a));
  settleWindow();
  EXPECT_TRUE(notice->isHidden());
  EXPECT_FALSE(window->findChild<QWidget*>("basic")->isHidden());
}

TEST_F(InfoWindowTest, TheAdjusterSheetTurnsItsDateIntoAPendingEdit) {
  controller->initialize({a});
  controller->show();
  settleWindow();
  controller->core().fire(std::make_shared<UpdateDate>(EditableField::modified, true));
  settleWindow();
  auto* dialog = controller->window()->findChild<QDialog*>("DateAdjusterSheet");
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  dialog->findChild<QSpinBox*>("dayStepper")->setValue(-1);
  dialog->findChild<QPushButton*>("applyButton")->click();
  settleWindow();
  settleGlobal();
  EXPECT_TRUE(controller->core().state().hasChange(EditableField::modified));
  ASSERT_EQ(closedWindows->controllers().size(), 1u);
  EXPECT_NE(std::dynamic_pointer_cast<DateAdjusterSheet>(closedWindows->controllers()[0]), nullptr);
}

// Someone else's 0600 file, opened by an unprivileged user (where the process is root, it acts as
// one for the test; where it is not, the user's own write-only file stands in, which refuses its
// attribute reads the same way). Its inode still gives kind, size, dates and permissions.
TEST_F(InfoWindowTest, AnItemTheUserMayNotReadShowsItsKindSizeDatesAndPermissions) {
  using namespace std::chrono_literals;
  const bool root = test::isPrivileged();
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  Path secret(dir.write("secret.txt", "twelve bytes"));
  const files::Date modified(std::chrono::duration_cast<files::Date::duration>(1600000000s));
  ASSERT_TRUE(darwin::setItemTimes(secret.url(), modified, modified + 100s));
  const std::string owner = secret.fileSystem().posixAttributes(secret)->owner();
  const std::string size = files::FileSizeFormatter().format(secret.fileSystem().basicAttributes(secret)->totalSize());
  ASSERT_NE(size.find("12"), std::string::npos) << size;
  ASSERT_EQ(::chmod(secret.url().c_str(), root ? 0600 : 0200), 0);

  test::AsUnprivilegedUser user;
  ASSERT_TRUE(user.ok());
  controller->initialize({secret});
  controller->show();
  settleWindow();
  QWidget* window = controller->window();
  auto text = [&](const char* name) { return window->findChild<QLabel*>(name)->text(); };
  auto popup = [&](const char* name) { return window->findChild<QComboBox*>(name); };
  ASSERT_TRUE(loop.drainUntil([&] { return text("totalSizeField") != "Calculating..."; }, std::chrono::seconds(10)));

  EXPECT_EQ(text("totalSizeField").toStdString(), size);
  EXPECT_EQ(text("dataForkSizeField").toStdString(), size);
  EXPECT_FALSE(text("kindLabel").isEmpty());
  EXPECT_NE(text("kindLabel"), "Unknown File Type");
  EXPECT_EQ(popup("modifiedField")->itemText(0).toStdString(), files::dates::string(modified));
  EXPECT_EQ(popup("accessedField")->itemText(0).toStdString(), files::dates::string(modified + 100s));
  EXPECT_EQ(popup("ownerPopup")->currentText().toStdString(), owner);
  EXPECT_EQ(popup("ownerPermissionsPopup")->currentText(), root ? "Read & Write" : "Write only");
  EXPECT_EQ(popup("groupPermissionsPopup")->currentText(), "No Access");
  EXPECT_EQ(popup("globalPermissionsPopup")->currentText(), "No Access");
}

// With many items: the item picker tells items of one name apart by their folders, and a window
// that grows to show its panes stays on the screen.
TEST_F(InfoWindowTest, ThePickerTellsAlikeNamesApartAndTheGrownWindowStaysOnTheScreen) {
  // Found by a search: three "file2.txt", two of them in folders of one name, and a name with a
  // control character, shown in its visible form.
  const Path inX(dir.write("x/logs/file2.txt", "1"));
  const Path inY(dir.write("y/logs/file2.txt", "2"));
  const Path inZ(dir.write("z/file2.txt", "3"));
  const Path other(dir.write("tab\there.txt", "4"));
  controller->initialize({inX, inY, inZ, other});
  controller->show();
  FileInfoWindow* window = controller->window();
  ASSERT_NE(window, nullptr);
  // Placed low, as a window first shown at its smaller size may be.
  const QRect free = window->screen()->availableGeometry();
  window->move(free.left() + 10, free.bottom() - 150);
  settleWindow();

  auto* picker = window->findChild<QComboBox*>("filePicker");
  ASSERT_NE(picker, nullptr);
  QStringList titles;
  for (int i = 0; i < picker->count(); ++i) titles << picker->itemText(i);
  const QString top = QString::fromStdString(dir.path().filename().string());
  EXPECT_EQ(titles, (QStringList{"file2.txt \u2014 x/logs", "file2.txt \u2014 y/logs",
                                 "file2.txt \u2014 " + top + "/z", "tab\u21E5here.txt"}));

  // Grown to its panes (as far as the screen allows) and moved so that all of it is on the screen.
  const QSize decoration = window->frameGeometry().size() - window->size();
  const int wanted = std::min(window->sizeHint().height(), free.height() - decoration.height());
  EXPECT_EQ(window->height(), wanted);
  EXPECT_TRUE(free.contains(window->frameGeometry())) << window->frameGeometry().y() << " " << window->frameGeometry().height();
}

}  // namespace
}  // namespace ml::info
