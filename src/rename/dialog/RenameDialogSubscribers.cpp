#include "rename/dialog/RenameDialogSubscribers.h"

#include "platform/dispatch/QueueAssert.h"
#include "rename/dialog/ApplicableItems.h"
#include "rename/dialog/NameChangeVisibility.h"

namespace ml::rename {

namespace {

void setShown(const QPointer<QWidget>& widget, bool shown) {
  if (widget) widget->setHidden(!shown);
}

}  // namespace

void NameChangeInterfaceUpdater::update(const RenameDialogState& state) {
  ML_ASSERT_MAIN_THREAD();
  const NameChangeVisibility visibility = nameChangeVisibility(state.mode);
  setShown(controls_.pattern, visibility.pattern);
  setShown(controls_.replacement, visibility.replacement);
  setShown(controls_.withLabel, visibility.withLabel);
  setShown(controls_.warningContainer, visibility.note);
  setShown(controls_.occurancesAndLocationsContainer, visibility.occurrencesAndLocations);
  if (visibility.locationPopup) setShown(controls_.locations, *visibility.locationPopup);
}

void ViewToggler::update(const RenameDialogState& state) {
  ML_ASSERT_MAIN_THREAD();
  if (!view_) return;
  const bool holds = predicate_(state);
  if (disable_) {
    view_->setEnabled(holds);
  } else {
    view_->setHidden(!holds);
  }
}

void NameTrimUpdated::update(const RenameDialogState& state) {
  ML_ASSERT_MAIN_THREAD();
  if (checkbox_) checkbox_->setChecked(state.trimLength);
}

void ApplicableItemsUpdater::update(const RenameDialogState& state) {
  ML_ASSERT_MAIN_THREAD();
  if (field_) field_->setText(QString::fromStdString(applicableCountText(applicableCount(state))));
}

void ExecuteButtonToggle::update(const RenameDialogState& state) {
  ML_ASSERT_MAIN_THREAD();
  if (button_) button_->setEnabled(state.canExecute());
  if (problem_) {
    const auto why = state.problem();
    problem_->setText(why ? QString::fromStdString(*why) : QString());
    problem_->setVisible(why.has_value());
  }
}

}  // namespace ml::rename
