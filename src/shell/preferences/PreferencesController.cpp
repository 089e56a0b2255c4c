#include "shell/preferences/PreferencesController.h"

#include <QPointer>
#include <QPushButton>
#include <QTabWidget>

#include "appkit/Application.h"
#include "appkit/Localization.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"
#include "shell/core/ApplicationEvents.h"
#include "shell/preferences/AdvancedPreferenceController.h"
#include "shell/preferences/DropKeysPreferenceController.h"
#include "shell/preferences/GeneralPreferenceController.h"
#include "shell/preferences/PreferencesWindow.h"
#include "ui_PreferencesController.h"

namespace ml::shell {

namespace {

std::string localized(const char* text) { return appkit::localizedText(QString::fromUtf8(text)).toStdString(); }

appkit::Alert saveFailedAlert() {
  appkit::Alert alert;
  alert.style = appkit::Alert::Style::critical;
  alert.messageText = localized("Failed to save preferences");
  alert.buttons = {localized("OK")};
  return alert;
}

// Answers: Save, Don't Save, Cancel (also Esc).
appkit::Alert unsavedChangesAlert() {
  appkit::Alert alert;
  alert.style = appkit::Alert::Style::warning;
  alert.messageText = localized("Do you want to save the changes you made to the preferences?");
  alert.informativeText = localized("Your changes will be lost if you don't save them.");
  alert.buttons = {localized("Save"), localized("Don't Save"), localized("Cancel")};
  return alert;
}

constexpr int kSaveAnswer = appkit::kFirstButtonReturn;
constexpr int kDiscardAnswer = appkit::kFirstButtonReturn + 1;

void addPane(QWidget& page, QWidget* pane) { page.layout()->addWidget(pane); }

}  // namespace

void PreferencesController::LaterDeleter::operator()(PreferencesWindow* window) const {
  // The last reference to the controller may be dropped on a store's queue, or while the
  // application shuts down, when only the main queue may still be posted to (never Qt directly).
  if (!window) return;
  dispatch::MainQueue::shared().async([window = QPointer<PreferencesWindow>(window)] { delete window.data(); });
}

std::shared_ptr<PreferencesController> PreferencesController::make(Services services) {
  std::shared_ptr<PreferencesController> controller(new PreferencesController(std::move(services)));
  controller->windowDidLoad();
  return controller;
}

PreferencesController::PreferencesController(Services services)
    : services_(std::move(services)), window_(new PreferencesWindow()), ui_(std::make_unique<Ui::PreferencesController>()) {}

PreferencesController::~PreferencesController() = default;

void PreferencesController::windowDidLoad() {
  ML_ASSERT_MAIN_THREAD();
  auto* content = new QWidget(window_.get());  // owned by the window
  ui_->setupUi(content);
  window_->setCentralWidget(content);

  general_ = new GeneralPreferenceController(*services_.preferences, ui_->generalTab);
  dropKeys_ = new DropKeysPreferenceController(*services_.preferences, services_.usageEvents, ui_->dropKeysTab);
  advanced_ = new AdvancedPreferenceController(*services_.preferences, ui_->advancedTab);
  addPane(*ui_->generalTab, general_);
  addPane(*ui_->dropKeysTab, dropKeys_);
  addPane(*ui_->advancedTab, advanced_);

  for (int i = 0; i < ui_->tabContainer->count(); ++i) {
    tabLabels_.push_back(ui_->tabContainer->tabText(i));
    ui_->tabContainer->setTabText(i, appkit::localizedText(ui_->tabContainer->tabText(i)));
  }
  for (QPushButton* button : {ui_->useDefaultsButton, ui_->saveButton}) {
    button->setText(appkit::localizedText(button->text()));
  }
  window_->setWindowTitle(appkit::localizedText(QStringLiteral("Preferences")));
  window_->resize(content->sizeHint().expandedTo(QSize(560, 470)));

  // Every hook holds the controller weakly: the window may outlive it by a turn of the loop.
  std::weak_ptr<PreferencesController> weak = std::static_pointer_cast<PreferencesController>(shared_from_this());
  QObject::connect(ui_->saveButton, &QPushButton::clicked, window_.get(), [weak] {
    if (auto self = weak.lock()) self->saveChanges();
  });
  QObject::connect(ui_->useDefaultsButton, &QPushButton::clicked, window_.get(), [weak] {
    if (auto self = weak.lock()) self->useDefaults();
  });
  QObject::connect(ui_->tabContainer, &QTabWidget::currentChanged, window_.get(), [weak](int index) {
    if (auto self = weak.lock()) self->tabSelected(index);
  });
  window_->setShouldClose([weak] {
    auto self = weak.lock();
    return !self || self->windowShouldClose();
  });
  window_->setDidClose([weak] {
    if (auto self = weak.lock()) self->announceClosing();
  });

  activePane_ = general_;
}

GeneralPreferenceController* PreferencesController::general() const { return general_; }
DropKeysPreferenceController* PreferencesController::dropKeys() const { return dropKeys_; }
AdvancedPreferenceController* PreferencesController::advanced() const { return advanced_; }
QTabWidget* PreferencesController::tabContainer() const { return ui_->tabContainer; }
QMainWindow* PreferencesController::window() const { return window_.get(); }
const void* PreferencesController::windowIdentity() const { return static_cast<const QWidget*>(window_.get()); }

void PreferencesController::show() {
  ML_ASSERT_MAIN_THREAD();
  window_->show();
  window_->raise();
  window_->activateWindow();
}

std::vector<PreferencesPane*> PreferencesController::panes() const {
  return {general_.data(), dropKeys_.data(), advanced_.data()};
}

void PreferencesController::tabSelected(int index) {
  ML_ASSERT_MAIN_THREAD();
  if (index < 0 || index >= static_cast<int>(tabLabels_.size())) return;
  QString label = tabLabels_[static_cast<std::size_t>(index)].toLower();
  if (label == QStringLiteral("general")) {
    activePane_ = general_;
  } else if (label == QStringLiteral("drop keys")) {
    activePane_ = dropKeys_;
  } else if (label == QStringLiteral("advanced")) {
    activePane_ = advanced_;
  }
}

void PreferencesController::useDefaults() {
  ML_ASSERT_MAIN_THREAD();
  if (activePane_) activePane_->applyDefaults();
}

bool PreferencesController::saveEditedPanes() {
  ML_ASSERT_MAIN_THREAD();
  std::vector<PreferencesPane*> toSave;
  if (activePane_) toSave.push_back(activePane_);
  for (PreferencesPane* pane : panes()) {
    if (pane && pane != activePane_ && pane->hasUnsavedChanges()) toSave.push_back(pane);
  }
  for (PreferencesPane* pane : toSave) {
    auto error = pane->save();
    if (!error) continue;
    LOG_ERROR("failed to save setting. pane=" << pane->name() << " error=" << error->description());
    // Show the pane whose edits did not reach the disk.
    if (auto* widget = dynamic_cast<QWidget*>(pane)) ui_->tabContainer->setCurrentWidget(widget->parentWidget());
    if (services_.alerts) services_.alerts->runModal(saveFailedAlert());
    return false;
  }
  return true;
}

void PreferencesController::saveChanges() {
  ML_ASSERT_MAIN_THREAD();
  if (!saveEditedPanes()) return;
  saved_ = true;
  announceClosing();
  window_->close();
}

bool PreferencesController::windowShouldClose() {
  ML_ASSERT_MAIN_THREAD();
  if (saved_) return true;
  bool edited = false;
  for (PreferencesPane* pane : panes()) edited = edited || (pane && pane->hasUnsavedChanges());
  if (!edited) return true;
  if (appkit::Application::shuttingDown()) {
    LOG_INFO("closing the preferences with unsaved edits: the application is shutting down");
    return true;
  }
  if (!services_.alerts) {
    LOG_WARNING("closing the preferences without asking about unsaved edits: no alerts available");
    return true;
  }
  int answer = services_.alerts->runModal(unsavedChangesAlert());
  if (answer == kSaveAnswer) return saveEditedPanes();
  return answer == kDiscardAnswer;
}

void PreferencesController::announceClosing() {
  ML_ASSERT_MAIN_THREAD();
  if (closingAnnounced_) return;
  closingAnnounced_ = true;
  LOG_DEBUG("preferences window closing");
  if (services_.announce) services_.announce(std::make_shared<const ApplicationEvents::WindowClosed>(shared_from_this()));
}

}  // namespace ml::shell
