#include "info/ButtonBarController.h"

#include "PaneTest.h"

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
