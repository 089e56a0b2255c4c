#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include "appkit/ImmutableButton.h"
#include "appkit/LocalizableControls.h"
#include "appkit/LocalizableMenuItem.h"
#include "appkit/LocalizableToolBarItem.h"
#include "appkit/LocalizedTextField.h"
#include "appkit/TolvekViewController.h"

namespace ml::appkit {
namespace {

// With no entry in the strings table a text stands for itself, so the tests see the keys.

TEST(LocalizableMenuItem, KeyWithoutEntryBecomesTheTitle) {
  LocalizableMenuItem item("Given Title", nullptr);
  item.setKey("menu.key");
  item.awake();
  EXPECT_EQ(item.text(), "menu.key");
  EXPECT_EQ(item.originalTitle(), QString("menu.key"));
}

TEST(LocalizableMenuItem, TitleAloneIsItsOwnKey) {
  LocalizableMenuItem item("Show Info…", nullptr);
  item.awake();
  EXPECT_EQ(item.text(), "Show Info…");
}

TEST(LocalizableMenuItem, NeitherKeyNorCapturedTitleLeavesTheTitleAlone) {
  LocalizableMenuItem item("Untouched", nullptr);
  item.setTable("Other");
  EXPECT_EQ(item.text(), "Untouched");
  EXPECT_FALSE(item.originalTitle());
}

TEST(LocalizedTextField, OwnTextServesAsKeyAndNullTableChangesNothing) {
  LocalizedTextField field;
  field.setText("Kind:");
  field.awake();
  EXPECT_EQ(field.text(), "Kind:");
  field.setTable(QString());
  EXPECT_EQ(field.text(), "Kind:");
  EXPECT_TRUE(field.table().isNull());
}

TEST(LocalizedTextField, SettingAKeyShowsItAndClearingItKeepsTheCurrentText) {
  LocalizedTextField field;
  field.setText("old");
  field.setKey("field.key");
  EXPECT_EQ(field.text(), "field.key");
  field.setKey(QString());
  EXPECT_EQ(field.text(), "field.key");
}

TEST(LocalizableToolBarItem, KeysSetAllThreeTextsFromTheTable) {
  LocalizableToolBarItem item;
  item.setTable("Localizable");
  item.setLabelKey("label.key");
  item.setPaletteLabelKey("palette.key");
  item.setToolTipKey("tip.key");
  EXPECT_EQ(item.iconText(), "label.key");
  EXPECT_EQ(item.text(), "palette.key");
  EXPECT_EQ(item.toolTip(), "tip.key");
}

TEST(LocalizableToolBarItem, ItemWithoutToolTipKeepsHavingNone) {
  LocalizableToolBarItem item;
  item.setText("Copy");
  item.awake();
  EXPECT_FALSE(item.originalToolTip());
  EXPECT_FALSE(item.explicitToolTip());
  EXPECT_EQ(item.iconText(), "Copy");
}

TEST(LocalizableToolBarItem, ClearedKeyFallsBackToTheCapturedText) {
  LocalizableToolBarItem item;
  item.setIconText("Label");
  item.setText("Palette");
  item.awake();
  item.setLabelKey("other");
  EXPECT_EQ(item.iconText(), "other");
  item.setLabelKey(QString());
  EXPECT_EQ(item.iconText(), "Label");
}

TEST(ImmutableButton, ClicksAndKeysLeaveItsStateAndCodeChangesIt) {
  ImmutableButton button;
  button.resize(100, 30);
  button.show();
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_FALSE(button.isChecked());
  button.setFocus();
  QTest::keyClick(&button, Qt::Key_Space);
  EXPECT_FALSE(button.isChecked());
  button.setChecked(true);
  EXPECT_TRUE(button.isChecked());
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_TRUE(button.isChecked());
}

class CountingPane : public TolvekViewController {
 public:
  CountingPane() {
    field = new LocalizedTextField(this);  // owned by the pane
    field->setText("Label");
    finishLoading();
    finishLoading();
  }
  void viewDidLoad() override { ++loads; }
  LocalizedTextField* field;
  int loads = 0;
};

TEST(TolvekViewController, FinishLoadingWakesControlsAndRunsViewDidLoadOnce) {
  CountingPane pane;
  EXPECT_EQ(pane.loads, 1);
  EXPECT_TRUE(pane.isViewLoaded());
  EXPECT_EQ(&pane.view(), &pane);
}

}  // namespace
}  // namespace ml::appkit
