#include "shell/preferences/AdvancedPreferenceController.h"

#include <QCheckBox>

#include "appkit/Localization.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"
#include "shell/preferences/PreferenceKeys.h"
#include "shell/preferences/PreferenceWrites.h"
#include "ui_AdvancedPreferenceController.h"

namespace ml::shell {

AdvancedPreferenceController::AdvancedPreferenceController(foundation::Preferences& preferences, QWidget* parent)
    : TolvekViewController(parent), ui_(std::make_unique<Ui::AdvancedPreferenceController>()), preferences_(preferences) {
  ML_ASSERT_MAIN_THREAD();
  ui_->setupUi(this);
  finishLoading();
}

AdvancedPreferenceController::~AdvancedPreferenceController() = default;

QCheckBox* AdvancedPreferenceController::debugLogsCheckbox() const { return ui_->debugLogsCheckbox; }

void AdvancedPreferenceController::viewDidLoad() {
  ML_ASSERT_MAIN_THREAD();
  ui_->debugLogsCheckbox->setText(appkit::localizedText(ui_->debugLogsCheckbox->text()));
  revertChanges();
}

void AdvancedPreferenceController::revertChanges() {
  ML_ASSERT_MAIN_THREAD();
  shownDebugLogs_ = preferences_.boolean(kDebugLogsKey).value_or(false);
  ui_->debugLogsCheckbox->setChecked(shownDebugLogs_);
}

void AdvancedPreferenceController::applyDefaults() { ui_->debugLogsCheckbox->setChecked(false); }

std::optional<foundation::Error> AdvancedPreferenceController::save() {
  ML_ASSERT_MAIN_THREAD();
  bool on = ui_->debugLogsCheckbox->isChecked();
  LOG_DEBUG("saving debug logs setting: " << (on ? "true" : "false"));
  auto stored = storePreferences(preferences_, {{kDebugLogsKey, foundation::PlistValue(on)}});
  if (!stored) return stored.error();
  shownDebugLogs_ = on;
  return std::nullopt;
}

bool AdvancedPreferenceController::hasUnsavedChanges() const {
  ML_ASSERT_MAIN_THREAD();
  return ui_->debugLogsCheckbox->isChecked() != shownDebugLogs_;
}

}  // namespace ml::shell
