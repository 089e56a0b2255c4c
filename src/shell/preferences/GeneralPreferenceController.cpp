#include "shell/preferences/GeneralPreferenceController.h"

#include <QComboBox>

#include "appkit/Localization.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"
#include "shell/preferences/PreferenceKeys.h"
#include "shell/preferences/PreferenceWrites.h"
#include "ui_GeneralPreferenceController.h"

namespace ml::shell {

namespace {

constexpr int kValueRole = Qt::UserRole;

void localizeItems(QComboBox& popup) {
  for (int i = 0; i < popup.count(); ++i) popup.setItemText(i, appkit::localizedText(popup.itemText(i)));
}

}  // namespace

GeneralPreferenceController::GeneralPreferenceController(foundation::Preferences& preferences, QWidget* parent)
    : TolvekViewController(parent), ui_(std::make_unique<Ui::GeneralPreferenceController>()), preferences_(preferences) {
  ui_->setupUi(this);
  finishLoading();
}

GeneralPreferenceController::~GeneralPreferenceController() = default;

QComboBox* GeneralPreferenceController::startupActionPopup() const { return ui_->startupActionPopup; }
QComboBox* GeneralPreferenceController::dropActionPopup() const { return ui_->dropActionPopup; }

int GeneralPreferenceController::startupIndex(StartupAction action) {
  switch (action) {
    case StartupAction::none: return 0;
    case StartupAction::newList: return 2;
    case StartupAction::find: return 3;
  }
  return 0;
}

std::optional<int> GeneralPreferenceController::dropIndex(DropAction action) {
  switch (action) {
    case DropAction::info: return 0;
    case DropAction::list: return 1;
    case DropAction::rename: return 3;
    default: return std::nullopt;
  }
}

void GeneralPreferenceController::viewDidLoad() {
  ML_ASSERT_MAIN_THREAD();
  QComboBox& startup = *ui_->startupActionPopup;
  QComboBox& drop = *ui_->dropActionPopup;
  localizeItems(startup);
  localizeItems(drop);
  // The separators carry no value and cannot be selected.
  startup.insertSeparator(1);
  drop.insertSeparator(2);
  for (StartupAction action : {StartupAction::none, StartupAction::newList, StartupAction::find}) {
    startup.setItemData(startupIndex(action), QString::fromUtf8(rawValue(action).data(), rawValue(action).size()), kValueRole);
  }
  for (DropAction action : {DropAction::info, DropAction::list, DropAction::rename}) {
    drop.setItemData(*dropIndex(action), QString::fromUtf8(rawValue(action).data(), rawValue(action).size()), kValueRole);
  }
  selectStoredSettings();
}

void GeneralPreferenceController::revertChanges() { selectStoredSettings(); }

void GeneralPreferenceController::selectStoredSettings() {
  ML_ASSERT_MAIN_THREAD();
  std::optional<StartupAction> startup;
  if (auto stored = preferences_.string(kStartupActionKey)) startup = startupActionFromRawValue(*stored);
  ui_->startupActionPopup->setCurrentIndex(startupIndex(startup.value_or(StartupAction::none)));

  int dropIndexShown = 0;
  if (auto stored = preferences_.string(kDropActionKey)) {
    if (auto action = dropActionFromRawValue(*stored)) {
      if (auto index = dropIndex(*action)) {
        dropIndexShown = *index;
      } else {
        LOG_WARNING("unsupported default action: " << *action);
      }
    }
  }
  ui_->dropActionPopup->setCurrentIndex(dropIndexShown);
  rememberShownSettings();
}

void GeneralPreferenceController::applyDefaults() {
  ML_ASSERT_MAIN_THREAD();
  ui_->startupActionPopup->setCurrentIndex(0);
  ui_->dropActionPopup->setCurrentIndex(0);
}

std::optional<StartupAction> GeneralPreferenceController::selectedStartupAction() const {
  QVariant value = ui_->startupActionPopup->currentData(kValueRole);
  if (!value.isValid()) return std::nullopt;
  return startupActionFromRawValue(value.toString().toStdString());
}

std::optional<DropAction> GeneralPreferenceController::selectedDropAction() const {
  QVariant value = ui_->dropActionPopup->currentData(kValueRole);
  if (!value.isValid()) return std::nullopt;
  return dropActionFromRawValue(value.toString().toStdString());
}

std::optional<foundation::Error> GeneralPreferenceController::save() {
  ML_ASSERT_MAIN_THREAD();
  // The separators cannot be selected, so a value is always there; the defaults stand in anyway.
  StartupAction startup = selectedStartupAction().value_or(StartupAction::none);
  DropAction drop = selectedDropAction().value_or(DropAction::info);
  LOG_DEBUG("saving startup action: " << rawValue(startup));
  LOG_DEBUG("saving drop action: " << drop);
  auto stored = storePreferences(preferences_, {{kStartupActionKey, foundation::PlistValue(rawValue(startup))},
                                                {kDropActionKey, foundation::PlistValue(rawValue(drop))}});
  if (!stored) return stored.error();
  rememberShownSettings();
  return std::nullopt;
}

bool GeneralPreferenceController::hasUnsavedChanges() const {
  ML_ASSERT_MAIN_THREAD();
  return ui_->startupActionPopup->currentIndex() != shownStartupIndex_ ||
         ui_->dropActionPopup->currentIndex() != shownDropIndex_;
}

void GeneralPreferenceController::rememberShownSettings() {
  ML_ASSERT_MAIN_THREAD();
  shownStartupIndex_ = ui_->startupActionPopup->currentIndex();
  shownDropIndex_ = ui_->dropActionPopup->currentIndex();
}

}  // namespace ml::shell
