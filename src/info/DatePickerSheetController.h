#pragma once
// A sheet that sets one editable timestamp (created, modified or accessed) to a picked day and
// time of day: Save joins the date picker's day with the time picker's hour, minute and second
// and hands the result to the callback; Cancel (or closing the sheet) hands nothing. The
// callback runs at most once; a sheet for any other field logs an error, closes and never calls it.
//
// Announces its opening on the global store when its window loads and its closing when its
// window closes. Main thread, except destruction (see SheetController).
#include <QPointer>
#include <memory>

#include "info/SheetController.h"
#include "info/state/EditableField.h"
#include "info/state/InfoWindowHost.h"
#include "platform/store/Core.h"
#include "shell/GlobalState.h"

namespace Ui {
class DatePickerSheet;
}

namespace ml::info {

class DatePickerSheetController final : public SheetController {
 public:
  // Announces its opening (and the picker its closing) on `global` when given; it must outlive
  // the sheet.
  DatePickerSheetController(EditableField field, std::optional<files::Date> startingAt, DateCallback callback,
        store::Core<shell::GlobalState>* global = nullptr);
  ~DatePickerSheetController() override;

  QDialog& sheetWindow() override;
  const void* windowIdentity() const override { return dialog_.data(); }

  // The date the pickers describe now: the picked day at the picked time of day.
  std::optional<files::Date> pickedDate() const;
  // Sets both pickers (for tests and for the window's start).
  void setPickers(files::Date day, files::Date timeOfDay);

  void saveChanges();
  void abortChanges();

 private:
  void windowDidLoad();
  void windowWillClose();
  void finish(std::optional<files::Date> date, int result);

  EditableField field_;
  std::optional<files::Date> originalValue_;
  DateCallback callback_;
  store::Core<shell::GlobalState>* global_;
  bool closedAnnounced_ = false;
  QPointer<QDialog> dialog_;
  std::unique_ptr<Ui::DatePickerSheet> ui_;
};

}  // namespace ml::info
