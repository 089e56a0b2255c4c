#include "appkit/Application.h"

#include <QApplication>
#include <QMetaObject>
#include <QWidget>

#include "appkit/ApplicationIcon.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/AppIdentity.h"

namespace ml::appkit {

namespace {

// Enough for chains of work that posts more work (a store drained at its destruction posts its
// subscribers' updates, whose release lets a window go, which deletes its widgets later) without
// letting a task that re-posts itself for ever hold up the exit.
constexpr int kDrainRounds = 50;

std::atomic<bool> gShuttingDown{false};

bool anyWindowVisible() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible()) return true;
  }
  return false;
}

}  // namespace

Application::Application(int& argc, char** argv)
    : argc_(argc), argv_(argv), app_(std::make_unique<QApplication>(argc, argv)) {
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
  std::weak_ptr<std::atomic<long>> counter = posted_;
  dispatch::MainQueue::installPoster([target, counter](std::function<void()> task) {
    // Counts the task while Qt holds it: the token goes with the last copy of the call.
    std::shared_ptr<void> token;
    if (auto posted = counter.lock()) {
      ++*posted;
      token = std::shared_ptr<void>(nullptr, [counter](void*) {
        if (auto left = counter.lock()) --*left;
      });
    }
    // Queued: runs on a later turn of the event loop, never inline in the poster.
    QMetaObject::invokeMethod(
        target, [task = std::move(task), token = std::move(token)] { task(); }, Qt::QueuedConnection);
  });
}

Application::~Application() { finish(); }

std::vector<std::string> Application::arguments() const {
  // Qt has taken its own options out of argv and lowered argc; what is left is the user's.
  std::vector<std::string> arguments;
  for (int i = 1; i < argc_; ++i) {
    if (argv_[i]) arguments.emplace_back(argv_[i]);
  }
  return arguments;
}

int Application::exec() { return QApplication::exec(); }

bool Application::shuttingDown() { return gShuttingDown.load(); }

void Application::closeWindows() {
  gShuttingDown.store(true);
  for (int round = 0; round < kDrainRounds; ++round) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->isVisible()) widget->close();
    }
    drain(1);
    if (!anyWindowVisible() && posted_->load() == 0) return;
  }
}

void Application::finish() {
  if (finished_) return;
  finished_ = true;
  drain(kDrainRounds);
  // From here on the main queue keeps what is posted to it; nothing more reaches Qt's queue.
  // installPoster returns only once no post is in progress, so what drain() runs next is all.
  dispatch::MainQueue::installPoster({});
  drain(kDrainRounds);
}

void Application::drain(int rounds) {
  for (int round = 0; round < rounds; ++round) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (posted_->load() == 0) return;
  }
}

}  // namespace ml::appkit
