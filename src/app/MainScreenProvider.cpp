#include "app/MainScreenProvider.h"

#include <QGuiApplication>
#include <QScreen>

#include "beacon/core/Context/TLDeviceTracker.h"

namespace ml::app {

MainScreenProvider::MainScreenProvider() {
  beacon::TLMainScreen::installProvider([current = current_]() {
    std::lock_guard guard(current->lock);
    return current->metrics;
  });
  QObject::connect(qGuiApp, &QGuiApplication::primaryScreenChanged, &context_,
                   [this](QScreen* screen) { follow(screen); });
  follow(QGuiApplication::primaryScreen());
}

MainScreenProvider::~MainScreenProvider() { beacon::TLMainScreen::installProvider({}); }

void MainScreenProvider::follow(QScreen* screen) {
  // Only the primary screen's changes matter: drop the connections to the one followed before.
  for (const auto& connection : screenConnections_) QObject::disconnect(connection);
  screenConnections_.clear();
  if (screen) {
    auto reread = [this] { read(); };
    screenConnections_.push_back(QObject::connect(screen, &QScreen::geometryChanged, &context_, reread));
    screenConnections_.push_back(QObject::connect(screen, &QScreen::physicalDotsPerInchChanged, &context_, reread));
    screenConnections_.push_back(QObject::connect(screen, &QScreen::logicalDotsPerInchChanged, &context_, reread));
  }
  read();
}

void MainScreenProvider::read() {
  std::optional<beacon::TLScreenMetrics> metrics;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = screen->geometry();
    metrics = beacon::TLScreenMetrics{static_cast<double>(frame.width()), static_cast<double>(frame.height()),
                                      screen->devicePixelRatio()};
  }
  {
    std::lock_guard guard(current_->lock);
    if (current_->metrics.has_value() == metrics.has_value() &&
        (!metrics || (current_->metrics->widthInPoints == metrics->widthInPoints &&
                      current_->metrics->heightInPoints == metrics->heightInPoints &&
                      current_->metrics->scaleFactor == metrics->scaleFactor))) {
      return;
    }
    current_->metrics = metrics;
  }
  beacon::TLDeviceTracker::refreshDeviceNextTime();
}

}  // namespace ml::app
