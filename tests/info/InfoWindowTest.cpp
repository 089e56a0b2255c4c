#include "info/InfoWindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>

#include "InfoCommandTest.h"
#include "info/DateAdjusterSheet.h"
#include "info/FileInfoWindow.h"
#include "info/FailureReporter.h"
#include "info/UpdateDate.h"

#include <QPushButton>
#include <QSpinBox>

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

  std::shared_ptr<InfoWindow> controller = InfoWindow::make();
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
  controller->core().fire(ChangesFailed(foundation::Error::posix(EEXIST, "rename")));
  settleWindow();
  auto* alert = controller->window()->findChild<QMessageBox*>("applyFailureAlert");
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(alert->text(), FailureReporter::messageText("a.txt"));
  EXPECT_TRUE(alert->informativeText().contains("File exists"));
  alert->close();
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

}  // namespace
}  // namespace ml::info
