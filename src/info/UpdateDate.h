#pragma once
// Opens a date sheet on the Info window for one date of the shown item (created, modified or
// accessed): the adjuster, which shifts the date by whole units, or the picker, which sets a day
// and a time. The date the sheet gives becomes a pending edit (FieldUpdated); a sheet that gives
// none asks the panes to redraw (InterfaceInvalidated). The sheet's closing is announced on the
// application's global store; the sheet announces its own opening.
//
// Does nothing when nothing is shown, for another field, or when the item's dates (or the
// creation date of a creation-date edit) cannot be read.
#include "info/state/EditableField.h"
#include "info/state/InfoWindowState.h"
#include "platform/store/Command.h"

namespace ml::info {

class UpdateDate final : public store::Command<InfoWindowState> {
 public:
  // `adjust`: true for the adjuster sheet, false for the picker sheet.
  UpdateDate(EditableField field, bool adjust) : field_(field), adjust_(adjust) {}
  void execute(const InfoWindowState& state, store::Core<InfoWindowState>& core) override;

  EditableField field() const { return field_; }
  bool adjust() const { return adjust_; }

 private:
  EditableField field_;
  bool adjust_;
};

}  // namespace ml::info
