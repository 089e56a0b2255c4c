// The rename dialog as the user drives it: typing and choosing fire events, the subscribers
// show, hide, enable and fill the controls and the preview, and the sheet ends with its codes.
#include <gtest/gtest.h>

#include "RenameWindowsFixture.h"
#include "platform/dispatch/ManualClock.h"
#include "rename/dialog/PreviewUpdater.h"

namespace ml::rename {
namespace {

using testing::RenameWindowsTest;

class RenameDialogTest : public RenameWindowsTest {
 protected:
  std::shared_ptr<RenameDialog> open(const std::vector<std::string>& names) {
    delegate();
    auto dialog = std::make_shared<RenameDialog>(testing::makeItems(folder, names), delegate().windowContext());
    dialogs.push_back(dialog);
    dialog->show();
    sync(*dialog);
    return dialog;
  }
};

TEST_F(RenameDialogTest, TypingUpdatesThePreviewAtEachKeystroke) {
  auto dialog = open({"IMG_1.jpg", "IMG_2.jpg", "notes.txt"});
  QWidget* w = dialog->window();
  EXPECT_EQ(previewNewNames(w), (std::vector<std::string>{"", "", ""}));
  type(w, "nameValue", "IMG_");
  type(w, "replacementValue", "Photo ");
  sync(*dialog);
  EXPECT_EQ(dialog->reactor().state().pattern, "IMG_");
  EXPECT_EQ(previewNewNames(w), (std::vector<std::string>{"Photo 1.jpg", "Photo 2.jpg", "notes.txt"}));
  EXPECT_TRUE(child<QPushButton>(w, "executeButton")->isEnabled());
  auto* table = child<QTableView>(w, "previewTable");
  EXPECT_EQ(table->model()->index(0, 0).data().toString(), "IMG_1.jpg");
  EXPECT_EQ(table->model()->headerData(2, Qt::Horizontal, Qt::UserRole).toString(), "updated");
}

TEST_F(RenameDialogTest, EmptiedReplacementInvalidatesReplaceText) {
  auto dialog = open({"a.txt"});
  QWidget* w = dialog->window();
  type(w, "nameValue", "a");
  type(w, "replacementValue", "b");
  sync(*dialog);
  EXPECT_TRUE(child<QPushButton>(w, "executeButton")->isEnabled());
  clearField(w, "replacementValue");
  sync(*dialog);
  EXPECT_FALSE(dialog->reactor().state().replacement.has_value());
  EXPECT_FALSE(child<QPushButton>(w, "executeButton")->isEnabled());
  EXPECT_EQ(previewNewNames(w), std::vector<std::string>{""});
}

TEST_F(RenameDialogTest, LengthFieldWithoutDigitsMakesNoRuleAndBlanksThePreview) {
  auto dialog = open({"photograph.jpeg"});
  QWidget* w = dialog->window();
  choose(w, "nameModificationType", 5);  // no change
  type(w, "maxNameLengthField", "10");
  sync(*dialog);
  EXPECT_TRUE(child<QAbstractButton>(w, "shortenNamesCheckbox")->isChecked());
  EXPECT_EQ(previewNewNames(w), std::vector<std::string>{"photo.jpeg"});
  clearField(w, "maxNameLengthField");
  type(w, "maxNameLengthField", "ab");
  sync(*dialog);
  EXPECT_EQ(dialog->reactor().state().maxNameLength, std::optional<std::int64_t>(0));
  EXPECT_EQ(previewNewNames(w), std::vector<std::string>{""});
  EXPECT_FALSE(child<QPushButton>(w, "executeButton")->isEnabled());
}

TEST_F(RenameDialogTest, PrefixPopupShowsAndHidesThePrefixField) {
  auto dialog = open({"a.txt"});
  QWidget* w = dialog->window();
  choose(w, "nameModificationType", 5);
  type(w, "prefixField", "new-");
  sync(*dialog);
  EXPECT_EQ(previewNewNames(w), std::vector<std::string>{"new-a.txt"});
  choose(w, "prefixPopup", 1);
  sync(*dialog);
  EXPECT_TRUE(child<QLineEdit>(w, "prefixField")->isHidden());
  EXPECT_EQ(previewNewNames(w), std::vector<std::string>{"a.txt"});
  choose(w, "prefixPopup", 0);
  sync(*dialog);
  EXPECT_FALSE(child<QLineEdit>(w, "prefixField")->isHidden());
  EXPECT_EQ(previewNewNames(w), std::vector<std::string>{"new-a.txt"});
}

TEST_F(RenameDialogTest, ModePopupShowsTheControlsOfEachMode) {
  auto dialog = open({"a.txt"});
  QWidget* w = dialog->window();
  auto hidden = [&](const char* name) { return child<QWidget>(w, name)->isHidden(); };
  EXPECT_FALSE(hidden("replacementValue"));
  EXPECT_TRUE(hidden("warningTextContainer"));
  choose(w, "nameModificationType", 1);  // delete text
  sync(*dialog);
  EXPECT_TRUE(hidden("replacementValue"));
  EXPECT_TRUE(hidden("withLabel"));
  EXPECT_FALSE(hidden("occurancesAndLocationsContainer"));
  EXPECT_EQ(dialog->reactor().state().mode, ChangeMode::remove(false));
  auto* maintainCase = child<QAbstractButton>(w, "maintainCaseCheckbox");
  ASSERT_NE(maintainCase, nullptr);
  EXPECT_FALSE(maintainCase->isEnabled());
  choose(w, "nameModificationType", 2);  // replace characters
  sync(*dialog);
  EXPECT_FALSE(hidden("warningTextContainer"));
  EXPECT_TRUE(hidden("occurancesAndLocationsContainer"));
  EXPECT_TRUE(maintainCase->isEnabled());  // case preservation belongs to this mode only
  choose(w, "nameModificationType", 3);  // delete characters
  sync(*dialog);
  EXPECT_FALSE(maintainCase->isEnabled());
  choose(w, "nameModificationType", 4);  // regular expression
  sync(*dialog);
  EXPECT_TRUE(hidden("matchLocations"));
  EXPECT_FALSE(hidden("occurancesAndLocationsContainer"));
  choose(w, "nameModificationType", 5);  // no change
  sync(*dialog);
  EXPECT_TRUE(hidden("nameValue"));
  EXPECT_FALSE(hidden("nameModificationType"));
}

TEST_F(RenameDialogTest, PopupsCarryTheirValues) {
  auto dialog = open({"banana.txt"});
  QWidget* w = dialog->window();
  type(w, "nameValue", "A");
  type(w, "replacementValue", "o");
  choose(w, "replacementOccurances", 1);  // last
  choose(w, "caseTransformPopup", 3);     // title
  QTest::mouseClick(child<QAbstractButton>(w, "caseSensitiveCheckbox"), Qt::LeftButton);
  sync(*dialog);
  const auto state = dialog->reactor().state();
  EXPECT_EQ(state.replacementMode, ReplacementMode::last);
  EXPECT_EQ(state.caseFormat, std::optional<CaseFormat>(CaseFormat::title));
  EXPECT_FALSE(state.caseSensitive);
  EXPECT_EQ(previewNewNames(w), std::vector<std::string>{"Banano.Txt"});
  choose(w, "caseTransformPopup", 0);
  choose(w, "matchLocations", 2);  // end
  sync(*dialog);
  EXPECT_FALSE(dialog->reactor().state().caseFormat.has_value());
  EXPECT_EQ(dialog->reactor().state().locations, MatchLocation::end);
}

// The count is what the confirmation will rename, folders included; a greyed button says why.
TEST_F(RenameDialogTest, CountLabelCountsWhatWillBeRenamedAndTheButtonSaysWhyItIsGreyed) {
  auto dialog = open({"a/", "b/", "c.txt", "d.txt", "e.txt"});
  QWidget* w = dialog->window();
  auto* count = child<QLabel>(w, "applicableCountLabel");
  auto* problem = child<QLabel>(w, "executeProblemLabel");
  EXPECT_EQ(count->text(), "Items to rename: 0");
  EXPECT_TRUE(problem->isHidden());  // nothing typed yet: nothing to explain
  choose(w, "nameModificationType", 5);  // no change
  type(w, "prefixField", "new-");
  sync(*dialog);
  EXPECT_EQ(count->text(), "Items to rename: 5");
  EXPECT_EQ(previewNewNames(w).size(), 5u);

  choose(w, "nameModificationType", 4);  // regular expression
  type(w, "nameValue", "(b|c");
  type(w, "replacementValue", "x");
  sync(*dialog);
  EXPECT_FALSE(child<QPushButton>(w, "executeButton")->isEnabled());
  EXPECT_FALSE(problem->isHidden());
  EXPECT_EQ(problem->text(), "The regular expression is not valid: a parenthesis is not closed or not opened, at character 5.");
  type(w, "nameValue", ")");
  sync(*dialog);
  EXPECT_TRUE(problem->isHidden());
  EXPECT_EQ(count->text(), "Items to rename: 5");  // the prefix still applies to all
}

TEST_F(RenameDialogTest, SheetEndsWithCancelAndExecuteCodes) {
  delegate();
  testing::ParentWindow parent;
  std::vector<int> responses;
  for (bool executing : {false, true}) {
    auto dialog = std::make_shared<RenameDialog>(testing::makeItems(folder, {"x.txt"}), delegate().windowContext());
    dialogs.push_back(dialog);
    dialog->beginSheet(std::shared_ptr<shell::WindowController>(&parent, [](auto*) {}),
                       [&responses](int response) { responses.push_back(response); });
    EXPECT_EQ(dialog->window()->parentWidget(), &parent.widget);
    EXPECT_TRUE(dialog->window()->isVisible());
    if (executing) {
      dialog->execute();
    } else {
      dialog->cancel();
    }
    EXPECT_FALSE(dialog->window()->isVisible());
  }
  EXPECT_EQ(responses, (std::vector<int>{0, shell::kRenameDialogContinueResponse}));
}

TEST_F(RenameDialogTest, DialogAnnouncesItsOpeningAndClosing) {
  auto dialog = open({"a.txt"});
  ASSERT_TRUE(waitFor([&] { return delegate().reactor().state().activeWindows.count(dialog) == 1; }));
  dialog->cancel();
  ASSERT_TRUE(waitFor([&] { return delegate().reactor().state().activeWindows.empty(); }));
}

TEST_F(RenameDialogTest, LargeBatchPreviewWaitsForAPauseInTyping) {
  delegate();
  dispatch::ManualClock clock;
  std::vector<files::Path> items;
  for (std::size_t i = 0; i <= PreviewUpdater::kImmediateLimit; ++i) {
    items.emplace_back(folder.path() / ("IMG_" + std::to_string(i) + ".jpg"));
  }
  auto dialog = std::make_shared<RenameDialog>(items, delegate().windowContext(), clock);
  dialog->show();
  QWidget* w = dialog->window();
  type(w, "nameValue", "IMG_");
  type(w, "replacementValue", "P");
  sync(*dialog);
  EXPECT_EQ(previewNewNames(w).front(), "");
  clock.advance(std::chrono::milliseconds(499));
  loop.drain();
  EXPECT_EQ(previewNewNames(w).front(), "");
  clock.advance(std::chrono::milliseconds(1));
  loop.drain();
  EXPECT_EQ(previewNewNames(w).front(), "P0.jpg");
  EXPECT_EQ(previewNewNames(w).back(), "P1000.jpg");
  // The clock goes with this test: the dialog must go first.
  dialog->cancel();
  ASSERT_TRUE(waitFor([&] { return delegate().reactor().state().activeWindows.empty(); }));
  sync(*dialog);
  dialog.reset();
}

}  // namespace
}  // namespace ml::rename
