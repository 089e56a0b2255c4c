#pragma once
// What the telemetry client learns from the toolkit: the application's lifecycle (finished
// launching, became active, resigned active, will terminate) through the client's application
// forwarder, where the session tracker listens; whether the application is hidden; and each
// window about to appear, through the automatic page-tracking hook (which tracks only when that
// tracking is switched on); the primary screen's size, for the device record; and the client's
// shared application (its delegate carries the lifecycle; URLs open with the desktop's handlers).
//
// Made on the main thread once the toolkit application exists; listens while it lives.
#include <memory>

namespace ml::appkit {
class ActivationWatcher;
class ViewAppearanceWatcher;
}  // namespace ml::appkit

namespace ml::app {

class MainScreenProvider;
class SharedApplication;

class TelemetryHooks {
 public:
  TelemetryHooks();
  ~TelemetryHooks();
  TelemetryHooks(const TelemetryHooks&) = delete;
  TelemetryHooks& operator=(const TelemetryHooks&) = delete;

  void didFinishLaunching();
  void willTerminate();

 private:
  std::unique_ptr<appkit::ActivationWatcher> activation_;
  std::unique_ptr<appkit::ViewAppearanceWatcher> appearance_;
  std::unique_ptr<MainScreenProvider> screen_;
  std::shared_ptr<SharedApplication> application_;
};

}  // namespace ml::app
