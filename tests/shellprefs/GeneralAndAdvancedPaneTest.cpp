#include <QCheckBox>
#include <QComboBox>
#include <QStandardItemModel>

#include "PreferencesFixture.h"
#include "shell/preferences/AdvancedPreferenceController.h"
#include "shell/preferences/GeneralPreferenceController.h"
#include "support/FileFixtures.h"

namespace ml::shell {
namespace {

using testing::PreferencesTest;
using testing::unwritablePreferences;

using GeneralPaneTest = PreferencesTest;
using AdvancedPaneTest = PreferencesTest;

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST_F(GeneralPaneTest, NothingStoredShowsStartupNoneAndDropInfo) {
  GeneralPreferenceController pane(*preferences);
  EXPECT_EQ(pane.startupActionPopup()->currentIndex(), 0);
  EXPECT_EQ(pane.dropActionPopup()->currentIndex(), 0);
  EXPECT_EQ(pane.selectedStartupAction(), StartupAction::none);
  EXPECT_EQ(pane.selectedDropAction(), DropAction::info);
  EXPECT_FALSE(pane.hasUnsavedChanges());
}

TEST_F(GeneralPaneTest, StoredValuesSelectTheirItems) {
  preferences->set("startupAction", "find");
  preferences->set("dropAction", "rename");
  GeneralPreferenceController pane(*preferences);
  EXPECT_EQ(pane.startupActionPopup()->currentIndex(), 3);
  EXPECT_EQ(pane.dropActionPopup()->currentIndex(), 3);
  preferences->set("startupAction", "newList");
  preferences->set("dropAction", "list");
  pane.revertChanges();
  EXPECT_EQ(pane.startupActionPopup()->currentIndex(), 2);
  EXPECT_EQ(pane.dropActionPopup()->currentIndex(), 1);
}

TEST_F(GeneralPaneTest, ADropActionThatCannotBeTheDefaultShowsInfoWithOneWarningAndSavesAsInfo) {
  test::LogCapture log;
  preferences->set("dropAction", "move");
  GeneralPreferenceController pane(*preferences);
  EXPECT_EQ(pane.dropActionPopup()->currentIndex(), 0);
  std::string text = log.text();
  EXPECT_EQ(occurrences(text, "unsupported default action: move"), 1u) << text;
  EXPECT_NE(text.find("WARNING"), std::string::npos);
  // Shown, not stored: the value stays until the pane saves.
  EXPECT_EQ(preferences->string("dropAction"), "move");
  EXPECT_FALSE(pane.hasUnsavedChanges());
  EXPECT_EQ(pane.save(), std::nullopt);
  EXPECT_EQ(preferences->string("dropAction"), "info");
}

TEST_F(GeneralPaneTest, AnUnknownStoredValueShowsTheDefaultSilently) {
  test::LogCapture log;
  preferences->set("dropAction", "Info");  // raw values are case-sensitive
  preferences->set("startupAction", "later");
  GeneralPreferenceController pane(*preferences);
  EXPECT_EQ(pane.dropActionPopup()->currentIndex(), 0);
  EXPECT_EQ(pane.startupActionPopup()->currentIndex(), 0);
  EXPECT_EQ(log.text().find("unsupported default action"), std::string::npos);
}

TEST_F(GeneralPaneTest, SeparatorsCarryNoValueAndCannotBeSelected) {
  GeneralPreferenceController pane(*preferences);
  for (auto [popup, separator] : {std::pair{pane.startupActionPopup(), 1}, std::pair{pane.dropActionPopup(), 2}}) {
    ASSERT_EQ(popup->count(), 4);
    EXPECT_FALSE(popup->itemData(separator, Qt::UserRole).isValid());
    auto* model = qobject_cast<QStandardItemModel*>(popup->model());
    ASSERT_NE(model, nullptr);
    EXPECT_FALSE(model->item(separator)->isSelectable());
  }
}

TEST_F(GeneralPaneTest, UseDefaultsThenSaveStoresNoneAndInfo) {
  preferences->set("startupAction", "find");
  preferences->set("dropAction", "list");
  GeneralPreferenceController pane(*preferences);
  pane.applyDefaults();
  EXPECT_EQ(preferences->string("startupAction"), "find");  // nothing stored yet
  EXPECT_TRUE(pane.hasUnsavedChanges());
  EXPECT_EQ(pane.save(), std::nullopt);
  EXPECT_EQ(reopened()->string("startupAction"), "none");
  EXPECT_EQ(reopened()->string("dropAction"), "info");
  EXPECT_FALSE(pane.hasUnsavedChanges());
}

TEST_F(GeneralPaneTest, SavingStoresTheSelectedRawValues) {
  GeneralPreferenceController pane(*preferences);
  pane.startupActionPopup()->setCurrentIndex(2);
  pane.dropActionPopup()->setCurrentIndex(3);
  EXPECT_EQ(pane.save(), std::nullopt);
  EXPECT_EQ(reopened()->string("startupAction"), "newList");
  EXPECT_EQ(reopened()->string("dropAction"), "rename");
}

TEST_F(GeneralPaneTest, AWriteThatFailsIsReportedAndLeavesTheStoredValues) {
  auto broken = unwritablePreferences(sandbox);
  broken->set("dropAction", "list");  // in memory only
  GeneralPreferenceController pane(*broken);
  pane.dropActionPopup()->setCurrentIndex(3);
  auto error = pane.save();
  ASSERT_TRUE(error);
  EXPECT_EQ(broken->string("dropAction"), "list");
  EXPECT_EQ(broken->string("startupAction"), std::nullopt);
  EXPECT_TRUE(pane.hasUnsavedChanges());
}

TEST_F(AdvancedPaneTest, TheCheckboxFollowsTheStoredBooleanOffWhenAbsent) {
  AdvancedPreferenceController off(*preferences);
  EXPECT_FALSE(off.debugLogsCheckbox()->isChecked());
  preferences->set("debugLogs", true);
  AdvancedPreferenceController on(*preferences);
  EXPECT_TRUE(on.debugLogsCheckbox()->isChecked());
  preferences->set("debugLogs", false);
  on.revertChanges();
  EXPECT_FALSE(on.debugLogsCheckbox()->isChecked());
}

TEST_F(AdvancedPaneTest, SavingStoresTheBooleanAndDefaultsTurnItOff) {
  AdvancedPreferenceController pane(*preferences);
  pane.debugLogsCheckbox()->setChecked(true);
  EXPECT_TRUE(pane.hasUnsavedChanges());
  EXPECT_EQ(pane.save(), std::nullopt);
  EXPECT_EQ(reopened()->boolean("debugLogs"), true);
  EXPECT_EQ(reopened()->object("debugLogs"), foundation::PlistValue(true));
  pane.applyDefaults();
  EXPECT_FALSE(pane.debugLogsCheckbox()->isChecked());
  EXPECT_EQ(reopened()->boolean("debugLogs"), true);
  EXPECT_EQ(pane.save(), std::nullopt);
  EXPECT_EQ(reopened()->boolean("debugLogs"), false);
}

}  // namespace
}  // namespace ml::shell
