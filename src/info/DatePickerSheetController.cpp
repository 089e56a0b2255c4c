#include "info/DatePickerSheetController.h"

#include <QDateTime>

#include "appkit/LocalizableControls.h"
#include "files/format/DateExtensions.h"
#include "info/PaneSupport.h"
#include "info/state/DateArithmetic.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"
#include "shell/core/ApplicationEvents.h"
#include "ui_DatePickerSheet.h"

namespace ml::info {

namespace {

// The picker shows local wall time; ICU and Qt both follow the system's zone.
QDateTime localDateTime(files::Date date) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
  return QDateTime::fromMSecsSinceEpoch(ms);
}

files::Date fromDateTime(const QDateTime& dateTime) {
  return files::Date(std::chrono::duration_cast<files::Date::duration>(
      std::chrono::milliseconds(dateTime.toMSecsSinceEpoch())));
}

const char* fieldTitle(EditableField field) {
  switch (field) {
    case EditableField::created: return "Creation Date";
    case EditableField::modified: return "Last Modified Date";
    case EditableField::accessed: return "Last Accessed Date";
    default: return nullptr;
  }
}

}  // namespace

DatePickerSheetController::DatePickerSheetController(EditableField field, std::optional<files::Date> startingAt,
                                                     DateCallback callback, store::Core<shell::GlobalState>* global)
    : field_(field), originalValue_(startingAt), callback_(std::move(callback)), global_(global) {}

DatePickerSheetController::~DatePickerSheetController() {
  dispatch::MainQueue::shared().async([dialog = dialog_] { delete dialog.data(); });
}

QDialog& DatePickerSheetController::sheetWindow() {
  ML_ASSERT_MAIN_THREAD();
  if (!dialog_) {
    dialog_ = new QDialog();
    ui_ = std::make_unique<Ui::DatePickerSheet>();
    ui_->setupUi(dialog_);
    appkit::awakeLocalizableControls(*dialog_);
    windowDidLoad();
  }
  return *dialog_;
}

void DatePickerSheetController::windowDidLoad() {
  ML_ASSERT_MAIN_THREAD();
  if (global_) {
    global_->fire(shell::ApplicationEvents::WindowOpened(shared_from_this()));
  }
  QObject::connect(ui_->saveButton, &QPushButton::clicked, dialog_, [this] { saveChanges(); });
  QObject::connect(ui_->cancelButton, &QPushButton::clicked, dialog_, [this] { abortChanges(); });
  QObject::connect(dialog_, &QDialog::rejected, dialog_, [this] { finish(std::nullopt, QDialog::Rejected); });
  QObject::connect(dialog_, &QDialog::finished, dialog_, [this] { windowWillClose(); });

  const char* title = fieldTitle(field_);
  if (!title) {
    LOG_ERROR("tried to set unsupported timetamp");
    callback_ = nullptr;  // nothing is handed back
    dispatch::MainQueue::shared().async([dialog = dialog_] {
      if (dialog) dialog->done(QDialog::Rejected);
    });
    return;
  }
  ui_->sheetTitle->setText(QString::fromUtf8(title));  // the same in every language
  const files::Date start = originalValue_.value_or(files::Date(std::chrono::system_clock::now()));
  setPickers(start, start);
  ui_->currentValue->setText(originalValue_ ? qt(files::dates::string(*originalValue_)) : QStringLiteral("None"));
}

void DatePickerSheetController::setPickers(files::Date day, files::Date timeOfDay) {
  ML_ASSERT_MAIN_THREAD();
  if (!ui_) sheetWindow();
  ui_->datePicker->setDate(localDateTime(day).date());
  ui_->timePicker->setTime(localDateTime(timeOfDay).time());
}

std::optional<files::Date> DatePickerSheetController::pickedDate() const {
  if (!ui_) return std::nullopt;
  // Noon of the picked day names the day safely whatever the clocks do that night.
  const files::Date day = fromDateTime(QDateTime(ui_->datePicker->date(), QTime(12, 0)));
  const QTime time = ui_->timePicker->time();
  return info::pickedDate(day, time.hour(), time.minute(), time.second(), originalValue_);
}

void DatePickerSheetController::saveChanges() {
  ML_ASSERT_MAIN_THREAD();
  // A time the calendar cannot place on that day is not saved; the sheet stays open.
  const auto picked = pickedDate();
  if (!picked) return;
  finish(picked, QDialog::Accepted);
}

void DatePickerSheetController::abortChanges() { finish(std::nullopt, QDialog::Rejected); }

void DatePickerSheetController::finish(std::optional<files::Date> date, int result) {
  ML_ASSERT_MAIN_THREAD();
  if (auto callback = std::exchange(callback_, nullptr)) callback(date);
  if (dialog_ && dialog_->isVisible()) dialog_->done(result);
}

void DatePickerSheetController::windowWillClose() {
  ML_ASSERT_MAIN_THREAD();
  if (closedAnnounced_) return;
  closedAnnounced_ = true;
  if (global_) {
    global_->fire(shell::ApplicationEvents::WindowClosed(shared_from_this()));
  }
}

}  // namespace ml::info
