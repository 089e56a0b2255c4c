#include "shell/preferences/PreferencesController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMainWindow>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "PreferencesFixture.h"
#include "shell/core/ApplicationEvents.h"
#include "shell/preferences/AdvancedPreferenceController.h"
#include "shell/preferences/DropKeyField.h"
#include "shell/preferences/DropKeysPreferenceController.h"
#include "shell/preferences/GeneralPreferenceController.h"
#include "support/FileFixtures.h"

namespace ml::shell {
namespace {

using testing::PreferencesTest;
using testing::unwritablePreferences;

constexpr int kSave = appkit::kFirstButtonReturn;
constexpr int kDontSave = appkit::kFirstButtonReturn + 1;
constexpr int kCancel = appkit::kFirstButtonReturn + 2;

class PreferencesWindowTest : public PreferencesTest {
 protected:
  std::shared_ptr<PreferencesController> open(foundation::Preferences& store) {
    PreferencesController::Services services;
    services.preferences = &store;
    services.alerts = alerts;
    services.usageEvents = usage;
    services.announce = [this](std::shared_ptr<const store::Event> event) { announced.push_back(std::move(event)); };
    auto controller = PreferencesController::make(std::move(services));
    controller->show();
    return controller;
  }
  std::shared_ptr<PreferencesController> open() { return open(*preferences); }

  std::size_t closingsOf(const std::shared_ptr<PreferencesController>& controller) const {
    std::size_t count = 0;
    for (const auto& event : announced) {
      auto* closed = event->as<ApplicationEvents::WindowClosed>();
      if (closed && closed->controller == controller) ++count;
    }
    return count;
  }

  std::vector<std::shared_ptr<const store::Event>> announced;
};

TEST_F(PreferencesWindowTest, OpensOnTheGeneralPaneWithTheDefaults) {
  auto controller = open();
  EXPECT_EQ(controller->window()->windowTitle(), QStringLiteral("Preferences"));
  EXPECT_EQ(controller->activePane(), controller->general());
  EXPECT_EQ(controller->tabContainer()->currentIndex(), 0);
  EXPECT_EQ(controller->general()->selectedStartupAction(), StartupAction::none);
  EXPECT_EQ(controller->general()->selectedDropAction(), DropAction::info);
  EXPECT_FALSE(controller->advanced()->debugLogsCheckbox()->isChecked());
  EXPECT_EQ(controller->typeName(), "PreferencesController");
  EXPECT_TRUE(announced.empty());  // the opening is the showing command's to announce
}

TEST_F(PreferencesWindowTest, TabsSwitchTheActivePaneByTheirLabels) {
  auto controller = open();
  QTabWidget* tabs = controller->tabContainer();
  ASSERT_EQ(tabs->count(), 3);
  tabs->setCurrentIndex(1);
  EXPECT_EQ(controller->activePane(), controller->dropKeys());
  tabs->setCurrentIndex(2);
  EXPECT_EQ(controller->activePane(), controller->advanced());
  // A tab the window does not know leaves the active pane as it was.
  tabs->addTab(new QWidget, QStringLiteral("Other"));  // owned by the tab widget
  tabs->setCurrentIndex(3);
  EXPECT_EQ(controller->activePane(), controller->advanced());
  tabs->setCurrentIndex(0);
  EXPECT_EQ(controller->activePane(), controller->general());
}

TEST_F(PreferencesWindowTest, UseDefaultsResetsOnlyTheActivePaneAndStoresNothing) {
  preferences->set("startupAction", "find");
  preferences->set("debugLogs", true);
  auto controller = open();
  controller->useDefaults();
  EXPECT_EQ(controller->general()->selectedStartupAction(), StartupAction::none);
  EXPECT_TRUE(controller->advanced()->debugLogsCheckbox()->isChecked());
  EXPECT_EQ(preferences->string("startupAction"), "find");
}

TEST_F(PreferencesWindowTest, SaveStoresTheActivePaneAndTheEditsOfOtherPanesThenClosesAnnouncingItOnce) {
  auto controller = open();
  controller->general()->startupActionPopup()->setCurrentIndex(2);
  controller->tabContainer()->setCurrentIndex(2);
  controller->advanced()->debugLogsCheckbox()->setChecked(true);
  QTest::mouseClick(controller->window()->findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);

  auto stored = reopened();
  EXPECT_EQ(stored->boolean("debugLogs"), true);
  EXPECT_EQ(stored->string("startupAction"), "newList");
  EXPECT_EQ(stored->string("dropAction"), "info");
  // Untouched panes are not written.
  EXPECT_EQ(stored->data("dropkeys"), std::nullopt);
  EXPECT_FALSE(controller->window()->isVisible());
  EXPECT_EQ(closingsOf(controller), 1u);
  EXPECT_TRUE(alerts->shown().empty());
}

TEST_F(PreferencesWindowTest, SaveOnTheDropKeysTabStoresItsBindingsEvenWhenUntouched) {
  auto controller = open();
  controller->tabContainer()->setCurrentIndex(1);
  controller->saveChanges();
  EXPECT_EQ(reopened()->data("dropkeys"), foundation::PlistValue::Data({'[', ']'}));
  EXPECT_EQ(reopened()->string("startupAction"), std::nullopt);
}

TEST_F(PreferencesWindowTest, ClosingWithEditsAsksAndDontSaveDropsThem) {
  auto controller = open();
  controller->advanced()->debugLogsCheckbox()->setChecked(true);
  alerts->answer(kDontSave);
  controller->window()->close();
  ASSERT_EQ(alerts->shown().size(), 1u);
  EXPECT_EQ(alerts->shown()[0].messageText, "Do you want to save the changes you made to the preferences?");
  EXPECT_EQ(alerts->shown()[0].buttons, (std::vector<std::string>{"Save", "Don't Save", "Cancel"}));
  EXPECT_FALSE(controller->window()->isVisible());
  EXPECT_EQ(reopened()->boolean("debugLogs"), std::nullopt);
  EXPECT_EQ(closingsOf(controller), 1u);
}

TEST_F(PreferencesWindowTest, ClosingWithEditsAndAnsweringSaveStoresThem) {
  auto controller = open();
  controller->general()->dropActionPopup()->setCurrentIndex(1);
  alerts->answer(kSave);
  controller->window()->close();
  EXPECT_EQ(reopened()->string("dropAction"), "list");
  EXPECT_FALSE(controller->window()->isVisible());
  EXPECT_EQ(closingsOf(controller), 1u);
}

TEST_F(PreferencesWindowTest, ClosingWithEditsAndAnsweringCancelKeepsTheWindowAndItsEdits) {
  auto controller = open();
  controller->general()->dropActionPopup()->setCurrentIndex(3);
  alerts->answer(kCancel);
  controller->window()->close();
  EXPECT_TRUE(controller->window()->isVisible());
  EXPECT_EQ(controller->general()->selectedDropAction(), DropAction::rename);
  EXPECT_EQ(preferences->string("dropAction"), std::nullopt);
  EXPECT_EQ(closingsOf(controller), 0u);
}

TEST_F(PreferencesWindowTest, ClosingWithoutEditsNeitherAsksNorStoresAndAnnouncesTheClosing) {
  auto controller = open();
  controller->window()->close();
  EXPECT_TRUE(alerts->shown().empty());
  EXPECT_FALSE(controller->window()->isVisible());
  EXPECT_EQ(closingsOf(controller), 1u);
  EXPECT_TRUE(preferences->values().empty());
}

// Escape closes the window as its close button does, asking about edits first.
TEST_F(PreferencesWindowTest, EscapeClosesTheWindowAskingAboutEditsFirst) {
  auto controller = open();
  controller->general()->dropActionPopup()->setCurrentIndex(3);
  alerts->answer(kCancel);
  QTest::keyClick(controller->general()->dropActionPopup(), Qt::Key_Escape);
  EXPECT_TRUE(controller->window()->isVisible());
  alerts->answer(kDontSave);
  QTest::keyClick(controller->window(), Qt::Key_Escape);
  EXPECT_EQ(alerts->shown().size(), 2u);
  EXPECT_FALSE(controller->window()->isVisible());
}

TEST_F(PreferencesWindowTest, AFailedSaveShowsTheAlertKeepsTheWindowAndALaterSaveAnnouncesOnce) {
  test::LogCapture log;
  auto blocker = sandbox.root() / "blocked";
  auto broken = unwritablePreferences(sandbox);
  auto controller = open(*broken);
  controller->tabContainer()->setCurrentIndex(1);
  controller->saveChanges();

  ASSERT_EQ(alerts->shown().size(), 1u);
  EXPECT_EQ(alerts->shown()[0].messageText, "Failed to save preferences");
  EXPECT_EQ(alerts->shown()[0].style, appkit::Alert::Style::critical);
  EXPECT_EQ(alerts->shown()[0].buttons, std::vector<std::string>{"OK"});
  EXPECT_NE(log.text().find("failed to save setting. pane=dropkeys error="), std::string::npos);
  ASSERT_EQ(usage->events().size(), 1u);
  EXPECT_EQ(usage->events()[0].first, "dropkey-save-failure");
  EXPECT_TRUE(controller->window()->isVisible());
  EXPECT_EQ(closingsOf(controller), 0u);

  std::filesystem::remove(blocker);
  std::filesystem::create_directory(blocker);
  controller->saveChanges();
  EXPECT_FALSE(controller->window()->isVisible());
  EXPECT_EQ(closingsOf(controller), 1u);
  EXPECT_EQ(alerts->shown().size(), 1u);
}

TEST_F(PreferencesWindowTest, AFailingOtherPaneIsShownAndKeepsItsEdits) {
  auto broken = unwritablePreferences(sandbox);
  auto controller = open(*broken);
  controller->advanced()->debugLogsCheckbox()->setChecked(true);
  controller->saveChanges();  // the general pane is active; the advanced one has the edit
  EXPECT_EQ(alerts->shown().size(), 1u);
  EXPECT_EQ(controller->tabContainer()->currentIndex(), 0);  // the active pane failed first
  EXPECT_TRUE(controller->advanced()->hasUnsavedChanges());
  EXPECT_TRUE(controller->window()->isVisible());
}

}  // namespace
}  // namespace ml::shell
