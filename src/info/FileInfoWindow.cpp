#include "info/FileInfoWindow.h"

#include <QCloseEvent>

#include "appkit/LocalizableControls.h"
#include "info/BasicInfoController.h"
#include "info/ButtonBarController.h"
#include "info/FinderAttributesController.h"
#include "info/FlagAttributesController.h"
#include "info/InfoWindowToolbarController.h"
#include "info/PermissionsController.h"
#include "platform/dispatch/QueueAssert.h"
#include "ui_FileInfoWindow.h"

namespace ml::info {

FileInfoWindow::FileInfoWindow(QWidget* parent) : QMainWindow(parent), ui_(std::make_unique<Ui::FileInfoWindow>()) {
  ML_ASSERT_MAIN_THREAD();
  ui_->setupUi(this);
  toolbar_ = new InfoWindowToolbarController(*ui_->toolbar, this);
  appkit::awakeLocalizableControls(*this);
  // The cancel (or close) button closes the window; a close also ends the window's life.
  connect(&ui_->buttons->cancelButton(), &QPushButton::clicked, this, &QWidget::close);
}

FileInfoWindow::~FileInfoWindow() = default;

BasicInfoController& FileInfoWindow::basic() { return *ui_->basic; }
ButtonBarController& FileInfoWindow::buttons() { return *ui_->buttons; }
FlagAttributesController& FileInfoWindow::flags() { return *ui_->flags; }
FinderAttributesController& FileInfoWindow::finder() { return *ui_->finder; }
PermissionsController& FileInfoWindow::permissions() { return *ui_->permissions; }

void FileInfoWindow::closeEvent(QCloseEvent* event) {
  ML_ASSERT_MAIN_THREAD();
  QMainWindow::closeEvent(event);
  if (!event->isAccepted()) return;
  if (auto willClose = std::exchange(willClose_, nullptr)) willClose();
}

}  // namespace ml::info
