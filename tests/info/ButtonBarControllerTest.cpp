#include "info/ButtonBarController.h"

#include "PaneTest.h"
#include "appkit/values/Alert.h"

namespace ml::info {
namespace {

using files::Path;

class ButtonBarControllerTest : public testing::PaneTest {
 protected:
  ButtonBarControllerTest() {
    bar.setReactor(probe.core);
    QObject::connect(&bar.cancelButton(), &QPushButton::clicked, [this] { ++closes; });
  }
  QPushButton& button(const char* name) { return control<QPushButton>(bar, name); }
  ButtonBarController bar;
  int closes = 0;
};

TEST_F(ButtonBarControllerTest, ButtonsFollowThePendingEdits) {
  Path a = item("a");
  bar.update(showing({a}));
  EXPECT_FALSE(shown(button("applyButton")));
  EXPECT_FALSE(shown(button("revertButton")));
  EXPECT_FALSE(shown(button("saveAndCloseButton")));
  EXPECT_EQ(button("cancelButton").text(), "Close");
  bar.update(showing({a}, 0, {{EditableField::invisible, true}}));
  EXPECT_TRUE(shown(button("applyButton")));
  EXPECT_TRUE(shown(button("revertButton")));
  EXPECT_TRUE(shown(button("saveAndCloseButton")));
  EXPECT_EQ(button("cancelButton").text(), "Cancel");
}

TEST_F(ButtonBarControllerTest, ThePickerListsTheItemsWhenThereAreSeveral) {
  Path a = item("a"), b = item("b"), c = item("c");
  bar.update(showing({a}));
  EXPECT_FALSE(shown(control<QComboBox>(bar, "filePicker")));
  bar.update(showing({a, b, c}, 1));
  auto& picker = control<QComboBox>(bar, "filePicker");
  EXPECT_TRUE(shown(picker));
  EXPECT_EQ(items(picker), (QStringList{"a", "b", "c"}));
  emit picker.activated(2);
  probe.settle();
  auto selected = probe.recorder->all<SelectedPathUpdated>();
  ASSERT_EQ(selected.size(), 1u);
  EXPECT_EQ(selected[0].path, c);
}

// Answers each alert with the next of `answers` (0 the first button) and keeps what it was asked.
struct ScriptedAlerts final : appkit::AlertPresenter {
  int runModal(const appkit::Alert& alert) override {
    asked.push_back(alert);
    return appkit::kFirstButtonReturn + answers.at(asked.size() - 1);
  }
  std::vector<int> answers;
  std::vector<appkit::Alert> asked;
};

// Switching items while edits are pending asks first: Cancel stays with the edits, Apply writes
// them before switching, Discard drops them. Picking the item shown asks nothing and keeps them.
TEST_F(ButtonBarControllerTest, PickingAnotherItemWithPendingEditsAsksFirst) {
  auto alerts = std::make_shared<ScriptedAlerts>();
  alerts->answers = {2, 0, 1};  // Cancel, Apply, Discard
  bar.setAlerts(alerts);
  Path a = item("a.txt"), b = item("b.txt");
  probe.core->fire(Initialized({a, b}));
  probe.core->fire(FieldUpdated(EditableField::name, std::string("renamed-a.txt")));
  probe.settle();
  bar.update(probe.state());
  auto& picker = control<QComboBox>(bar, "filePicker");
  auto pick = [&](int index) {
    emit picker.activated(index);
    probe.settle();
    loop.drain();
  };

  pick(0);  // the item shown
  pick(1);  // Cancel
  EXPECT_EQ(probe.state().displayed, 0);
  EXPECT_TRUE(probe.state().hasChange(EditableField::name));
  EXPECT_EQ(picker.currentIndex(), 0);
  ASSERT_EQ(alerts->asked.size(), 1u);
  EXPECT_EQ(alerts->asked[0].messageText, "Apply the changes to \u201Ca.txt\u201D?");
  EXPECT_EQ(alerts->asked[0].buttons, (std::vector<std::string>{"Apply", "Discard", "Cancel"}));

  pick(1);  // Apply: written, then b is shown
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "renamed-a.txt"));
  EXPECT_EQ(probe.state().displayedPath(), b);

  probe.core->fire(FieldUpdated(EditableField::name, std::string("renamed-b.txt")));
  probe.settle();
  bar.update(probe.state());
  pick(0);  // Discard
  EXPECT_EQ(probe.state().displayed, 0);
  EXPECT_TRUE(probe.state().changes.empty());
  EXPECT_TRUE(std::filesystem::exists(b.url()));
  EXPECT_EQ(alerts->asked.size(), 3u);
}

TEST_F(ButtonBarControllerTest, RevertDropsTheEdits) {
  bar.update(showing({item("a")}, 0, {{EditableField::invisible, true}}));
  button("revertButton").click();
  probe.settle();
  EXPECT_EQ(probe.recorder->all<StateReset>().size(), 1u);
}

TEST_F(ButtonBarControllerTest, NothingLeftToShowClosesTheWindow) {
  bar.update(showing({item("a")}, -1));
  loop.drain();
  EXPECT_EQ(closes, 1);
}

TEST_F(ButtonBarControllerTest, SaveAndCloseWritesTheRenameThenCloses) {
  Path a = item("a");
  probe.core->fire(Initialized({a}));
  probe.core->fire(FieldUpdated(EditableField::name, std::string("b")));
  probe.settle();
  bar.update(probe.state());
  button("saveAndCloseButton").click();
  probe.settle();
  loop.drain();
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "b"));
  EXPECT_EQ(closes, 1);
}

TEST_F(ButtonBarControllerTest, ApplyWritesAndKeepsTheWindowOpen) {
  Path a = item("a");
  probe.core->fire(Initialized({a}));
  probe.core->fire(FieldUpdated(EditableField::name, std::string("b")));
  probe.settle();
  bar.update(probe.state());
  button("applyButton").click();
  probe.settle();
  loop.drain();
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "b"));
  EXPECT_EQ(closes, 0);
}

}  // namespace
}  // namespace ml::info
