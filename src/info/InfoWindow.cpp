#include "info/InfoWindow.h"

#include "info/AttachedComment.h"
#include "info/BasicInfoController.h"
#include "info/ButtonBarController.h"
#include "info/DateAdjusterSheet.h"
#include "info/DatePickerSheetController.h"
#include "info/FailureReporter.h"
#include "info/FileInfoWindow.h"
#include "info/FinderAttributesController.h"
#include "info/FlagAttributesController.h"
#include "info/InfoWindowToolbarController.h"
#include "info/PermissionsController.h"
#include "info/state/InfoWindowEvents.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
#include "platform/logging/Log.h"
#include "shell/core/ApplicationEvents.h"

namespace ml::info {

InfoWindow::InfoWindow(shell::WindowContext context, dispatch::Clock& clock)
    : context_(context), core_(std::make_shared<store::Core<InfoWindowState>>(InfoWindowState(clock))) {}

// May run on any thread: the widgets go on the main queue.
InfoWindow::~InfoWindow() {
  dispatch::MainQueue::shared().async([window = window_] { delete window.data(); });
}

const void* InfoWindow::windowIdentity() const { return window_.data(); }
FileInfoWindow* InfoWindow::window() const { return window_.data(); }

void InfoWindow::initialize(const std::vector<files::Path>& items) { core_->fire(Initialized(items)); }

void InfoWindow::show() {
  ML_ASSERT_MAIN_THREAD();
  if (!window_) {
    window_ = new FileInfoWindow();
    std::weak_ptr<InfoWindow> weak = std::static_pointer_cast<InfoWindow>(shared_from_this());
    window_->setWillClose([weak] {
      if (auto self = weak.lock()) self->windowWillClose();
    });
    windowDidLoad();
  }
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void InfoWindow::windowDidLoad() {
  ML_ASSERT_MAIN_THREAD();
  LOG_TRACE();
  auto self = std::static_pointer_cast<InfoWindow>(shared_from_this());
  if (auto* global = context_.global) {
    global->fire(shell::ApplicationEvents::WindowOpened(self));
    globalObserverRelease_ = global->add(std::shared_ptr<store::Middleware<shell::GlobalState>>(self));
  } else {
    LOG_ERROR("info window opened without an application delegate; renames elsewhere will not reach it");
  }
  core_->fire(WindowLoaded(std::weak_ptr<InfoWindowHost>(self)));

  auto& basic = window_->basic();
  basic.setWindow(window_);
  basic.setReactor(core_);
  subscribe(*core_, basic);
  window_->buttons().setReactor(core_);
  if (auto alerts = context_.alerts()) window_->buttons().setAlerts(alerts);
  subscribe(*core_, window_->buttons());
  window_->flags().setReactor(core_);
  subscribe(*core_, window_->flags());
  window_->finder().setReactor(core_);
  subscribe(*core_, window_->finder());
  window_->toolbar().setReactor(core_);
  window_->toolbar().setWindow(self);
  subscribe(*core_, window_->toolbar());
  window_->permissions().setReactor(core_);
  window_->permissions().windowDidLoad();
  subscribe(*core_, window_->permissions());
  subscribe(*core_, *new FailureReporter(*window_));
  auto* copier = new AttachedCommentCopier(window_);
  copier->setReactor(core_);
  subscribe(*core_, *copier);
  subscribe(*core_, *window_.data());
}

void InfoWindow::process(const store::Event& event, const shell::GlobalState&) {
  if (auto* renamed = event.as<shell::ApplicationEvents::ItemsRenamed>()) core_->fire(*renamed);
  if (auto* trashed = event.as<shell::ItemsTrashed>()) core_->fire(*trashed);
}

void InfoWindow::windowWillClose() {
  ML_ASSERT_MAIN_THREAD();
  auto self = shared_from_this();
  context_.announce(std::make_shared<const shell::ApplicationEvents::WindowClosed>(self));
  if (globalObserverRelease_) globalObserverRelease_();
}

std::shared_ptr<shell::WindowController> InfoWindow::makeDateAdjuster(TimestampType type, files::Date date,
                                                                      DateCallback callback) {
  ML_ASSERT_MAIN_THREAD();
  return std::make_shared<DateAdjusterSheet>(type, date, std::move(callback), context_.global);
}

std::shared_ptr<shell::WindowController> InfoWindow::makeDatePicker(EditableField field, files::Date date,
                                                                    DateCallback callback) {
  ML_ASSERT_MAIN_THREAD();
  return std::make_shared<DatePickerSheetController>(field, date, std::move(callback), context_.global);
}

void InfoWindow::beginSheet(const std::shared_ptr<shell::WindowController>& sheet, std::function<void()> ended) {
  ML_ASSERT_MAIN_THREAD();
  auto controller = std::dynamic_pointer_cast<SheetController>(sheet);
  if (!controller || !window_) return;
  QDialog& dialog = controller->sheetWindow();
  dialog.setParent(window_, Qt::Dialog | Qt::Sheet);
  dialog.setWindowModality(Qt::WindowModal);
  // The connection keeps the sheet alive until it has ended, and goes after one call.
  QObject::connect(
      &dialog, &QDialog::finished, &dialog,
      [controller, ended = std::move(ended)](int) {
        if (ended) ended();
      },
      Qt::SingleShotConnection);
  dialog.open();
}

}  // namespace ml::info
