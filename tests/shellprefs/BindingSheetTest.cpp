#include "shell/preferences/DropKeyBindingSheet.h"

#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>

#include "PreferencesFixture.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/ManualClock.h"
#include "shell/DropKeyBindings.h"
#include "support/ManualMainLoop.h"

namespace ml::shell {
namespace {

using testing::PreferencesTest;

using namespace std::chrono_literals;

constexpr Qt::KeyboardModifiers kCtrlShift = Qt::ControlModifier | Qt::ShiftModifier;

class BindingSheetTest : public PreferencesTest {
 protected:
  BindingSheetTest() { window.show(); }

  QPointer<DropKeyBindingSheet> open() {
    auto* sheet = new DropKeyBindingSheet(&window, clock, queue);  // owned by `window`
    sheet->setCallback([this](const DropKeys& keys) { received.push_back(keys); });
    sheet->beginSheet();
    return sheet;
  }

  // A key event as the toolkit delivers it, through the application's event filters.
  static void send(QWidget* to, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers, const QString& text = {}) {
    QKeyEvent event(type, key, modifiers, text);
    QApplication::sendEvent(to, &event);
  }

  // The modifier debouncing runs in virtual time; its firings go to the hand-driven main loop.
  void advance(dispatch::Duration by) {
    clock.advance(by);
    loop.drain();
  }

  test::ManualMainLoop loop;
  dispatch::ManualClock clock;
  dispatch::Queue& queue = dispatch::MainQueue::shared();
  std::vector<DropKeys> received;
  // Last: the sheets it owns hold timers on `clock` and the loop, so it goes before them.
  QWidget window;
};

TEST_F(BindingSheetTest, CtrlShiftKShowsTheGlyphsAndTheLetterAndSavesCommandShiftK) {
  auto sheet = open();
  QTest::keyClick(sheet.data(), Qt::Key_K, kCtrlShift);
  EXPECT_EQ(sheet->combinationText(), QString::fromUtf8("\u2318\u21E7 K"));
  advance(1s);  // both modifiers were let go together: the combination stays
  EXPECT_EQ(sheet->combinationText(), QString::fromUtf8("\u2318\u21E7 K"));
  sheet->save();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], (DropKeys{"K", ModifierKeys(5)}));
  EXPECT_TRUE(sheet->isHidden());
}

TEST_F(BindingSheetTest, EscAndTabAreNeverCaptured) {
  auto sheet = open();
  QTest::keyClick(sheet.data(), Qt::Key_K, kCtrlShift);
  QTest::keyClick(sheet.data(), Qt::Key_Tab);
  QTest::keyClick(sheet.data(), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(sheet->letters(), std::vector<std::string>{"K"});
  EXPECT_EQ(sheet->modifiers(), kCtrlShift);
  // Esc keeps its meaning: it cancels the sheet, and nothing is handed over.
  QTest::keyClick(sheet.data(), Qt::Key_Escape);
  EXPECT_EQ(sheet->letters(), std::vector<std::string>{"K"});
  EXPECT_TRUE(sheet->isHidden());
  EXPECT_TRUE(received.empty());
}

TEST_F(BindingSheetTest, TheSpaceBarShowsAsSpaceAndIsHandedOverAsASpace) {
  auto sheet = open();
  QTest::keyClick(sheet.data(), Qt::Key_Space);
  EXPECT_EQ(sheet->letters(), std::vector<std::string>{"space"});
  EXPECT_EQ(sheet->combinationText(), QStringLiteral("space"));
  sheet->save();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], (DropKeys{" ", ModifierKeys()}));
}

TEST_F(BindingSheetTest, KeysThatTypeNoLetterOrDigitClearTheLettersAndKeepTheirModifiers) {
  auto sheet = open();
  QTest::keyClick(sheet.data(), Qt::Key_K);
  QTest::keyClick(sheet.data(), Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_TRUE(sheet->letters().empty());
  EXPECT_EQ(sheet->combinationText(), QString::fromUtf8("\u21E7"));
  QTest::keyClick(sheet.data(), Qt::Key_Comma);
  EXPECT_TRUE(sheet->letters().empty());
  sheet->save();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], (DropKeys{std::nullopt, ModifierKeys()}));
  EXPECT_TRUE(sheet->isHidden());
}

TEST_F(BindingSheetTest, LettersAreUpperCasedDigitsKeptAndEachPressReplacesTheLast) {
  auto sheet = open();
  QTest::keyClick(sheet.data(), Qt::Key_A);
  QTest::keyClick(sheet.data(), Qt::Key_7, Qt::AltModifier);
  EXPECT_EQ(sheet->letters(), std::vector<std::string>{"7"});
  EXPECT_EQ(sheet->combinationText(), QString::fromUtf8("\u2325 7"));
  send(sheet.data(), QEvent::KeyPress, Qt::Key_Adiaeresis, Qt::NoModifier, QStringLiteral("\u00E4"));
  EXPECT_EQ(sheet->letters(), std::vector<std::string>{"\u00C4"});
  EXPECT_EQ(sheet->capturedKeys(), (DropKeys{"\u00C4", ModifierKeys()}));
}

TEST_F(BindingSheetTest, ThePlatformModifiersMapToTheBindingsModifiers) {
  auto sheet = open();
  QTest::keyClick(sheet.data(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier | Qt::ShiftModifier);
  // Sheet order: control (Super), option (Alt), command (Ctrl), shift.
  EXPECT_EQ(sheet->combinationText(), QString::fromUtf8("\u2303\u2325\u2318\u21E7 K"));
  EXPECT_EQ(sheet->capturedKeys().modifiers, ModifierKeys(15));
}

TEST_F(BindingSheetTest, PressingAModifierShowsItAtOnce) {
  auto sheet = open();
  send(sheet.data(), QEvent::KeyPress, Qt::Key_Control, Qt::NoModifier);  // state before the key
  EXPECT_EQ(sheet->combinationText(), QString::fromUtf8("\u2318"));
  send(sheet.data(), QEvent::KeyPress, Qt::Key_Shift, Qt::ControlModifier | Qt::ShiftModifier);  // or after it
  EXPECT_EQ(sheet->combinationText(), QString::fromUtf8("\u2318\u21E7"));
}

TEST_F(BindingSheetTest, APartialReleaseIsAdoptedOnlyOnceItHasLasted) {
  auto sheet = open();
  QTest::keyPress(sheet.data(), Qt::Key_K, kCtrlShift);
  send(sheet.data(), QEvent::KeyRelease, Qt::Key_K, kCtrlShift);
  send(sheet.data(), QEvent::KeyRelease, Qt::Key_Shift, kCtrlShift);  // Ctrl still held
  advance(49ms);
  EXPECT_EQ(sheet->modifiers(), kCtrlShift);
  advance(1ms);
  EXPECT_EQ(sheet->modifiers(), Qt::ControlModifier);
  EXPECT_EQ(sheet->combinationText(), QString::fromUtf8("\u2318 K"));
}

TEST_F(BindingSheetTest, ReleasingEverythingKeepsTheLastCombination) {
  auto sheet = open();
  QTest::keyPress(sheet.data(), Qt::Key_K, kCtrlShift);
  send(sheet.data(), QEvent::KeyRelease, Qt::Key_K, kCtrlShift);
  send(sheet.data(), QEvent::KeyRelease, Qt::Key_Shift, kCtrlShift);
  advance(20ms);
  send(sheet.data(), QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier);
  advance(1s);
  EXPECT_EQ(sheet->modifiers(), kCtrlShift);
}

TEST_F(BindingSheetTest, CancelHandsNothingOverAndTheSheetStopsWatchingKeys) {
  auto sheet = open();
  QTest::keyClick(sheet.data(), Qt::Key_K);
  sheet->cancel();
  EXPECT_TRUE(received.empty());
  EXPECT_TRUE(sheet->isHidden());
  // Keys reaching the closed sheet are its own again.
  QTest::keyClick(sheet.data(), Qt::Key_L);
  EXPECT_EQ(sheet->letters(), std::vector<std::string>{"K"});
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(sheet.isNull());
}

TEST_F(BindingSheetTest, KeysOfOtherWindowsAreLeftAlone) {
  auto sheet = open();
  QWidget other;
  other.show();
  QTest::keyClick(&other, Qt::Key_K);
  EXPECT_TRUE(sheet->letters().empty());
}

TEST_F(BindingSheetTest, TheButtonsSaveAndCancel) {
  auto sheet = open();
  QTest::keyClick(sheet.data(), Qt::Key_R);
  auto* save = sheet->findChild<QPushButton*>(QStringLiteral("saveButton"));
  ASSERT_NE(save, nullptr);
  QTest::mouseClick(save, Qt::LeftButton);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], (DropKeys{"R", ModifierKeys()}));

  auto second = open();
  QTest::keyClick(second.data(), Qt::Key_R);
  QTest::mouseClick(second->findChild<QPushButton*>(QStringLiteral("cancelButton")), Qt::LeftButton);
  EXPECT_EQ(received.size(), 1u);
  EXPECT_TRUE(second->isHidden());
}

// Shift with a digit: the toolkit names the key by the symbol Shift made ("!"), while a drop reads
// the key's own character from the keyboard map ("1"). The sheet records what the drop will read,
// so the stored binding chooses its action at the drop.
TEST_F(BindingSheetTest, ShiftWithADigitIsRecordedAsADropReadsItAndChoosesItsAction) {
  auto sheet = open();
  // A US map: keycode 10 types "1", 20 types "-", 36 (Return) types nothing.
  sheet->setKeyText([](std::uint32_t code) -> std::optional<std::string> {
    if (code == 10) return "1";
    if (code == 20) return "-";
    if (code == 36) return "";
    return std::nullopt;
  });
  auto press = [&](int key, Qt::KeyboardModifiers modifiers, std::uint32_t code, const QString& text) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers, code, 0, 0, text);
    QApplication::sendEvent(sheet.data(), &event);
  };
  press(Qt::Key_Underscore, Qt::ShiftModifier, 20, QStringLiteral("_"));
  EXPECT_TRUE(sheet->letters().empty());  // "-" is no letter or digit
  press(Qt::Key_Exclam, Qt::ShiftModifier, 10, QStringLiteral("!"));
  EXPECT_EQ(sheet->letters(), std::vector<std::string>{"1"});
  EXPECT_EQ(sheet->combinationText(), QString::fromUtf8("\u21E7 1"));
  sheet->save();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], (DropKeys{"1", ModifierKeys(4)}));

  auto stored = decodeDropKeyBindings(encodeDropKeyBindings({{DropAction::list, received[0]}}));
  ASSERT_TRUE(stored);
  appkit::HeldKeys atDrop;  // Shift and the 1 key held, read from the map at level 0
  atDrop.keys = {{10, "1"}, {50, ""}};
  atDrop.modifiers.shift = true;
  atDrop.fromKeymap = true;
  EXPECT_EQ(boundAction(*stored, DropKeys{atDrop.characters(), ModifierKeys::fromPlatform(atDrop.modifiers)}),
            DropAction::list);
}

TEST(BindingSheetDescription, NamesTheFlagsInTheLogOrder) {
  EXPECT_EQ(DropKeyBindingSheet::describe({}), "[]");
  EXPECT_EQ(DropKeyBindingSheet::describe(Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier),
            "[.command,.control,.shift,.option]");
}

}  // namespace
}  // namespace ml::shell
