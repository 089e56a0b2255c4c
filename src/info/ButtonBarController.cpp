#include "info/ButtonBarController.h"

#include "appkit/Localization.h"
#include "info/PaneSupport.h"
#include "info/state/AcceptChanges.h"
#include "info/state/InfoWindowEvents.h"
#include "info/state/SaveAndClose.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
#include "ui_ButtonBarController.h"

namespace ml::info {

ButtonBarController::ButtonBarController(QWidget* parent)
    : appkit::TolvekViewController(parent), ui_(std::make_unique<Ui::ButtonBarController>()) {
  ui_->setupUi(this);
  connect(ui_->filePicker, &QComboBox::activated, this, &ButtonBarController::changeSelectedPath);
  connect(ui_->revertButton, &QPushButton::clicked, this, &ButtonBarController::revertChanges);
  connect(ui_->applyButton, &QPushButton::clicked, this, &ButtonBarController::applyChangesForCurrentPath);
  connect(ui_->saveAndCloseButton, &QPushButton::clicked, this, &ButtonBarController::saveAndClose);
  finishLoading();
}

ButtonBarController::~ButtonBarController() = default;

QPushButton& ButtonBarController::cancelButton() { return *ui_->cancelButton; }

void ButtonBarController::update(const InfoWindowState& state) {
  ML_ASSERT_MAIN_THREAD();
  if (state.displayed < 0) {
    // Every item has gone to the Trash: nothing is left to show.
    QPointer<QPushButton> cancel(ui_->cancelButton);
    dispatch::MainQueue::shared().async([cancel] {
      if (cancel) cancel->click();
    });
    return;
  }
  const bool pending = !state.changes.empty();
  ui_->applyButton->setVisible(pending);
  ui_->saveAndCloseButton->setVisible(pending);
  ui_->revertButton->setVisible(pending);
  ui_->cancelButton->setText(appkit::localizedText(pending ? "Cancel" : "Close"));
  ui_->filePicker->setVisible(state.paths.size() > 1);

  ui_->filePicker->clear();
  pickerPaths_ = state.paths;
  for (const auto& path : state.paths) ui_->filePicker->addItem(qt(path.url().filename().string()));
  ui_->filePicker->setCurrentIndex(state.displayed);
}

void ButtonBarController::changeSelectedPath(int index) {
  ML_ASSERT_MAIN_THREAD();
  if (index < 0 || static_cast<size_t>(index) >= pickerPaths_.size()) return;
  fire(SelectedPathUpdated(pickerPaths_[static_cast<size_t>(index)]));
}

void ButtonBarController::revertChanges() { fire(StateReset()); }

void ButtonBarController::applyChangesForCurrentPath() { fire(std::make_shared<AcceptChanges>()); }

void ButtonBarController::saveAndClose() {
  ML_ASSERT_MAIN_THREAD();
  QPointer<QPushButton> cancel(ui_->cancelButton);
  fire(std::make_shared<SaveAndClose>([cancel] {
    if (cancel) cancel->click();
  }));
}

}  // namespace ml::info
