// The batch rename from the command to the disk and back: the sheet road with its
// announcements, the standalone window, the confirmation's buttons, alerts and codes.
#include <gtest/gtest.h>

#include "RenameWindowsFixture.h"
#include "shell/GlobalCommands.h"

namespace ml::rename {
namespace {

using testing::RenameWindowsTest;
using WindowState = shell::testing::WindowState;

class RenameCommandTest : public RenameWindowsTest {
 protected:
  // The sheet shown on `parent` once the command's main-thread work ran.
  std::shared_ptr<RenameDialog> dialogShown() {
    EXPECT_TRUE(waitFor([&] { return !dialogs.empty(); }));
    return dialogs.empty() ? nullptr : dialogs.back();
  }
  std::shared_ptr<RenameConfirmationDialog> confirmationShown(std::size_t count = 1) {
    EXPECT_TRUE(waitFor([&] { return sheets.size() >= count; }));
    return sheets.size() >= count ? sheets[count - 1] : nullptr;
  }
  std::shared_ptr<shell::WindowController> parentController() {
    return std::shared_ptr<shell::WindowController>(&parent, [](auto*) {});
  }
  // Sets the dialog up to append "-x" to every name, then executes it.
  void suffixAndExecute(RenameDialog& dialog) {
    QWidget* w = dialog.window();
    choose(w, "nameModificationType", 5);
    type(w, "suffixField", "-x");
    sync(dialog);
    child<QPushButton>(w, "executeButton")->click();
  }

  testing::ParentWindow parent;
};

TEST_F(RenameCommandTest, SheetRoadRenamesAndAnnouncesOnTheWindowStoreAndGlobally) {
  delegate();
  auto items = testing::makeItems(folder, {"a.txt", "b.txt", "keep"});
  store::Core<WindowState> window(WindowState{});
  window.fire(shell::GlobalCommands<WindowState>::rename(items, parentController()));
  auto dialog = dialogShown();
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->window()->parentWidget(), &parent.widget);

  QWidget* w = dialog->window();
  type(w, "nameValue", "\\.txt$");
  choose(w, "nameModificationType", 4);  // regular expression
  clearField(w, "nameValue");
  type(w, "nameValue", "^(.)$");
  type(w, "replacementValue", "$1$1");
  sync(*dialog);
  child<QPushButton>(w, "executeButton")->click();

  auto sheet = confirmationShown();
  ASSERT_TRUE(sheet);
  // Only the items whose name changes are confirmed: "keep" is not.
  EXPECT_EQ(sheet->walk().items(), (std::vector<files::Path>{items[0], items[1]}));
  EXPECT_EQ(child<QLabel>(sheet->window(), "currentNameLabel")->text(), "a.txt");
  EXPECT_EQ(child<QLineEdit>(sheet->window(), "newNameField")->text(), "aa.txt");
  child<QPushButton>(sheet->window(), "renameRemainingButton")->click();

  EXPECT_EQ(namesInFolder(), (std::vector<std::string>{"aa.txt", "bb.txt", "keep"}));
  ASSERT_TRUE(waitFor([&] { return !window.state().renamed.empty(); }));
  ASSERT_EQ(window.state().renamed.size(), 1u);
  EXPECT_EQ(window.state().renamed[0].size(), 2u);
  EXPECT_EQ(window.state().renamed[0][1].second.url(), folder.path() / "bb.txt");
  // Both sheets have closed again.
  ASSERT_TRUE(waitFor([&] { return delegate().reactor().state().activeWindows.empty(); }));
}

TEST_F(RenameCommandTest, CancelledSheetRenamesNothing) {
  delegate();
  auto items = testing::makeItems(folder, {"a.txt"});
  delegate().reactor().fire(shell::GlobalCommands<shell::GlobalState>::rename(items, parentController()));
  auto dialog = dialogShown();
  ASSERT_TRUE(dialog);
  child<QPushButton>(dialog->window(), "cancelButton")->click();
  settle();
  EXPECT_TRUE(sheets.empty());
  EXPECT_EQ(namesInFolder(), std::vector<std::string>{"a.txt"});
}

TEST_F(RenameCommandTest, StandaloneWindowConfirmsOnItselfAnnouncesAndCloses) {
  delegate();
  auto items = testing::makeItems(folder, {"a.txt", "b.txt"});
  shell::PathMapping announced;
  struct Recorder final : store::Middleware<shell::GlobalState> {
    explicit Recorder(shell::PathMapping* m) : mapping(m) {}
    void process(const store::Event& event, const shell::GlobalState&) override {
      if (auto* e = event.as<shell::ApplicationEvents::ItemsRenamed>()) *mapping = e->items;
    }
    shell::PathMapping* mapping;
  };
  auto remove = delegate().reactor().add(std::make_shared<Recorder>(&announced));
  delegate().reactor().fire(shell::GlobalCommands<shell::GlobalState>::rename(items, nullptr));
  auto dialog = dialogShown();
  ASSERT_TRUE(dialog);
  EXPECT_TRUE(dialog->window()->isVisible());
  EXPECT_EQ(dialog->window()->windowType(), Qt::Window);
  suffixAndExecute(*dialog);

  auto sheet = dialog->confirmation();
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->window()->parentWidget(), dialog->window());
  child<QPushButton>(sheet->window(), "renameButton")->click();
  child<QPushButton>(sheet->window(), "renameButton")->click();
  EXPECT_EQ(namesInFolder(), (std::vector<std::string>{"a-x.txt", "b-x.txt"}));
  ASSERT_TRUE(waitFor([&] { return announced.size() == 2; }));
  EXPECT_FALSE(dialog->window()->isVisible());
  ASSERT_TRUE(waitFor([&] { return delegate().reactor().state().activeWindows.empty(); }));
  remove();
}

TEST_F(RenameCommandTest, FailedRenameIsToldAndTheItemStaysCurrent) {
  delegate();
  auto items = testing::makeItems(folder, {"a.txt", "a-x.txt", "b.txt"});
  auto sheet = std::make_shared<RenameConfirmationDialog>(std::vector<files::Path>{items[0], items[2]},
                                                          testing::suffixRule("-x"), delegate().windowContext());
  sheets.push_back(sheet);
  int ended = 0;
  sheet->beginSheet(&parent.widget, [&ended] { ++ended; });
  QWidget* w = sheet->window();
  child<QPushButton>(w, "renameButton")->click();
  ASSERT_EQ(alerts->shown().size(), 1u);
  EXPECT_EQ(alerts->shown()[0].messageText, "Unable to rename file");
  EXPECT_EQ(alerts->shown()[0].style, appkit::Alert::Style::warning);
  EXPECT_NE(alerts->shown()[0].informativeText.find("a.txt"), std::string::npos);
  EXPECT_FALSE(child<QPushButton>(w, "renameButton")->isEnabled());
  EXPECT_EQ(child<QLabel>(w, "currentNameLabel")->text(), "a.txt");
  child<QPushButton>(w, "skipButton")->click();
  EXPECT_EQ(child<QLabel>(w, "currentNameLabel")->text(), "b.txt");
  EXPECT_TRUE(child<QPushButton>(w, "renameButton")->isEnabled());
  EXPECT_EQ(child<QProgressBar>(w, "progressBar")->value(), 50);
  child<QPushButton>(w, "renameButton")->click();
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(sheet->results().size(), 1u);
  EXPECT_EQ(testing::contents(folder.path() / "a-x.txt"), "contents of a-x.txt");
}

TEST_F(RenameCommandTest, RenameAllListsEveryFailureInOneAlert) {
  delegate();
  auto items = testing::makeItems(folder, {"a.txt", "a-x.txt", "b.txt", "b-x.txt", "c.txt"});
  auto sheet = std::make_shared<RenameConfirmationDialog>(std::vector<files::Path>{items[0], items[2], items[4]},
                                                          testing::suffixRule("-x"), delegate().windowContext());
  sheets.push_back(sheet);
  sheet->beginSheet(&parent.widget, [] {});
  child<QPushButton>(sheet->window(), "renameRemainingButton")->click();
  ASSERT_EQ(alerts->shown().size(), 1u);
  EXPECT_EQ(alerts->shown()[0].messageText, "Some items could not be renamed.");
  EXPECT_NE(alerts->shown()[0].informativeText.find("\u201Ca.txt\u201D"), std::string::npos);
  EXPECT_NE(alerts->shown()[0].informativeText.find("\u201Cb.txt\u201D"), std::string::npos);
  EXPECT_EQ(sheet->results().size(), 1u);
  EXPECT_FALSE(sheet->window()->isVisible());
}

TEST_F(RenameCommandTest, AbortAfterTwoOfFiveAnnouncesThoseTwo) {
  delegate();
  auto items = testing::makeItems(folder, {"1", "2", "3", "4", "5"});
  store::Core<WindowState> window(WindowState{});
  window.fire(shell::GlobalCommands<WindowState>::rename(items, parentController()));
  auto dialog = dialogShown();
  ASSERT_TRUE(dialog);
  suffixAndExecute(*dialog);
  auto sheet = confirmationShown();
  ASSERT_TRUE(sheet);
  std::vector<int> progress;
  int finishedWith = 0;
  QObject::connect(sheet->window(), &QDialog::finished, [&finishedWith](int r) { finishedWith = r; });
  for (int i = 0; i < 2; ++i) {
    progress.push_back(child<QProgressBar>(sheet->window(), "progressBar")->value());
    child<QPushButton>(sheet->window(), "renameButton")->click();
  }
  progress.push_back(child<QProgressBar>(sheet->window(), "progressBar")->value());
  child<QPushButton>(sheet->window(), "abortButton")->click();
  EXPECT_EQ(finishedWith, kConfirmationAbortedResponse);
  EXPECT_EQ(progress, (std::vector<int>{0, 20, 40}));
  ASSERT_TRUE(waitFor([&] { return !window.state().renamed.empty(); }));
  EXPECT_EQ(window.state().renamed[0].size(), 2u);
  EXPECT_EQ(namesInFolder(), (std::vector<std::string>{"1-x", "2-x", "3", "4", "5"}));
}

TEST_F(RenameCommandTest, SkippingEveryItemFinishesAndAnnouncesNothing) {
  delegate();
  auto items = testing::makeItems(folder, {"1", "2"});
  store::Core<WindowState> window(WindowState{});
  window.fire(shell::GlobalCommands<WindowState>::rename(items, parentController()));
  auto dialog = dialogShown();
  ASSERT_TRUE(dialog);
  suffixAndExecute(*dialog);
  auto sheet = confirmationShown();
  ASSERT_TRUE(sheet);
  int finishedWith = 0;
  QObject::connect(sheet->window(), &QDialog::finished, [&finishedWith](int r) { finishedWith = r; });
  child<QPushButton>(sheet->window(), "skipButton")->click();
  child<QPushButton>(sheet->window(), "skipButton")->click();
  EXPECT_EQ(finishedWith, kConfirmationFinishedResponse);
  settle();
  EXPECT_TRUE(window.state().renamed.empty());
}

TEST_F(RenameCommandTest, NothingToConfirmSaysSoWithoutASheet) {
  delegate();
  auto sheet = std::make_shared<RenameConfirmationDialog>(std::vector<files::Path>{}, testing::suffixRule("-x"),
                                                          delegate().windowContext());
  int ended = 0;
  sheet->beginSheet(&parent.widget, [&ended] { ++ended; });
  EXPECT_EQ(ended, 1);
  ASSERT_EQ(alerts->shown().size(), 1u);
  EXPECT_EQ(alerts->shown()[0].style, appkit::Alert::Style::informational);
  EXPECT_EQ(sheet->windowIdentity(), nullptr);
}

TEST_F(RenameCommandTest, NameTheFolderCannotHoldIsShownAndNotOffered) {
  delegate();
  auto items = testing::makeItems(folder, {"a.txt"});
  auto sheet = std::make_shared<RenameConfirmationDialog>(items, std::make_shared<testing::FixedNameRule>("../a.txt"),
                                                          delegate().windowContext());
  sheets.push_back(sheet);
  sheet->beginSheet(&parent.widget, [] {});
  EXPECT_EQ(child<QLineEdit>(sheet->window(), "newNameField")->text(), "../a.txt");
  EXPECT_FALSE(child<QPushButton>(sheet->window(), "renameButton")->isEnabled());
  EXPECT_FALSE(child<QLabel>(sheet->window(), "problemLabel")->isHidden());
  child<QPushButton>(sheet->window(), "renameRemainingButton")->click();
  EXPECT_EQ(namesInFolder(), std::vector<std::string>{"a.txt"});
  EXPECT_TRUE(sheet->results().empty());
}

}  // namespace
}  // namespace ml::rename
