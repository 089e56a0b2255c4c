#include "beacon/core/TLUtilityApplication.h"

#include <mutex>

#include "beacon/core/TLLogger.h"
#include "beacon/core/TLNeverDestroyed.h"
#include "platform/dispatch/MainQueue.h"

namespace ml::beacon {

namespace {

struct InstalledApplication {
  std::mutex lock;
  std::shared_ptr<TLSharedApplication> application;
};

InstalledApplication& installed() {
  static TLNeverDestroyed<InstalledApplication> holder;
  return holder.get();
}

}  // namespace

int TLUtilityApplication::applicationState() { return sharedAppState(); }

int TLUtilityApplication::sharedAppState() {
  if (!dispatch::MainQueue::isMainThread()) return kUnknown;
  auto application = sharedApp();
  return application && application->isHidden() ? kBackground : kActive;
}

std::shared_ptr<TLSharedApplication> TLUtilityApplication::sharedApp() {
  auto& holder = installed();
  std::lock_guard guard(holder.lock);
  return holder.application;
}

std::shared_ptr<TLCustomApplicationDelegate> TLUtilityApplication::sharedAppDelegate() {
  // Asked outside the lock: the stand-in may take locks of its own.
  auto application = sharedApp();
  return application ? application->delegate() : nullptr;
}

void TLUtilityApplication::sharedAppOpenUrl(const std::string& url, const OpenUrlOptions& options,
                                             std::function<void(bool)> completion) {
  (void)options;
  dispatch::MainQueue::shared().async([url, completion = std::move(completion)] {
    bool opened = false;
    if (auto application = sharedApp()) {
      opened = application->openUrl(url);
    } else {
      TL_LOG_WARNING(kBeaconLogTag, "No shared application to open the URL " << url);
    }
    if (completion) completion(opened);
  });
}

void TLUtilityApplication::installSharedApp(std::shared_ptr<TLSharedApplication> application) {
  auto& holder = installed();
  std::lock_guard guard(holder.lock);
  holder.application = std::move(application);
}

}  // namespace ml::beacon
