#include "app/TelemetryHooks.h"

#include "app/MainScreenProvider.h"
#include "appkit/ActivationWatcher.h"
#include "appkit/ViewAppearance.h"
#include "beacon/analytics/TLAnalyticsCategory.h"
#include "beacon/core/Service/TLAppDelegateForwarder.h"
#include "beacon/core/TLUtilityApplication.h"

namespace ml::app {

TelemetryHooks::TelemetryHooks() : screen_(std::make_unique<MainScreenProvider>()) {
  beacon::TLUtilityApplication::installHiddenQuery([] { return appkit::ActivationWatcher::isApplicationHidden(); });
  activation_ = std::make_unique<appkit::ActivationWatcher>(
      [] { beacon::TLAppDelegateForwarder::sharedInstance()->applicationDidBecomeActive(); },
      [] { beacon::TLAppDelegateForwarder::sharedInstance()->applicationDidResignActive(); });
  appearance_ = std::make_unique<appkit::ViewAppearanceWatcher>(
      [](std::string_view className) { beacon::TLAnalyticsCategory::viewWillAppear(className); });
}

TelemetryHooks::~TelemetryHooks() { beacon::TLUtilityApplication::installHiddenQuery({}); }

void TelemetryHooks::didFinishLaunching() {
  beacon::TLAppDelegateForwarder::sharedInstance()->applicationDidFinishLaunching();
}

void TelemetryHooks::willTerminate() { beacon::TLAppDelegateForwarder::sharedInstance()->applicationWillTerminate(); }

}  // namespace ml::app
