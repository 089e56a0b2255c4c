#pragma once
// The shell's test delegate (fake desktop, drivable main loop) with the real batch-rename
// windows plugged into its factories, items in a temporary folder, and a parent window for
// sheets. The windows each factory made are kept for the test to drive.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QWidget>

#include "RenameFixtures.h"
#include "rename/RenameWindowFactories.h"
#include "rename/confirmation/RenameConfirmationDialog.h"
#include "rename/dialog/RenameDialog.h"
#include "shell/ShellFixture.h"
#include "support/ItemModelChecks.h"

namespace ml::rename::testing {

// A window of another part (a list window) that sheets attach to.
class ParentWindow final : public shell::WindowController {
 public:
  ParentWindow() { widget.resize(800, 600); }
  const void* windowIdentity() const override { return &widget; }
  QWidget widget;
};

class RenameWindowsTest : public shell::testing::ShellTest {
 protected:
  RenameWindowsTest() {
    shell::WindowFactories real;
    installRenameWindows(real, windowContext);
    services.windows.renameDialog = [this, real](const std::vector<files::Path>& items) {
      auto dialog = std::static_pointer_cast<RenameDialog>(real.renameDialog(items));
      dialogs.push_back(dialog);
      return dialog;
    };
    services.windows.renameConfirmation = [this, real](const std::vector<files::Path>& items,
                                                       std::shared_ptr<const shell::RenameRule> rule) {
      auto sheet = std::static_pointer_cast<RenameConfirmationDialog>(real.renameConfirmation(items, std::move(rule)));
      sheets.push_back(sheet);
      return sheet;
    };
  }
  ~RenameWindowsTest() override {
    for (auto& d : dialogs) {
      if (d->window()) d->window()->hide();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // The application, and what the windows the factories make reach of it.
  shell::AppDelegate& delegate() {
    auto& made = ShellTest::delegate();
    windowContext = made.windowContext();
    return made;
  }

  template <class T>
  static T* child(QWidget* window, const char* name) {
    T* found = window->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  // Types into a field as the user would (each keystroke fires its event).
  static void type(QWidget* window, const char* field, const QString& text) {
    auto* edit = child<QLineEdit>(window, field);
    edit->setFocus();
    QTest::keyClicks(edit, text);
  }
  static void clearField(QWidget* window, const char* field) {
    auto* edit = child<QLineEdit>(window, field);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
  }
  // Chooses a popup's item as the user would.
  static void choose(QWidget* window, const char* popup, int index) {
    auto* box = child<QComboBox>(window, popup);
    box->setCurrentIndex(index);
    emit box->activated(index);
  }

  // Serves the main loop until the dialog's store has handled everything fired so far and its
  // subscribers have run.
  // The models of the windows shown so far are checked from then on after every change.
  void sync(RenameDialog& dialog) {
    test::checkModelsOfEveryWindow();
    bool reached = false;
    struct Marker : store::Event {};
    struct Probe final : store::Command<RenameDialogState> {
      explicit Probe(bool* r) : reached(r) {}
      void execute(const RenameDialogState&, store::Core<RenameDialogState>&) override {
        dispatch::MainQueue::shared().async([r = reached] { *r = true; });
      }
      bool* reached;
    };
    dialog.reactor().fire(std::make_shared<Probe>(&reached));
    ASSERT_TRUE(waitFor([&] { return reached; }));
    loop.drain();
  }

  std::vector<std::string> previewNewNames(QWidget* window) {
    test::checkModelsOfEveryWindow();
    auto* table = child<QTableView>(window, "previewTable");
    std::vector<std::string> names;
    for (int row = 0; row < table->model()->rowCount(); ++row) {
      names.push_back(table->model()->index(row, 2).data().toString().toStdString());
    }
    return names;
  }

  std::vector<std::string> namesInFolder() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TempDir folder;
  std::vector<std::shared_ptr<RenameDialog>> dialogs;
  std::vector<std::shared_ptr<RenameConfirmationDialog>> sheets;
  shell::WindowContext windowContext;
};

}  // namespace ml::rename::testing
