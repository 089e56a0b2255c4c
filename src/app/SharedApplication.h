#pragma once
// The application's stand-in for the telemetry client's shared application: whether the
// application is hidden, its delegate (where the toolkit's lifecycle reaches the client's
// application forwarder), and opening a URL with the desktop's opener: a file URL through the
// workspace, any other URL through the desktop's default handler for its scheme.
//
// Made on the main thread once the toolkit application exists; installed as the client's shared
// application while it lives.
#include <memory>
#include <string>

#include "appkit/Workspace.h"
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
  explicit SharedApplication(std::shared_ptr<appkit::Workspace> workspace);

  bool isHidden() const override;
  std::shared_ptr<beacon::TLCustomApplicationDelegate> delegate() const override { return delegate_; }
  // A file URL names an item, opened by the workspace when it exists (the workspace logs what
  // its opener refuses); any other URL with a scheme goes to the desktop's handler for it. False
  // for text that is no URL, a file URL of another host or of no item, or a URL no handler took.
  bool openUrl(const std::string& url) override;

 private:
  std::shared_ptr<appkit::Workspace> workspace_;
  std::shared_ptr<ApplicationLifecycle> delegate_ = std::make_shared<ApplicationLifecycle>();
};

}  // namespace ml::app
