#pragma once
// Tells the telemetry client the size of the primary screen (the device record's "screenSize"):
// installs TLMainScreen's provider from the toolkit's primary screen and keeps it current as the
// primary screen changes, or its geometry or pixel ratio does; each change has the client
// rebuild its device record for the next log.
//
// Made on the main thread once the toolkit application exists, before the telemetry client
// starts; the provider answers from values kept here, from any thread, and is removed when this
// goes.
#include <QObject>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "beacon/core/Context/TLMainScreen.h"

class QScreen;

namespace ml::app {

class MainScreenProvider {
 public:
  MainScreenProvider();
  ~MainScreenProvider();
  MainScreenProvider(const MainScreenProvider&) = delete;
  MainScreenProvider& operator=(const MainScreenProvider&) = delete;

 private:
  struct Current {
    std::mutex lock;
    std::optional<beacon::TLScreenMetrics> metrics;
  };

  // Reads the primary screen now (main thread) and follows its changes.
  void follow(QScreen* screen);
  void read();

  std::shared_ptr<Current> current_ = std::make_shared<Current>();
  QObject context_;  // ends the toolkit connections when this goes
  std::vector<QMetaObject::Connection> screenConnections_;  // to the screen followed now
};

}  // namespace ml::app
