#include <QLineEdit>

#include "FindWindowFixture.h"
#include "find/FindWindowEvents.h"
#include "find/rows/ExtensionRow.h"
#include "find/rows/ItemTypeRow.h"
#include "find/rows/NameRow.h"
#include "find/rows/PackageAndVisibilityRow.h"
#include "find/rows/RestrictiveIntegerFormatter.h"

namespace ml::find::testing {
namespace {

class CriterionRowsTest : public FindWindowTest {
 protected:
  void setName(NameRow& row, const QString& title, const QString& text, bool enabled = true) {
    row.enabledCheckbox->setChecked(enabled);
    row.valueCombomBox->setEditText(text);
    choose(row.searchTypePopup, indexOfTitle(row.searchTypePopup, title));
  }
};

TEST_F(CriterionRowsTest, TwoLinesWithAnOrTitleGiveContainsJoinedWithOr) {
  auto window = open();
  setName(*window->nameRow(), "contains any (or)", "a\nb");
  ASSERT_TRUE(waitForState(*window, [](const auto& s) {
    return s.criteria.name && s.criteria.name->options == NameSearchOption::contains({"a", "b"}, BooleanOperator::orOp);
  }));
  auto name = *window->core()->state().criteria.name;
  EXPECT_EQ(name.options, NameSearchOption::contains({"a", "b"}, BooleanOperator::orOp));
  EXPECT_FALSE(name.negate);
}

TEST_F(CriterionRowsTest, DoesntEndTitleGivesANegatedEndsWith) {
  auto window = open();
  setName(*window->nameRow(), "doesn't end with", ".tmp");
  ASSERT_TRUE(waitForState(*window, [](const auto& s) {
    return s.criteria.name && s.criteria.name->options == NameSearchOption::endsWith({".tmp"});
  }));
  auto name = *window->core()->state().criteria.name;
  EXPECT_EQ(name.options, NameSearchOption::endsWith({".tmp"}));
  EXPECT_TRUE(name.negate);
}

TEST_F(CriterionRowsTest, LengthTitleInstallsTheIntegerFormatterAndLeavingItRemovesIt) {
  auto window = open();
  NameRow& row = *window->nameRow();
  row.valueCombomBox->setEditText("abc");
  choose(row.searchTypePopup, indexOfTitle(row.searchTypePopup, "has length of at least"));
  EXPECT_TRUE(row.valueCombomBox->currentText().isEmpty());
  EXPECT_FALSE(row.caseSensitiveCheckbox->isEnabled());
  ASSERT_NE(row.valueCombomBox->lineEdit()->validator(), nullptr);
  QTest::keyClicks(row.valueCombomBox->lineEdit(), "1x2");
  EXPECT_EQ(row.valueCombomBox->currentText(), "12");
  choose(row.searchTypePopup, indexOfTitle(row.searchTypePopup, "contains"));
  EXPECT_EQ(row.valueCombomBox->lineEdit()->validator(), nullptr);
  EXPECT_TRUE(row.valueCombomBox->currentText().isEmpty());
  EXPECT_TRUE(row.caseSensitiveCheckbox->isEnabled());
}

TEST_F(CriterionRowsTest, FormatterAcceptsOnlyUnsignedIntegers) {
  EXPECT_TRUE(RestrictiveIntegerFormatter::isPartialStringValid(""));
  EXPECT_TRUE(RestrictiveIntegerFormatter::isPartialStringValid("042"));
  EXPECT_FALSE(RestrictiveIntegerFormatter::isPartialStringValid("-1"));
  EXPECT_FALSE(RestrictiveIntegerFormatter::isPartialStringValid("1.5"));
  EXPECT_FALSE(RestrictiveIntegerFormatter::isPartialStringValid("99999999999999999999999"));
}

TEST_F(CriterionRowsTest, InvalidExpressionKeepsThePreviousNameCriterion) {
  auto window = open();
  setName(*window->nameRow(), "contains", "x");
  ASSERT_TRUE(waitForState(*window, [](const auto& s) {
    return s.criteria.name && s.criteria.name->options == NameSearchOption::contains({"x"});
  }));
  setName(*window->nameRow(), "matches", "(broken");
  settle();
  EXPECT_EQ(window->core()->state().criteria.name->options, NameSearchOption::contains({"x"}));
}

TEST_F(CriterionRowsTest, TypingFiresOnceAfterTheDebounceInterval) {
  auto window = open();
  NameRow& row = *window->nameRow();
  row.enabledCheckbox->setChecked(true);
  settle();
  QTest::keyClicks(row.valueCombomBox->lineEdit(), "rep");
  settle();
  auto early = window->core()->state().criteria.name;
  EXPECT_TRUE(!early || early->options != NameSearchOption::contains({"rep"}));
  // The rows' debouncers run on the system clock; this one waits a real second at most.
  ASSERT_TRUE(waitForState(*window, [](const auto& s) {
    return s.criteria.name && s.criteria.name->options == NameSearchOption::contains({"rep"});
  }));
}

TEST_F(CriterionRowsTest, StartedSearchesRecordTheNameOnceAtTheFront) {
  auto window = open();
  NameRow& row = *window->nameRow();
  row.enabledCheckbox->setChecked(true);
  row.valueCombomBox->setEditText("plan");
  auto started = [&] {
    window->core()->fire(SearchStarted(ActiveSearch{}));
    window->core()->fire(SearchTerminated(false));
  };
  started();
  ASSERT_TRUE(waitFor([&] { return row.history().size() == 1; }));
  row.valueCombomBox->setEditText("other");
  started();
  ASSERT_TRUE(waitFor([&] { return row.history().size() == 2; }));
  row.valueCombomBox->setEditText("plan");
  started();
  settle();
  EXPECT_EQ(row.history(), (std::vector<std::string>{"plan", "other"}));
  auto stored = preferences.array(NameRow::kHistoryKey);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->size(), 2u);
  EXPECT_EQ(*(*stored)[0].string(), "plan");
}

TEST_F(CriterionRowsTest, HistoryIgnoresNonStringsAndCompletesByPrefix) {
  preferences.set(NameRow::kHistoryKey,
                  foundation::PlistValue(foundation::PlistValue::Array{"report", 7, "readme"}));
  auto window = open();
  NameRow& row = *window->nameRow();
  EXPECT_EQ(row.history(), (std::vector<std::string>{"report", "readme"}));
  EXPECT_EQ(row.completedString("re"), "report");
  EXPECT_EQ(row.completedString("rea"), "readme");
  EXPECT_FALSE(row.completedString("x"));
  EXPECT_EQ(row.objectValue(1), "readme");
  EXPECT_FALSE(row.objectValue(2));

  // The field completes what is typed by that same rule: case-sensitive, first in history order.
  QLineEdit* field = row.valueCombomBox->lineEdit();
  auto type = [field](const QString& keys) {
    QTest::keyClicks(field, keys);
    QCoreApplication::sendPostedEvents();
  };
  type("RE");
  EXPECT_EQ(field->text(), "RE");
  field->clear();
  QCoreApplication::sendPostedEvents();
  type("re");
  EXPECT_EQ(field->text(), "report");
  EXPECT_EQ(field->selectedText(), "port");
  type("a");  // replaces the shown completion
  EXPECT_EQ(field->text(), "readme");
  EXPECT_EQ(field->selectedText(), "dme");
  QTest::keyClick(field, Qt::Key_Backspace);  // takes the completion away, and completes nothing
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(field->text(), "rea");
  type("d");
  EXPECT_EQ(field->text(), "readme");
}

TEST_F(CriterionRowsTest, ItemTypePopupIsFilledOnLoadAndFiresTheChosenType) {
  auto window = open();
  ItemTypeRow& row = *window->itemTypeRow();
  ASSERT_TRUE(waitFor([&] { return row.itemTypePopup->count() == 10; }));
  EXPECT_FALSE(row.descriptorAt(2));
  row.itemTypeEnabledCheckbox->setChecked(true);
  choose(row.itemTypePopup, 8);  // "Is not an alias"
  ASSERT_TRUE(waitForState(*window, [](const auto& s) {
    return s.criteria.type == TypeDescriptor::file(files::FileKind::alias, true);
  }));
  EXPECT_EQ(*window->core()->state().criteria.type, TypeDescriptor::file(files::FileKind::alias, true));
  row.itemTypeEnabledCheckbox->setChecked(false);
  ASSERT_TRUE(waitForState(*window, [](const auto& s) { return !s.criteria.type.has_value(); }));
}

TEST_F(CriterionRowsTest, ExtensionVisibilityAndPackageRowsFireTheirCriteria) {
  auto window = open();
  ExtensionRow& extension = *window->extensionRow();
  extension.valueField->setText("txt");
  extension.typePopup->setCurrentIndex(1);
  extension.enabledCheckbox->setChecked(true);
  PackageAndVisibilityRow& package = *window->packageRow();
  package.visibilityPopup->setCurrentIndex(0);
  package.visibilityEnabledCheckbox->setChecked(true);
  package.packageEnabledCheckbox->setChecked(true);
  ItemTypeRow& type = *window->itemTypeRow();
  type.packageRequirementPopup->setCurrentIndex(1);
  type.packageRequirementEnabledCheckbox->setChecked(true);
  ASSERT_TRUE(waitForState(*window, [](const auto& s) {
    return s.criteria.extension && s.criteria.invisible && s.criteria.includePackageContents && s.criteria.isPackage;
  }));
  auto criteria = window->core()->state().criteria;
  EXPECT_EQ(criteria.extension, (ExtensionCriterion{"txt", true}));
  EXPECT_EQ(criteria.invisible, true);
  EXPECT_EQ(criteria.isPackage, false);
}

}  // namespace
}  // namespace ml::find::testing
