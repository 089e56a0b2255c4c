#include "info/DateAdjusterSheet.h"

#include <QSpinBox>

#include "appkit/LocalizableControls.h"
#include "appkit/Localization.h"
#include "files/format/DateExtensions.h"
#include "info/PaneSupport.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
#include "shell/core/ApplicationEvents.h"
#include "ui_DateAdjusterSheet.h"

namespace ml::info {

namespace {

const char* timestampName(TimestampType type) {
  switch (type) {
    case TimestampType::Creation: return "Creation";
    case TimestampType::Modified: return "Last Modified";
    case TimestampType::Accessed: return "Last Accessed";
    case TimestampType::LastBackup: return "Last Backup";
  }
  return "";
}

}  // namespace

DateAdjusterSheet::DateAdjusterSheet(TimestampType type, files::Date date, DateCallback callback,
                                     store::Core<shell::GlobalState>* global)
    : type_(type), value_(date), completionCallback_(std::move(callback)), global_(global) {}

DateAdjusterSheet::~DateAdjusterSheet() {
  dispatch::MainQueue::shared().async([dialog = dialog_] { delete dialog.data(); });
}

QDialog& DateAdjusterSheet::sheetWindow() {
  ML_ASSERT_MAIN_THREAD();
  if (!dialog_) {
    dialog_ = new QDialog();
    ui_ = std::make_unique<Ui::DateAdjusterSheet>();
    ui_->setupUi(dialog_);
    appkit::awakeLocalizableControls(*dialog_);
    windowDidLoad();
  }
  return *dialog_;
}

void DateAdjusterSheet::windowDidLoad() {
  ML_ASSERT_MAIN_THREAD();
  if (global_) {
    global_->fire(shell::ApplicationEvents::WindowOpened(shared_from_this()));
  }
  ui_->modalTitle->setText(appkit::localizedText(QString::fromUtf8(timestampName(type_)) + QStringLiteral(" Date")));
  ui_->currentDate->setText(qt(files::dates::string(value_)));
  for (QSpinBox* stepper : {ui_->yearStepper, ui_->monthStepper, ui_->dayStepper, ui_->hourStepper,
                            ui_->minuteStepper, ui_->secondStepper}) {
    QObject::connect(stepper, &QSpinBox::valueChanged, dialog_, [this, stepper](int offset) {
      const int tag = stepper->property("tag").toInt();
      if (tag >= 0 && tag <= 5) onStepperUpdated(static_cast<DateUnit>(tag), offset);
    });
  }
  QObject::connect(ui_->resetButton, &QPushButton::clicked, dialog_, [this] { resetCounters(); });
  QObject::connect(ui_->cancelButton, &QPushButton::clicked, dialog_, [this] { abortAdjustment(); });
  QObject::connect(ui_->applyButton, &QPushButton::clicked, dialog_, [this] { applyAdjustment(); });
  // Escape and the window's close box cancel.
  QObject::connect(dialog_, &QDialog::rejected, dialog_, [this] { finish(std::nullopt, QDialog::Rejected); });
  resetCounters();
}

void DateAdjusterSheet::onStepperUpdated(DateUnit unit, int offset) {
  ML_ASSERT_MAIN_THREAD();
  offsets_[static_cast<size_t>(unit)] = offset;
  showAdjusted();
}

void DateAdjusterSheet::resetCounters() {
  ML_ASSERT_MAIN_THREAD();
  offsets_ = {};
  if (!ui_) return;
  for (QSpinBox* stepper : {ui_->yearStepper, ui_->monthStepper, ui_->dayStepper, ui_->hourStepper,
                            ui_->minuteStepper, ui_->secondStepper}) {
    const QSignalBlocker quiet(stepper);
    stepper->setValue(0);
  }
  showAdjusted();
}

void DateAdjusterSheet::showAdjusted() {
  ML_ASSERT_MAIN_THREAD();
  if (!ui_) return;
  const auto adjusted = adjustedDate();
  ui_->adjustedDate->setText(adjusted ? qt(files::dates::string(*adjusted)) : QString());
  ui_->applyButton->setEnabled(adjusted.has_value());
}

void DateAdjusterSheet::abortAdjustment() { finish(std::nullopt, QDialog::Rejected); }

// A date the calendar cannot make (the steppers' ranges keep this out of reach) is not applied.
void DateAdjusterSheet::applyAdjustment() {
  ML_ASSERT_MAIN_THREAD();
  const auto adjusted = adjustedDate();
  if (!adjusted) return;
  finish(adjusted, QDialog::Accepted);
}

void DateAdjusterSheet::finish(std::optional<files::Date> date, int result) {
  ML_ASSERT_MAIN_THREAD();
  if (auto callback = std::exchange(completionCallback_, nullptr)) callback(date);
  if (dialog_ && dialog_->isVisible()) dialog_->done(result);
}

}  // namespace ml::info
