#pragma once
// The application's stand-in for the telemetry client's shared application: whether the
// application is hidden, its delegate (where the toolkit's lifecycle reaches the client's
// application forwarder), and opening a URL with the desktop's default handler for it, whose
// answer is the answer: a file URL as the workspace hands items to the desktop (its bytes kept),
// any other URL as it is. The workspace's own open answers before the desktop has, so it is not
// the way here.
//
// Made on the main thread once the toolkit application exists; installed as the client's shared
// application while it lives. URLs are opened on the main thread (where the client asks).
#include <QUrl>
#include <functional>
#include <memory>
#include <string>

#include "beacon/core/TLUtilityApplication.h"

namespace ml::app {

// Hands the application's lifecycle to the client's application forwarder.
class ApplicationLifecycle final : public beacon::TLCustomApplicationDelegate {
 public:
  void applicationDidFinishLaunching() override;
  void applicationDidBecomeActive() override;
  void applicationDidResignActive() override;
  void applicationWillTerminate() override;
};

class SharedApplication final : public beacon::TLSharedApplication {
 public:
  // Hands a URL to the desktop's handler for it; false when none took it. Main thread.
  using UrlOpener = std::function<bool(const QUrl&)>;

  // Without an opener URLs go to QDesktopServices.
  explicit SharedApplication(UrlOpener opener = {});

  bool isHidden() const override;
  std::shared_ptr<beacon::TLCustomApplicationDelegate> delegate() const override { return delegate_; }
  // A file URL names an item, opened when it exists; any other URL with a scheme goes to the
  // desktop's handler for it. False for text that is no URL, a file URL of another host or of no
  // item, or a URL no handler took (each logged).
  bool openUrl(const std::string& url) override;

 private:
  UrlOpener opener_;
  std::shared_ptr<ApplicationLifecycle> delegate_ = std::make_shared<ApplicationLifecycle>();
};

}  // namespace ml::app
