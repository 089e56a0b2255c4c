#pragma once
// The application as the telemetry client sees it. The client has no user-interface toolkit of
// its own: the application installs a stand-in for its shared application object (whether it is
// hidden, its delegate, opening a URL with the desktop's opener), as it installs the main-screen
// provider. Until one is installed there is no shared application: the state reads as active on
// the main thread, there is no delegate, and opening a URL fails.
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "beacon/core/Service/TLCustomApplicationDelegate.h"

namespace ml::beacon {

// What the application installs for its shared application object.
class TLSharedApplication {
 public:
  virtual ~TLSharedApplication() = default;
  // Whether the application is hidden. Main thread.
  virtual bool isHidden() const = 0;
  // The application's delegate: where the application's lifecycle arrives. Any thread.
  virtual std::shared_ptr<TLCustomApplicationDelegate> delegate() const = 0;
  // Opens `url` with the desktop's opener; true when the opener took it. Main thread.
  virtual bool openUrl(const std::string& url) = 0;
};

class TLUtilityApplication {
 public:
  TLUtilityApplication() = delete;

  static constexpr int kActive = 0;
  static constexpr int kBackground = 2;
  static constexpr int kUnknown = 3;

  using OpenUrlOptions = std::map<std::string, std::string>;

  // The state of the application: an application extension does not exist on this platform, so
  // it is always sharedAppState().
  static int applicationState();
  // kUnknown off the main thread; on it kBackground when the shared application is hidden, else
  // kActive.
  static int sharedAppState();

  // The installed shared application, or nothing.
  static std::shared_ptr<TLSharedApplication> sharedApp();
  // The shared application's delegate, or nothing when there is no shared application.
  static std::shared_ptr<TLCustomApplicationDelegate> sharedAppDelegate();
  // On the main queue: opens `url` with the shared application's opener and calls `completion`
  // (when given) with whether it was opened; false without a shared application. The options are
  // ignored. Any thread; returns at once.
  static void sharedAppOpenUrl(const std::string& url, const OpenUrlOptions& options,
                               std::function<void(bool)> completion);

  // Installed once by the application at start, removed (nothing) when it goes. Thread-safe.
  static void installSharedApp(std::shared_ptr<TLSharedApplication> application);
};

}  // namespace ml::beacon
