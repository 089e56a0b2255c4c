#include "info/FileInfoWindow.h"

#include <QCloseEvent>
#include <QResizeEvent>
#include <QScreen>

#include <algorithm>

#include "appkit/LocalizableControls.h"
#include "appkit/Localization.h"
#include "files/FileSystem.h"
#include "files/VisibleName.h"
#include "info/BasicInfoController.h"
#include "info/ButtonBarController.h"
#include "info/FinderAttributesController.h"
#include "info/FlagAttributesController.h"
#include "info/InfoWindowToolbarController.h"
#include "info/PaneScrollArea.h"
#include "info/PermissionsController.h"
#include "platform/dispatch/QueueAssert.h"
#include "rename/mover/RenameFailure.h"
#include "ui_FileInfoWindow.h"

namespace ml::info {

FileInfoWindow::FileInfoWindow(QWidget* parent) : QMainWindow(parent), ui_(std::make_unique<Ui::FileInfoWindow>()) {
  ML_ASSERT_MAIN_THREAD();
  ui_->setupUi(this);
  toolbar_ = new InfoWindowToolbarController(*ui_->toolbar, this);
  missingNotice_ = new QLabel(this);
  missingNotice_->setObjectName(QStringLiteral("missingItemNotice"));
  missingNotice_->setWordWrap(true);
  missingNotice_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  missingNotice_->setContentsMargins(12, 12, 12, 12);
  missingNotice_->hide();
  ui_->windowLayout->insertWidget(0, missingNotice_);
  appkit::awakeLocalizableControls(*this);
  connect(ui_->paneScroller, &PaneScrollArea::panesChanged, this, &FileInfoWindow::fitToPanes);
  // The cancel (or close) button closes the window, dropping pending edits (it reads "Cancel"
  // then); a close also ends the window's life. Any other close asks about pending edits first.
  connect(&ui_->buttons->cancelButton(), &QPushButton::clicked, this, [this] {
    closingByButton_ = true;
    close();
    closingByButton_ = false;
  });
}

FileInfoWindow::~FileInfoWindow() = default;

BasicInfoController& FileInfoWindow::basic() { return *ui_->basic; }
ButtonBarController& FileInfoWindow::buttons() { return *ui_->buttons; }
FlagAttributesController& FileInfoWindow::flags() { return *ui_->flags; }
FinderAttributesController& FileInfoWindow::finder() { return *ui_->finder; }
PermissionsController& FileInfoWindow::permissions() { return *ui_->permissions; }

void FileInfoWindow::update(const InfoWindowState& state) {
  const auto shown = state.displayedPath();
  if (!shown) return;  // nothing left to show: the window is closing
  const bool missing = !shown->fileSystem().exists(*shown);
  if (missing) {
    const std::string where = shown->url().parent_path().string();
    missingNotice_->setText(
        appkit::localizedText(QStringLiteral("\u201C%1\u201D does not exist in %2."))
            .arg(QString::fromStdString(rename::breakableText(files::visibleName(shown->url().filename().string()))),
                 QString::fromStdString(rename::breakableText(where))));
  }
  missingNotice_->setVisible(missing);
  for (QWidget* pane : {static_cast<QWidget*>(ui_->basic), static_cast<QWidget*>(ui_->finderGroup),
                        static_cast<QWidget*>(ui_->flagsGroup), static_cast<QWidget*>(ui_->permissionsGroup)}) {
    pane->setVisible(!missing);
  }
  fitToPanes();  // the panes have drawn the item: this window is the store's last subscriber
}

void FileInfoWindow::fitToPanes() {
  if (!followsPanes_) return;
  // Grows only: showing a smaller item next does not make the window jump.
  QSize wanted = sizeHint().expandedTo(size());
  QScreen* shownOn = screen();
  const QSize decoration = frameGeometry().size() - size();
  if (shownOn) wanted = wanted.boundedTo(shownOn->availableGeometry().size() - decoration);
  wanted = wanted.expandedTo(minimumSizeHint());
  if (wanted == size()) return;
  fittedSize_ = wanted;
  if (shownOn && isVisible()) {
    // Grown where it was first placed (for its first, smaller size), the window would reach past
    // the screen's edge, where the window system cuts it down and the panes scroll for nothing:
    // it moves first, so that the whole of it lies on the free area.
    const QRect free = shownOn->availableGeometry();
    QRect frame(pos(), wanted + decoration);  // pos() is the frame's corner
    frame.moveRight(std::min(frame.right(), free.right()));
    frame.moveBottom(std::min(frame.bottom(), free.bottom()));
    frame.moveLeft(std::max(frame.left(), free.left()));
    frame.moveTop(std::max(frame.top(), free.top()));
    if (frame.topLeft() != pos()) move(frame.topLeft());
  }
  resize(wanted);
}

void FileInfoWindow::resizeEvent(QResizeEvent* event) {
  // A size the window system gives that is not the one asked for is the user's: kept from then on.
  if (event->spontaneous() && fittedSize_.isValid() && event->size() != fittedSize_) followsPanes_ = false;
  QMainWindow::resizeEvent(event);
}

void FileInfoWindow::closeEvent(QCloseEvent* event) {
  ML_ASSERT_MAIN_THREAD();
  if (!closingByButton_ && !ui_->buttons->shouldClose()) {
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
  if (!event->isAccepted()) return;
  if (auto willClose = std::exchange(willClose_, nullptr)) willClose();
}

}  // namespace ml::info
