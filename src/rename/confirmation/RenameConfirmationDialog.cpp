#include "rename/confirmation/RenameConfirmationDialog.h"

#include <QDialog>
#include <QPushButton>
#include <cmath>

#include "appkit/LocalizableControls.h"
#include "appkit/values/Alert.h"
#include "files/VisibleName.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/foundation/LocalizedStrings.h"
#include "rename/ToolkitWindow.h"
#include "rename/mover/ItemName.h"
#include "rename/mover/RenameFailure.h"
#include "shell/core/ApplicationEvents.h"
#include "ui_RenameConfirmationDialog.h"

namespace ml::rename {

RenameConfirmationDialog::RenameConfirmationDialog(std::vector<files::Path> items,
                                                   std::shared_ptr<const shell::RenameRule> rule,
                                                   shell::WindowContext context)
    : context_(context), walk_(std::move(items), std::move(rule)) {}

void RenameConfirmationDialog::showAlert(const appkit::Alert& alert) const {
  ML_ASSERT_MAIN_THREAD();
  if (auto alerts = context_.alerts()) alerts->runModal(alert);
}

RenameConfirmationDialog::~RenameConfirmationDialog() {
  // May run off the main thread or at shutdown (see RenameDialog); the widgets go on the main queue.
  dispatch::MainQueue::shared().async([window = window_] { delete window.data(); });
}

const void* RenameConfirmationDialog::windowIdentity() const { return window_.data(); }

QDialog* RenameConfirmationDialog::window() {
  ML_ASSERT_MAIN_THREAD();
  if (!window_) {
    window_ = new QDialog();
    ui_ = std::make_unique<Ui::RenameConfirmationDialog>();
    ui_->setupUi(window_);
    appkit::awakeLocalizableControls(*window_);
    windowDidLoad();
  }
  return window_;
}

void RenameConfirmationDialog::beginSheet(const std::shared_ptr<shell::WindowController>& parent,
                                          std::function<void()> ended) {
  beginSheet(parent ? toolkitWindow(*parent) : nullptr, std::move(ended));
}

void RenameConfirmationDialog::beginSheet(QWidget* parent, std::function<void()> ended) {
  ML_ASSERT_MAIN_THREAD();
  if (walk_.isFinished()) {
    // Nothing would change: say so instead of showing an empty sheet.
    appkit::Alert alert;
    alert.style = appkit::Alert::Style::informational;
    alert.messageText = foundation::localizedString("No item would get a new name.");
    showAlert(alert);
    if (ended) ended();
    return;
  }
  ended_ = std::move(ended);
  QDialog* dialog = window();
  if (parent) dialog->setParent(parent, Qt::Dialog);
  dialog->adjustSize();
  dialog->open();
}

void RenameConfirmationDialog::windowDidLoad() {
  ML_ASSERT_MAIN_THREAD();
  if (auto self = weak_from_this().lock()) context_.announce(std::make_shared<const shell::ApplicationEvents::WindowOpened>(self));
  auto weak = weak_from_this();
  auto on = [weak](void (RenameConfirmationDialog::*action)()) {
    return [weak, action] {
      if (auto self = std::static_pointer_cast<RenameConfirmationDialog>(weak.lock())) ((*self).*action)();
    };
  };
  QObject::connect(ui_->renameButton, &QAbstractButton::clicked, window_, on(&RenameConfirmationDialog::renameItem));
  QObject::connect(ui_->skipButton, &QAbstractButton::clicked, window_, on(&RenameConfirmationDialog::skipItem));
  QObject::connect(ui_->renameRemainingButton, &QAbstractButton::clicked, window_,
                   on(&RenameConfirmationDialog::renameRemaining));
  QObject::connect(ui_->abortButton, &QAbstractButton::clicked, window_, on(&RenameConfirmationDialog::abortRenaming));
  QObject::connect(window_, &QDialog::finished, window_, [weak](int response) {
    if (auto self = std::static_pointer_cast<RenameConfirmationDialog>(weak.lock())) self->finished(response);
  });
  showItem();
}

void RenameConfirmationDialog::showItem() {
  ML_ASSERT_MAIN_THREAD();
  if (!ui_ || walk_.isFinished()) return;
  const auto shown = walk_.current();
  ui_->progressBar->setValue(static_cast<int>(std::floor(shown.progress)));
  ui_->currentNameLabel->setText(QString::fromStdString(files::visibleName(shown.currentName)));
  ui_->newNameField->setText(QString::fromStdString(files::visibleName(shown.newNameText)));
  ui_->problemLabel->setText(QString::fromStdString(shown.problem.value_or("")));
  ui_->problemLabel->setVisible(shown.problem.has_value());
  ui_->renameButton->setEnabled(shown.canRename);
}

void RenameConfirmationDialog::renameItem() {
  ML_ASSERT_MAIN_THREAD();
  if (walk_.isFinished()) return;
  const files::Path item = walk_.items()[walk_.index()];
  auto renamed = walk_.renameCurrent();
  if (!renamed) {
    if (window_) {
      appkit::Alert alert;
      alert.style = appkit::Alert::Style::warning;
      alert.messageText = foundation::localizedString("Unable to rename file");
      alert.informativeText = renameFailureText(item, renamed.error());
      showAlert(alert);
      ui_->renameButton->setEnabled(false);
    }
    return;
  }
  if (walk_.isFinished()) {
    finish();
    return;
  }
  showItem();
}

void RenameConfirmationDialog::skipItem() {
  ML_ASSERT_MAIN_THREAD();
  if (walk_.isFinished()) return;
  walk_.skip();
  if (walk_.isFinished()) {
    finish();
    return;
  }
  showItem();
}

void RenameConfirmationDialog::renameRemaining() {
  ML_ASSERT_MAIN_THREAD();
  if (walk_.isFinished()) return;
  const auto failures = walk_.renameRemaining();
  if (!failures.empty()) {
    appkit::Alert alert;
    alert.style = appkit::Alert::Style::warning;
    alert.messageText = foundation::localizedString("Some items could not be renamed.");
    for (const auto& failure : failures) {
      if (!alert.informativeText.empty()) alert.informativeText += "\n";
      alert.informativeText += renameFailureText(failure.item, failure.error);
    }
    showAlert(alert);
  }
  finish();
}

void RenameConfirmationDialog::abortRenaming() {
  ML_ASSERT_MAIN_THREAD();
  if (!window_ || !window_->isVisible()) return;
  walk_.abort();
  window_->done(kConfirmationAbortedResponse);
}

void RenameConfirmationDialog::finish() {
  ML_ASSERT_MAIN_THREAD();
  if (window_) window_->done(kConfirmationFinishedResponse);
}

void RenameConfirmationDialog::finished(int) {
  ML_ASSERT_MAIN_THREAD();
  auto self = weak_from_this().lock();  // the announcement below may drop the last other reference
  if (self) context_.announce(std::make_shared<const shell::ApplicationEvents::WindowClosed>(self));
  if (auto ended = std::move(ended_)) {
    ended_ = nullptr;
    ended();
  }
}

}  // namespace ml::rename
