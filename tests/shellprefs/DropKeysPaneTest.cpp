#include "shell/preferences/DropKeysPreferenceController.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include "PreferencesFixture.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/ManualClock.h"
#include "support/ManualMainLoop.h"
#include "shell/DropActions.h"
#include "shell/preferences/DropKeyBindingSheet.h"
#include "shell/preferences/DropKeyField.h"
#include "support/FileFixtures.h"

namespace ml::shell {
namespace {

using testing::PreferencesTest;
using testing::unwritablePreferences;

class DropKeysPaneTest : public PreferencesTest {
 protected:
  std::unique_ptr<DropKeysPreferenceController> makePane(foundation::Preferences& store) {
    auto pane = std::make_unique<DropKeysPreferenceController>(store, usage);
    pane->setSheetTiming(clock, queue);
    pane->show();
    return pane;
  }
  std::unique_ptr<DropKeysPreferenceController> makePane() { return makePane(*preferences); }

  // Opens the sheet of the action at `tag`, types the key with the modifiers and saves.
  void bind(DropKeysPreferenceController& pane, int tag, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    QPointer<DropKeyBindingSheet> sheet = pane.setBinding(tag);
    ASSERT_TRUE(sheet);
    QTest::keyClick(sheet.data(), key, modifiers);
    sheet->save();
  }

  // The action a launch with these keys held chooses, with the preferences read afresh.
  DropAction chosenAtNextLaunch(const appkit::HeldKeys& held) {
    return chooseDropAction(DropKeys{held.characters(), ModifierKeys::fromPlatform(held.modifiers)}, *reopened());
  }

  // The modifier debouncing runs in virtual time; its firings go to the hand-driven main loop.
  void advance(dispatch::Duration by) {
    clock.advance(by);
    loop.drain();
  }

  test::ManualMainLoop loop;
  dispatch::ManualClock clock;
  dispatch::Queue& queue = dispatch::MainQueue::shared();
};

appkit::HeldKeys held(std::string characters, appkit::PlatformModifiers modifiers = {}) {
  appkit::HeldKeys keys;
  keys.keys.push_back(appkit::HeldKey{45, std::move(characters)});
  keys.modifiers = modifiers;
  keys.fromKeymap = true;
  return keys;
}

TEST_F(DropKeysPaneTest, NothingStoredShowsTheBuiltInBindingsAndSavesAnEmptyArray) {
  auto pane = makePane();
  EXPECT_EQ(pane->field(DropAction::info)->text(), QStringLiteral("I"));
  EXPECT_EQ(pane->field(DropAction::copy)->objectValue(), defaultKey(DropAction::copy));
  EXPECT_FALSE(pane->hasUnsavedChanges());
  EXPECT_EQ(pane->save(), std::nullopt);
  EXPECT_EQ(storedDropKeys(), "[]");
}

TEST_F(DropKeysPaneTest, UseDefaultsThenSaveStoresAnEmptyArray) {
  storeDropKeys(R"(["list",{"characters":"K","modifiers":1},"copy",{"characters":"X"}])");
  auto pane = makePane();
  EXPECT_EQ(pane->field(DropAction::list)->text(), QString::fromUtf8("\u2318 K"));
  pane->applyDefaults();
  EXPECT_EQ(pane->field(DropAction::list)->text(), QStringLiteral("L"));
  EXPECT_TRUE(storedDropKeys()->find("list") != std::string::npos);  // nothing stored yet
  EXPECT_EQ(pane->save(), std::nullopt);
  EXPECT_EQ(storedDropKeys(), "[]");
}

TEST_F(DropKeysPaneTest, CtrlShiftKForListIsStoredAsCommandShiftK) {
  auto pane = makePane();
  bind(*pane, 1, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(pane->field(DropAction::list)->text(), QString::fromUtf8("\u2318\u21E7 K"));
  EXPECT_TRUE(pane->hasUnsavedChanges());
  EXPECT_EQ(pane->save(), std::nullopt);
  EXPECT_EQ(storedDropKeys(), R"(["list",{"characters":"K","modifiers":5}])");
  EXPECT_FALSE(pane->hasUnsavedChanges());
}

TEST_F(DropKeysPaneTest, AfterARestartHoldingTheSavedBindingChoosesItsAction) {
  auto pane = makePane();
  bind(*pane, 1, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_EQ(pane->save(), std::nullopt);
  appkit::PlatformModifiers ctrlShift;
  ctrlShift.control = true;
  ctrlShift.shift = true;
  EXPECT_EQ(chosenAtNextLaunch(held("k", ctrlShift)), DropAction::list);
  // The built-in L alone still lists; K alone means nothing and falls back to info.
  EXPECT_EQ(chosenAtNextLaunch(held("l")), DropAction::list);
  EXPECT_EQ(chosenAtNextLaunch(held("k")), DropAction::info);
}

// Two actions on the same keys cannot both work (a drop runs one): the sheet refuses the keys,
// names the action that has them, and stays open for others.
TEST_F(DropKeysPaneTest, KeysAnotherActionUsesAreRefusedInTheSheetNamingThatAction) {
  auto pane = makePane();
  QPointer<DropKeyBindingSheet> sheet = pane->setBinding(2);
  QTest::keyClick(sheet.data(), Qt::Key_I);
  sheet->save();
  ASSERT_TRUE(sheet);
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_TRUE(sheet->refusalText().contains(QStringLiteral("\u201CShow info\u201D already uses these keys")))
      << sheet->refusalText().toStdString();
  EXPECT_EQ(pane->field(DropAction::rename)->text(), QStringLiteral("R"));

  QTest::keyClick(sheet.data(), Qt::Key_K);
  EXPECT_TRUE(sheet->refusalText().isEmpty());
  sheet->save();
  EXPECT_EQ(pane->field(DropAction::rename)->text(), QStringLiteral("K"));
  // Now K is taken: list cannot have it, with or without the built-in L.
  bind(*pane, 1, Qt::Key_K);
  EXPECT_EQ(pane->field(DropAction::list)->text(), QStringLiteral("L"));
  ASSERT_EQ(pane->save(), std::nullopt);
  EXPECT_EQ(storedDropKeys(), R"(["rename",{"characters":"K","modifiers":0}])");
}

TEST_F(DropKeysPaneTest, ALetterAloneDiffersFromTheBuiltInBindingByItsEmptyModifiers) {
  auto pane = makePane();
  bind(*pane, 2, Qt::Key_R);
  EXPECT_EQ(pane->save(), std::nullopt);
  EXPECT_EQ(storedDropKeys(), R"(["rename",{"characters":"R","modifiers":0}])");
}

TEST_F(DropKeysPaneTest, ASpaceBarBindingIsStoredAsASpaceShownAsSpaceAndMatchesAHeldSpaceBar) {
  auto pane = makePane();
  bind(*pane, 4, Qt::Key_Space);
  EXPECT_EQ(pane->field(DropAction::copy)->text(), QStringLiteral("space"));
  ASSERT_EQ(pane->save(), std::nullopt);
  EXPECT_EQ(storedDropKeys(), R"(["copy",{"characters":" ","modifiers":0}])");
  EXPECT_EQ(chosenAtNextLaunch(held(" ")), DropAction::copy);

  auto reloaded = makePane(*reopened());
  EXPECT_EQ(reloaded->field(DropAction::copy)->text(), QStringLiteral("space"));
}

TEST_F(DropKeysPaneTest, AStoredSpaceWordReadsAsTheSpaceBar) {
  storeDropKeys(R"(["move",{"characters":"space","modifiers":4}])");
  auto pane = makePane();
  EXPECT_EQ(pane->field(DropAction::move)->objectValue(), (DropKeys{" ", ModifierKeys::shift}));
  EXPECT_EQ(pane->field(DropAction::move)->text(), QString::fromUtf8("\u21E7 space"));
  appkit::PlatformModifiers shift;
  shift.shift = true;
  EXPECT_EQ(chosenAtNextLaunch(held(" ", shift)), DropAction::move);
}

TEST_F(DropKeysPaneTest, StoredBindingsFillTheirFieldsAndTheRestShowBuiltIns) {
  storeDropKeys(R"(["copy",{"characters":"X","modifiers":2},"info",{"modifiers":8}])");
  auto pane = makePane();
  EXPECT_EQ(pane->field(DropAction::copy)->text(), QString::fromUtf8("\u2325 X"));
  EXPECT_EQ(pane->field(DropAction::info)->text(), QString::fromUtf8("\u2303"));
  EXPECT_EQ(pane->field(DropAction::rename)->text(), QStringLiteral("R"));
  // Saving untouched fields writes the same bindings back.
  EXPECT_EQ(pane->save(), std::nullopt);
  EXPECT_EQ(storedDropKeys(), R"(["info",{"modifiers":8},"copy",{"characters":"X","modifiers":2}])");
}

TEST_F(DropKeysPaneTest, AnUndecodableValueKeepsTheFieldsAndLogsOneError) {
  for (const char* stored : {"not json", R"(["fly",{"characters":"F"}])"}) {
    test::LogCapture log;
    storeDropKeys(stored);
    auto pane = makePane();
    EXPECT_EQ(pane->field(DropAction::list)->text(), QStringLiteral("L")) << stored;
    std::string text = log.text();
    auto first = text.find("failed to load settings: ");
    EXPECT_NE(first, std::string::npos) << stored;
    EXPECT_EQ(text.find("failed to load settings: ", first + 1), std::string::npos) << stored;
  }
}

TEST_F(DropKeysPaneTest, RevertBringsBackTheStoredBindings) {
  storeDropKeys(R"(["list",{"characters":"K","modifiers":1}])");
  auto pane = makePane();
  bind(*pane, 1, Qt::Key_J);
  bind(*pane, 0, Qt::Key_J);
  pane->revertChanges();
  EXPECT_EQ(pane->field(DropAction::list)->text(), QString::fromUtf8("\u2318 K"));
  EXPECT_EQ(pane->field(DropAction::info)->text(), QStringLiteral("I"));
  EXPECT_FALSE(pane->hasUnsavedChanges());
}

TEST_F(DropKeysPaneTest, TheFourUnsupportedActionsAreHiddenAndNeverStored) {
  auto pane = makePane();
  for (DropAction action : {DropAction::group, DropAction::alias, DropAction::similar, DropAction::ask}) {
    EXPECT_TRUE(pane->field(action)->isHidden()) << action;
    EXPECT_TRUE(pane->button(action)->isHidden()) << action;
  }
  bind(*pane, 6, Qt::Key_Q);
  EXPECT_EQ(pane->field(DropAction::alias)->text(), QStringLiteral("Q"));
  EXPECT_FALSE(pane->hasUnsavedChanges());
  EXPECT_EQ(pane->save(), std::nullopt);
  EXPECT_EQ(storedDropKeys(), "[]");
}

TEST_F(DropKeysPaneTest, EachButtonOpensTheSheetForItsOwnAction) {
  auto pane = makePane();
  QTest::mouseClick(pane->button(DropAction::move), Qt::LeftButton);
  auto* sheet = pane->findChild<DropKeyBindingSheet*>();
  ASSERT_NE(sheet, nullptr);
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_EQ(sheet->findChild<QLabel*>(QStringLiteral("actionName"))->text(), QStringLiteral("Move to a folder"));
  QTest::keyClick(sheet, Qt::Key_V, Qt::AltModifier);
  sheet->save();
  EXPECT_EQ(pane->field(DropAction::move)->text(), QString::fromUtf8("\u2325 V"));
  EXPECT_EQ(pane->setBinding(9), nullptr);
  EXPECT_EQ(pane->setBinding(-1), nullptr);
}

TEST_F(DropKeysPaneTest, AnEncodingFailureIsLoggedTrackedAndStoresNothing) {
  test::LogCapture log;
  storeDropKeys(R"(["list",{"characters":"K","modifiers":1}])");
  auto pane = makePane();
  pane->field(DropAction::copy)->setObjectValue(DropKeys{"\xFF", ModifierKeys()});
  auto error = pane->save();
  ASSERT_TRUE(error);
  EXPECT_EQ(storedDropKeys(), R"(["list",{"characters":"K","modifiers":1}])");
  ASSERT_EQ(usage->events().size(), 1u);
  EXPECT_EQ(usage->events()[0].first, "dropkey-save-failure");
  EXPECT_NE(log.text().find("failed to write dropkeys to settings. settings="), std::string::npos);
  EXPECT_TRUE(pane->hasUnsavedChanges());
}

TEST_F(DropKeysPaneTest, AWriteFailureIsTrackedAndLeavesTheEarlierValue) {
  auto broken = unwritablePreferences(sandbox);
  auto pane = makePane(*broken);
  bind(*pane, 1, Qt::Key_K, Qt::ControlModifier);
  ASSERT_TRUE(pane->save());
  EXPECT_EQ(broken->data("dropkeys"), std::nullopt);
  ASSERT_EQ(usage->events().size(), 1u);
  EXPECT_EQ(usage->events()[0].first, "dropkey-save-failure");
}

}  // namespace
}  // namespace ml::shell
