#include "info/FlagAttributesController.h"

#include <QCheckBox>
#include <QLabel>

#include "PaneTest.h"

namespace ml::info {
namespace {

class FlagAttributesControllerTest : public testing::PaneTest {
 protected:
  FlagAttributesControllerTest() { pane.setReactor(probe.core); }
  QCheckBox& invisible() { return control<QCheckBox>(pane, "invisibleCheckbox"); }
  QCheckBox& extensionHidden() { return control<QCheckBox>(pane, "extensionHiddenCheckbox"); }
  FlagAttributesController pane;
};

TEST_F(FlagAttributesControllerTest, TogglingInvisibleOnAndOffAgain) {
  files::Path a = item("a.txt");
  probe.core->fire(Initialized({a}));
  pane.update(probe.state());
  invisible().click();
  probe.settle();
  pane.update(probe.state());
  EXPECT_TRUE(invisible().isChecked());
  EXPECT_TRUE(shown(control<QLabel>(pane, "invisibleMarker")));
  invisible().click();
  probe.settle();
  auto edits = probe.recorder->all<FieldUpdated>();
  ASSERT_EQ(edits.size(), 2u);
  EXPECT_EQ(*valueAs<bool>(edits[1].value), false);
  pane.update(probe.state());
  EXPECT_FALSE(invisible().isChecked());
  EXPECT_FALSE(shown(control<QLabel>(pane, "invisibleMarker")));
}

TEST_F(FlagAttributesControllerTest, RevertingShowsTheItemsFlagsAgain) {
  files::Path a = item("a.txt");
  pane.update(showing({a}, 0, {{EditableField::invisible, true}, {EditableField::hiddenExtension, true}}));
  EXPECT_TRUE(extensionHidden().isChecked());
  EXPECT_TRUE(shown(control<QLabel>(pane, "extensionHiddenMarker")));
  pane.update(showing({a}));
  EXPECT_FALSE(invisible().isChecked());
  EXPECT_FALSE(extensionHidden().isChecked());
  EXPECT_FALSE(shown(control<QLabel>(pane, "extensionHiddenMarker")));
  EXPECT_FALSE(shown(control<QLabel>(pane, "invisibleMarker")));
}

TEST_F(FlagAttributesControllerTest, TheCustomIconBoxStaysOff) {
  pane.update(showing({item("a.txt")}));
  auto& customIcon = control<QCheckBox>(pane, "customIconCheckbox");
  customIcon.click();
  probe.settle();
  EXPECT_FALSE(customIcon.isChecked());
  EXPECT_EQ(probe.recorder->count(), 0u);
}

// A name that starts with "." keeps the item invisible: its box shows that and cannot be
// cleared, whatever edit is pending; the next ordinary item can be toggled again.
TEST_F(FlagAttributesControllerTest, AnItemHiddenByItsNameShowsInvisibleAndCannotBeCleared) {
  files::Path hidden = item(".hidden");
  pane.update(showing({hidden}));
  EXPECT_TRUE(invisible().isChecked());
  EXPECT_FALSE(invisible().isEnabled());
  invisible().click();
  probe.settle();
  EXPECT_TRUE(probe.recorder->all<FieldUpdated>().empty());
  pane.update(showing({hidden}, 0, {{EditableField::invisible, false}}));
  EXPECT_TRUE(invisible().isChecked());
  EXPECT_FALSE(shown(control<QLabel>(pane, "invisibleMarker")));
  pane.update(showing({item("a.txt")}));
  EXPECT_TRUE(invisible().isEnabled());
  EXPECT_FALSE(invisible().isChecked());
}

}  // namespace
}  // namespace ml::info
