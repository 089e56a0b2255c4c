#include "shell/preferences/DropKeysPreferenceController.h"

#include <QPushButton>
#include <QLabel>
#include <QPointer>
#include <QVariant>
#include <sstream>

#include "appkit/Localization.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"
#include "shell/DropKeyBindings.h"
#include "shell/preferences/DropKeyBindingSheet.h"
#include "shell/preferences/DropKeyField.h"
#include "shell/preferences/PreferenceKeys.h"
#include "shell/preferences/PreferenceWrites.h"
#include "ui_DropKeysPreferenceController.h"

namespace ml::shell {

namespace {

// "[info: nil, list: DropKeys(characters: "K", modifiers: [command])]"
std::string describe(const std::map<DropAction, std::optional<DropKeys>>& settings) {
  std::ostringstream out;
  out << '[';
  const char* separator = "";
  for (const auto& [action, keys] : settings) {
    out << separator << action << ": ";
    if (keys) {
      out << *keys;
    } else {
      out << "nil";
    }
    separator = ", ";
  }
  out << ']';
  return out.str();
}

bool isStored(DropAction action) {
  for (DropAction stored : DropKeysPreferenceController::kStoredActions) {
    if (stored == action) return true;
  }
  return false;
}

}  // namespace

DropKeysPreferenceController::DropKeysPreferenceController(foundation::Preferences& preferences,
                                                           std::shared_ptr<UsageEvents> usageEvents, QWidget* parent)
    : TolvekViewController(parent),
      ui_(std::make_unique<Ui::DropKeysPreferenceController>()),
      preferences_(preferences),
      usageEvents_(std::move(usageEvents)),
      sheetClock_(&dispatch::Clock::system()),
      sheetQueue_(&dispatch::MainQueue::shared()) {
  ui_->setupUi(this);
  finishLoading();
}

DropKeysPreferenceController::~DropKeysPreferenceController() = default;

DropKeyField* DropKeysPreferenceController::field(DropAction action) const {
  switch (action) {
    case DropAction::info: return ui_->getInfoBinding;
    case DropAction::list: return ui_->viewInListBinding;
    case DropAction::rename: return ui_->renameBinding;
    case DropAction::move: return ui_->moveBinding;
    case DropAction::copy: return ui_->copyBinding;
    case DropAction::group: return ui_->groupInfoBinding;
    case DropAction::alias: return ui_->makeAliasBinding;
    case DropAction::similar: return ui_->findSimilarBinding;
    case DropAction::ask: return ui_->askMeEachTimeBinding;
  }
  return nullptr;
}

QPushButton* DropKeysPreferenceController::button(DropAction action) const {
  for (QPushButton* candidate : findChildren<QPushButton*>()) {
    QVariant tag = candidate->property("tag");
    if (tag.isValid() && dropActionFromTag(tag.toLongLong()) == action) return candidate;
  }
  return nullptr;
}

void DropKeysPreferenceController::setSheetTiming(dispatch::Clock& clock, dispatch::Queue& queue) {
  sheetClock_ = &clock;
  sheetQueue_ = &queue;
}

void DropKeysPreferenceController::viewDidLoad() {
  ML_ASSERT_MAIN_THREAD();
  for (QPushButton* candidate : findChildren<QPushButton*>()) {
    candidate->setText(appkit::localizedText(candidate->text()));
    QVariant tag = candidate->property("tag");
    if (!tag.isValid()) continue;
    connect(candidate, &QPushButton::clicked, this, [this, tag = tag.toInt()] { setBinding(tag); });
  }
  for (DropAction action : kAllDropActions) {
    // Every field starts with its built-in binding, so the pane shows what a drop would do.
    field(action)->setObjectValue(defaultKey(action));
    if (isStored(action)) continue;
    field(action)->hide();
    button(action)->hide();
    if (auto* label = findChild<QWidget*>(field(action)->objectName() + QStringLiteral("Label"))) label->hide();
  }
  loadCurrentSettings();
}

void DropKeysPreferenceController::revertChanges() { loadCurrentSettings(); }

void DropKeysPreferenceController::loadCurrentSettings() {
  ML_ASSERT_MAIN_THREAD();
  auto data = preferences_.data(kDropKeysKey);
  DropKeyBindings bindings;
  if (data) {
    auto decoded = decodeDropKeyBindings(*data);
    if (!decoded) {
      LOG_ERROR("failed to load settings: " << decoded.error());
      loaded_ = shownBindings();
      return;
    }
    bindings = *decoded;
  }
  // Nothing stored means the built-in bindings, also when reverting edited fields.
  for (DropAction action : kStoredActions) {
    auto found = bindings.find(action);
    field(action)->setObjectValue(found != bindings.end() ? found->second : defaultKey(action));
  }
  loaded_ = shownBindings();
}

void DropKeysPreferenceController::applyDefaults() {
  ML_ASSERT_MAIN_THREAD();
  for (DropAction action : kStoredActions) field(action)->setObjectValue(defaultKey(action));
}

std::optional<DropKeys> DropKeysPreferenceController::coalesce(const std::optional<DropKeys>& setting,
                                                               DropAction action) const {
  if (!setting) return std::nullopt;
  LOG_DEBUG("comparing default setting for " << action << " with current setting: " << *setting);
  if (*setting == defaultKey(action)) return std::nullopt;
  return setting;
}

std::map<DropAction, std::optional<DropKeys>> DropKeysPreferenceController::shownBindings() const {
  std::map<DropAction, std::optional<DropKeys>> shown;
  for (DropAction action : kStoredActions) shown[action] = field(action)->objectValue();
  return shown;
}

std::optional<foundation::Error> DropKeysPreferenceController::save() {
  ML_ASSERT_MAIN_THREAD();
  std::map<DropAction, std::optional<DropKeys>> settings;
  for (DropAction action : kStoredActions) settings[action] = coalesce(field(action)->objectValue(), action);
  LOG_DEBUG("all settings: " << describe(settings));

  DropKeyBindings changed;
  for (const auto& [action, keys] : settings) {
    if (keys) changed[action] = *keys;
  }
  std::optional<foundation::Error> failure;
  try {
    auto stored = storePreferences(preferences_, {{kDropKeysKey, foundation::PlistValue(encodeDropKeyBindings(changed))}});
    if (!stored) failure = stored.error();
  } catch (const nlohmann::json::exception& e) {
    // Characters that are not UTF-8 cannot be written as JSON text.
    failure = foundation::Error::make(kDropKeysErrorDomain, 20, e.what());
  }
  if (failure) {
    LOG_ERROR("failed to write dropkeys to settings. settings=" << describe(settings) << " error=" << *failure);
    if (usageEvents_) usageEvents_->trackEvent(kDropKeySaveFailureEvent, {});
    return failure;
  }
  loaded_ = shownBindings();
  return std::nullopt;
}

std::optional<QString> DropKeysPreferenceController::refusal(DropAction action, const DropKeys& keys) const {
  DropKeyBindings shown;
  for (const auto& [stored, binding] : shownBindings()) {
    if (binding) shown[stored] = *binding;
  }
  if (!keysPicking(action, keys)) return appkit::localizedText(QStringLiteral("No drop can hold these keys."));
  auto other = actionSharingKeys(action, keys, shown);
  if (!other) return std::nullopt;
  QString name = actionName(*other);
  return appkit::localizedText(QStringLiteral("\u201C%1\u201D already uses these keys. Choose other keys, or give \u201C%1\u201D other keys first."))
      .arg(name);
}

QString DropKeysPreferenceController::actionName(DropAction action) const {
  if (auto* label = findChild<QLabel*>(field(action)->objectName() + QStringLiteral("Label"))) return label->text();
  return QString::fromUtf8(rawValue(action).data(), static_cast<qsizetype>(rawValue(action).size()));
}

bool DropKeysPreferenceController::hasUnsavedChanges() const { return shownBindings() != loaded_; }

DropKeyBindingSheet* DropKeysPreferenceController::setBinding(int tag) {
  ML_ASSERT_MAIN_THREAD();
  auto action = dropActionFromTag(tag);
  if (!action) return nullptr;
  // Owned by the window it is shown on until it closes, then it deletes itself.
  auto* sheet = new DropKeyBindingSheet(window(), *sheetClock_, *sheetQueue_);
  QPointer<DropKeyField> target = field(*action);
  if (auto* label = findChild<QLabel*>(target->objectName() + QStringLiteral("Label"))) sheet->setActionName(label->text());
  sheet->setCallback([target](const DropKeys& keys) {
    if (target) target->setObjectValue(keys);
  });
  // Keys another action already has would leave one of the two bindings without effect (the
  // drop picks only one), so they are refused here, while the user is choosing them.
  if (isStored(*action)) {
    QPointer<DropKeysPreferenceController> pane = this;
    sheet->setValidator([pane, bound = *action](const DropKeys& keys) -> std::optional<QString> {
      if (!pane) return std::nullopt;
      return pane->refusal(bound, keys);
    });
  }
  sheet->beginSheet();
  return sheet;
}

}  // namespace ml::shell
