#pragma once
// A sheet that shifts one timestamp of the shown item by whole years, months, days, hours,
// minutes and seconds. Each stepper holds an offset from the starting date in its unit (not an
// increment): the adjusted date is always the starting date with every component shifted by its
// stepper, made the calendar's lenient way. Apply hands the adjusted date to the callback,
// Cancel (or closing the sheet) hands nothing; the callback runs exactly once.
//
// Announces its opening on the global store when its window loads; the command that began it
// announces the closing. Main thread, except destruction (see SheetController).
#include <QPointer>
#include <memory>

#include "info/SheetController.h"
#include "info/state/DateArithmetic.h"
#include "info/state/InfoWindowHost.h"
#include "info/state/TimestampType.h"
#include "platform/store/Core.h"
#include "shell/GlobalState.h"

namespace Ui {
class DateAdjusterSheet;
}

namespace ml::info {

class DateAdjusterSheet final : public SheetController {
 public:
  // Announces its opening (and the picker its closing) on `global` when given; it must outlive
  // the sheet.
  DateAdjusterSheet(TimestampType type, files::Date date, DateCallback callback,
        store::Core<shell::GlobalState>* global = nullptr);
  ~DateAdjusterSheet() override;

  QDialog& sheetWindow() override;
  const void* windowIdentity() const override { return dialog_.data(); }

  files::Date value() const { return value_; }
  // The date the steppers describe now; nullopt when the calendar makes none.
  std::optional<files::Date> adjustedDate() const { return info::adjustedDate(value_, offsets_); }

  // Actions of the sheet's controls.
  void onStepperUpdated(DateUnit unit, int offset);
  void resetCounters();
  void abortAdjustment();
  void applyAdjustment();

 private:
  void windowDidLoad();
  void showAdjusted();
  void finish(std::optional<files::Date> date, int result);

  TimestampType type_;
  files::Date value_;
  DateOffsets offsets_{};
  DateCallback completionCallback_;
  store::Core<shell::GlobalState>* global_;
  QPointer<QDialog> dialog_;
  std::unique_ptr<Ui::DateAdjusterSheet> ui_;
};

}  // namespace ml::info
