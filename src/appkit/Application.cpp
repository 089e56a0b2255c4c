#include "appkit/Application.h"

#include <QApplication>
#include <QMetaObject>

#include "appkit/ApplicationIcon.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/AppIdentity.h"

namespace ml::appkit {

Application::Application(int& argc, char** argv) : app_(std::make_unique<QApplication>(argc, argv)) {
  dispatch::MainQueue::markCurrentThreadAsMain();  // first: what follows asserts it
  QApplication::setApplicationName(QString::fromStdString(foundation::AppIdentity::name()));
  QApplication::setApplicationDisplayName(QString::fromStdString(foundation::AppIdentity::name()));
  QApplication::setApplicationVersion(QString::fromStdString(foundation::AppIdentity::version()));
  QApplication::setOrganizationDomain(QStringLiteral("marrowlane.org"));
  // Ties windows to the installed .desktop file (icon and name on Wayland and in task bars).
  QGuiApplication::setDesktopFileName(QString::fromStdString(foundation::AppIdentity::identifier()));
  QApplication::setWindowIcon(applicationIcon());
  QApplication::setQuitOnLastWindowClosed(false);

  QApplication* target = app_.get();
  dispatch::MainQueue::installPoster([target](std::function<void()> task) {
    // Queued: runs on a later turn of the event loop, never inline in the poster.
    QMetaObject::invokeMethod(target, std::move(task), Qt::QueuedConnection);
  });
}

Application::~Application() { dispatch::MainQueue::installPoster({}); }

std::vector<std::string> Application::arguments() const {
  std::vector<std::string> arguments;
  const QStringList all = QCoreApplication::arguments();
  for (qsizetype i = 1; i < all.size(); ++i) arguments.push_back(all.at(i).toStdString());
  return arguments;
}

int Application::exec() { return QApplication::exec(); }

}  // namespace ml::appkit
