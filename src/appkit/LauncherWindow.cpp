#include "appkit/LauncherWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "appkit/ApplicationIcon.h"
#include "appkit/ItemPath.h"
#include "appkit/LocalizableControls.h"
#include "appkit/Localization.h"
#include "appkit/ToolkitFileNames.h"
#include "platform/dispatch/QueueAssert.h"
#include "ui_LauncherWindow.h"

namespace ml::appkit {

namespace {

std::vector<std::filesystem::path> localFiles(const QMimeData* data) {
  std::vector<std::filesystem::path> paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (auto path = localPathOfUrl(url)) paths.push_back(canonicalItemPath(*path));
  }
  return paths;
}

}  // namespace

LauncherWindow::LauncherWindow(LauncherActions actions, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::LauncherWindow>()), actions_(std::move(actions)) {
  ML_ASSERT_MAIN_THREAD();
  auto* central = new QWidget(this);  // owned by the window
  ui_->setupUi(central);
  setCentralWidget(central);
  awakeLocalizableControls(*central);
  for (auto* button : {ui_->showInfoButton, ui_->newListButton, ui_->findButton}) {
    button->setText(localizedText(button->text()));
  }
  setObjectName(QStringLiteral("LauncherWindow"));
  setWindowTitle(QApplication::applicationDisplayName());
  setWindowIcon(applicationIcon());
  ui_->icon->setPixmap(applicationIcon().pixmap(64, 64));
  setAcceptDrops(true);
  connect(ui_->showInfoButton, &QPushButton::clicked, this, [this] { if (actions_.showInfo) actions_.showInfo(); });
  connect(ui_->newListButton, &QPushButton::clicked, this, [this] { if (actions_.newList) actions_.newList(); });
  connect(ui_->findButton, &QPushButton::clicked, this, [this] { if (actions_.find) actions_.find(); });
  resize(460, 200);
}

LauncherWindow::~LauncherWindow() = default;

void LauncherWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!localFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void LauncherWindow::dropEvent(QDropEvent* event) {
  ML_ASSERT_MAIN_THREAD();
  auto paths = localFiles(event->mimeData());
  if (paths.empty()) return;
  event->acceptProposedAction();
  if (actions_.filesDropped) actions_.filesDropped(std::move(paths));
}

void LauncherWindow::closeEvent(QCloseEvent* event) {
  ML_ASSERT_MAIN_THREAD();
  // The launcher is only shown while no other window is open: closing it leaves nothing, so the
  // application ends rather than running on invisibly.
  event->accept();
  QApplication::quit();
}

}  // namespace ml::appkit
