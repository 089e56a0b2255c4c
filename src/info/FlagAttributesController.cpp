#include "info/FlagAttributesController.h"

#include <string>

#include "appkit/Localization.h"
#include "files/FileSystem.h"
#include "info/FlagSupport.h"
#include "info/PaneSupport.h"
#include "info/state/InfoWindowEvents.h"
#include "platform/dispatch/QueueAssert.h"
#include "ui_FlagAttributesController.h"

namespace ml::info {

FlagAttributesController::FlagAttributesController(QWidget* parent)
    : appkit::TolvekViewController(parent), ui_(std::make_unique<Ui::FlagAttributesController>()) {
  ui_->setupUi(this);
  keepMarkerSpace(*this);
  for (QCheckBox* box : {ui_->extensionHiddenCheckbox, ui_->invisibleCheckbox}) {
    connect(box, &QCheckBox::clicked, this, &FlagAttributesController::onFlagToggled);
  }
  finishLoading();
}

FlagAttributesController::~FlagAttributesController() = default;

void FlagAttributesController::update(const InfoWindowState& state) {
  ML_ASSERT_MAIN_THREAD();
  const auto item = state.displayedPath();
  if (!item) return;
  const auto basic = item->fileSystem().basicAttributes(*item);
  ui_->customIconCheckbox->setChecked(false);
  auto show = [&](QCheckBox& box, QWidget& marker, EditableField field, bool current) {
    const FieldValue* value = state.change(field);
    const bool* pending = value ? valueAs<bool>(*value) : nullptr;
    box.setChecked(pending ? *pending : current);
    marker.setVisible(value != nullptr);
  };
  // An unreadable item shows both flags off, with any pending edits.
  show(*ui_->extensionHiddenCheckbox, *ui_->extensionHiddenMarker, EditableField::hiddenExtension,
       basic && basic->isExtensionHidden());
  // A name that starts with "." hides the item by itself: no flag can make it visible, so the
  // box shows it invisible and cannot be cleared.
  const std::string name = item->url().filename().string();
  const bool hiddenByName = name.size() > 1 && name[0] == '.' && name != "..";
  if (hiddenByName) {
    ui_->invisibleCheckbox->setChecked(true);
    ui_->invisibleMarker->setVisible(false);
  } else {
    show(*ui_->invisibleCheckbox, *ui_->invisibleMarker, EditableField::invisible, basic && basic->isInvisible());
  }
  // Flags the item cannot carry at all are not offered: Apply could only fail on them.
  const auto cannotCarry = whyFlagsCannotBeSet(*item);
  const QString carryTip = cannotCarry ? qt(*cannotCarry) : QString();
  ui_->extensionHiddenCheckbox->setEnabled(!cannotCarry);
  ui_->extensionHiddenCheckbox->setToolTip(carryTip);
  ui_->invisibleCheckbox->setEnabled(!hiddenByName && !cannotCarry);
  ui_->invisibleCheckbox->setToolTip(
      hiddenByName ? appkit::localizedText("A name that starts with \u201C.\u201D keeps the item invisible.") : carryTip);
}

void FlagAttributesController::onFlagToggled() {
  ML_ASSERT_MAIN_THREAD();
  auto* box = qobject_cast<QCheckBox*>(sender());
  if (!box) return;
  if (auto field = fieldOf(box)) fire(FieldUpdated(*field, box->isChecked()));
}

}  // namespace ml::info
