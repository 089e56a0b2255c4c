#include "info/ButtonBarController.h"

#include "appkit/Application.h"
#include "appkit/Localization.h"
#include "files/VisibleName.h"
#include "appkit/QtAlertPresenter.h"
#include "info/ItemPickerTitles.h"
#include "info/PaneSupport.h"
#include "info/state/AcceptChanges.h"
#include "info/state/ApplyAndSelect.h"
#include "info/state/InfoWindowEvents.h"
#include "info/state/SaveAndClose.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"
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
  const std::vector<std::string> titles = itemPickerTitles(state.paths);
  for (std::size_t i = 0; i < titles.size(); ++i) {
    ui_->filePicker->addItem(qt(titles[i]));
    // The whole path on hovering, for names alike down to their folders.
    ui_->filePicker->setItemData(static_cast<int>(i), qt(files::visibleName(state.paths[i].url().string())), Qt::ToolTipRole);
  }
  ui_->filePicker->setCurrentIndex(state.displayed);
}

void ButtonBarController::changeSelectedPath(int index) {
  ML_ASSERT_MAIN_THREAD();
  if (index < 0 || static_cast<size_t>(index) >= pickerPaths_.size()) return;
  const files::Path chosen = pickerPaths_[static_cast<size_t>(index)];
  auto core = reactor();
  if (!core) return;
  const InfoWindowState state = core->state();
  const auto shown = state.displayedPath();
  if (shown && shown->url() == chosen.url()) return;  // the item already shown: nothing to switch
  if (state.changes.empty()) {
    fire(SelectedPathUpdated(chosen));
    return;
  }
  switch (askAboutPendingEdits(state)) {
    case 0:
      fire(std::make_shared<ApplyAndSelect>(chosen));
      break;
    case 1:
      fire(SelectedPathUpdated(chosen));
      break;
    default:
      // Stay on the item; the picker shows it again.
      if (state.displayed >= 0 && state.displayed < ui_->filePicker->count()) {
        ui_->filePicker->setCurrentIndex(state.displayed);
      }
      break;
  }
}

int ButtonBarController::askAboutPendingEdits(const InfoWindowState& state) {
  const auto shown = state.displayedPath();
  const std::string name = shown ? files::visibleName(shown->url().filename().string()) : std::string();
  appkit::Alert alert;
  alert.style = appkit::Alert::Style::warning;
  alert.messageText = appkit::localizedText(QStringLiteral("Apply the changes to \u201C%1\u201D?"))
                          .arg(qt(name))
                          .toStdString();
  alert.informativeText =
      appkit::localizedText("The changes belong to this item. If you discard them, they are lost.").toStdString();
  alert.buttons = {appkit::localizedText("Apply").toStdString(), appkit::localizedText("Discard").toStdString(),
                   appkit::localizedText("Cancel").toStdString()};
  if (!alerts_) alerts_ = std::make_shared<appkit::QtAlertPresenter>();
  return alerts_->runModal(alert) - appkit::kFirstButtonReturn;
}

bool ButtonBarController::shouldClose() {
  auto core = reactor();
  if (!core) return true;
  const InfoWindowState state = core->state();
  if (state.changes.empty() || state.displayed < 0) return true;
  if (appkit::Application::shuttingDown()) {
    LOG_INFO("closing an info window with pending edits: the application is shutting down");
    return true;
  }
  switch (askAboutPendingEdits(state)) {
    case 0:
      saveAndClose();  // closes through the cancel button once written
      return false;
    case 1:
      return true;
    default:
      return false;
  }
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
