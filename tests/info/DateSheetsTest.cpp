#include <gtest/gtest.h>

#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>

#include "formatters/ScopedIcuDefaults.h"
#include "files/format/DateExtensions.h"
#include "info/DateAdjusterSheet.h"
#include "info/DatePickerSheetController.h"
#include "platform/foundation/Dates.h"
#include "support/FileFixtures.h"
#include "support/ManualMainLoop.h"

namespace ml::info {
namespace {

using namespace std::chrono_literals;

// The sheets are used without an application delegate here: their announcements go nowhere.
class DateSheetTest : public ::testing::Test {
 protected:
  DateSheetTest() { ::setenv("TZ", "Europe/Berlin", 1), ::tzset(); }
  ~DateSheetTest() override {
    if (savedZone) ::setenv("TZ", savedZone->c_str(), 1); else ::unsetenv("TZ");
    ::tzset();
  }
  static files::Date at(const char* utc) { return *foundation::Dates::parseIso8601(utc); }
  template <class T>
  static T& control(QDialog& dialog, const char* name) {
    auto* found = dialog.findChild<T*>(QString::fromLatin1(name));
    if (!found) throw std::runtime_error(name);
    return *found;
  }
  DateCallback recording() {
    return [this](std::optional<files::Date> date) { answers.push_back(date); };
  }

  std::optional<std::string> savedZone = getenv("TZ") ? std::optional<std::string>(getenv("TZ")) : std::nullopt;
  test::ScopedIcuDefaults defaults{"en_US", "Europe/Berlin"};
  test::ManualMainLoop loop;
  std::vector<std::optional<files::Date>> answers;
};

class DateAdjusterSheetTest : public DateSheetTest {
 protected:
  QSpinBox& stepper(const char* unit) { return control<QSpinBox>(sheet->sheetWindow(), unit); }
  QString adjustedText() { return control<QLabel>(sheet->sheetWindow(), "adjustedDate").text(); }
  files::Date start = at("2020-03-10T13:00:00.000Z");  // 14:00 in Berlin
  std::shared_ptr<DateAdjusterSheet> sheet = std::make_shared<DateAdjusterSheet>(TimestampType::Modified, start, recording());
};

TEST_F(DateAdjusterSheetTest, OpeningShowsTheDateTwiceAndNoOffsets) {
  const QString text = QString::fromStdString(files::dates::string(start));
  EXPECT_EQ(control<QLabel>(sheet->sheetWindow(), "currentDate").text(), text);
  EXPECT_EQ(adjustedText(), text);
  for (const char* unit : {"yearStepper", "monthStepper", "dayStepper", "hourStepper", "minuteStepper", "secondStepper"})
    EXPECT_EQ(stepper(unit).value(), 0) << unit;
  EXPECT_EQ(control<QLabel>(sheet->sheetWindow(), "modalTitle").text(), "Last Modified Date");
}

TEST_F(DateAdjusterSheetTest, StepperValuesAreOffsetsFromTheStartingDate) {
  stepper("yearStepper").setValue(2);
  stepper("dayStepper").setValue(-3);
  EXPECT_EQ(sheet->adjustedDate(), at("2022-03-07T13:00:00.000Z"));
  EXPECT_EQ(adjustedText().toStdString(), files::dates::string(at("2022-03-07T13:00:00.000Z")));
  stepper("yearStepper").stepUp();
  stepper("yearStepper").stepUp();
  stepper("yearStepper").stepDown();
  EXPECT_EQ(stepper("yearStepper").value(), 3);
  EXPECT_EQ(sheet->adjustedDate(), at("2023-03-07T13:00:00.000Z"));
}

TEST_F(DateAdjusterSheetTest, ResetPutsEveryStepperBackToZero) {
  stepper("monthStepper").setValue(5);
  stepper("secondStepper").setValue(-30);
  control<QPushButton>(sheet->sheetWindow(), "resetButton").click();
  EXPECT_EQ(stepper("monthStepper").value(), 0);
  EXPECT_EQ(stepper("secondStepper").value(), 0);
  EXPECT_EQ(sheet->adjustedDate(), start);
}

TEST_F(DateAdjusterSheetTest, CancelHandsBackNothingOnce) {
  sheet->sheetWindow().open();
  control<QPushButton>(sheet->sheetWindow(), "cancelButton").click();
  sheet->sheetWindow().reject();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_FALSE(answers[0]);
}

TEST_F(DateAdjusterSheetTest, ApplyWithoutOffsetsHandsBackTheSameDate) {
  const files::Date precise = start + 123456789ns;
  auto exact = std::make_shared<DateAdjusterSheet>(TimestampType::Accessed, precise, recording());
  exact->sheetWindow().open();
  control<QPushButton>(exact->sheetWindow(), "applyButton").click();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0], precise);
}

TEST_F(DateAdjusterSheetTest, TheBackupSheetIsTitledLastBackupDate) {
  auto backup = std::make_shared<DateAdjusterSheet>(TimestampType::LastBackup, start, recording());
  EXPECT_EQ(control<QLabel>(backup->sheetWindow(), "modalTitle").text(), "Last Backup Date");
}

class DatePickerSheetTest : public DateSheetTest {};

TEST_F(DatePickerSheetTest, WithoutADateThePickersStartNowAndTheValueReadsNone) {
  auto sheet = std::make_shared<DatePickerSheetController>(EditableField::accessed, std::nullopt, recording());
  auto& dialog = sheet->sheetWindow();
  EXPECT_EQ(control<QLabel>(dialog, "currentValue").text(), "None");
  EXPECT_EQ(control<QDateEdit>(dialog, "datePicker").date(), QDate::currentDate());
}

TEST_F(DatePickerSheetTest, SavingJoinsThePickedDayWithThePickedTime) {
  auto sheet = std::make_shared<DatePickerSheetController>(EditableField::modified, at("2000-01-01T00:00:00.000Z"), recording());
  sheet->sheetWindow().open();
  sheet->setPickers(at("2021-05-04T07:00:00.000Z"), at("1999-12-31T22:15:30.000Z"));  // 09:00 and 23:15:30 local
  control<QPushButton>(sheet->sheetWindow(), "saveButton").click();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0], at("2021-05-04T21:15:30.000Z"));
}

TEST_F(DatePickerSheetTest, SavingAnUntouchedPickerHandsBackTheDateUnchanged) {
  const files::Date original = at("2021-05-04T07:00:00.000Z") + 250ms;
  auto sheet = std::make_shared<DatePickerSheetController>(EditableField::created, original, recording());
  sheet->sheetWindow().open();
  control<QPushButton>(sheet->sheetWindow(), "saveButton").click();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0], original);
}

TEST_F(DatePickerSheetTest, CancelHandsBackNothing) {
  auto sheet = std::make_shared<DatePickerSheetController>(EditableField::created, at("2021-05-04T07:00:00.000Z"), recording());
  sheet->sheetWindow().open();
  control<QPushButton>(sheet->sheetWindow(), "cancelButton").click();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_FALSE(answers[0]);
}

TEST_F(DatePickerSheetTest, TheTitleNamesTheTimestampInEveryLanguage) {
  test::ScopedIcuDefaults german{"de_DE"};
  auto sheet = std::make_shared<DatePickerSheetController>(EditableField::modified, at("2021-05-04T07:00:00.000Z"), recording());
  EXPECT_EQ(control<QLabel>(sheet->sheetWindow(), "sheetTitle").text(), "Last Modified Date");
}

TEST_F(DatePickerSheetTest, AnUnsupportedFieldIsLoggedClosedAndNeverAnswered) {
  test::LogCapture log;
  auto sheet = std::make_shared<DatePickerSheetController>(EditableField::name, at("2021-05-04T07:00:00.000Z"), recording());
  sheet->sheetWindow().open();
  loop.drain();
  EXPECT_FALSE(sheet->sheetWindow().isVisible());
  EXPECT_TRUE(answers.empty());
  EXPECT_NE(log.text().find("tried to set unsupported timetamp"), std::string::npos);
}

}  // namespace
}  // namespace ml::info
