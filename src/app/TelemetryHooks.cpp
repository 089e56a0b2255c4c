#include "app/TelemetryHooks.h"

#include "app/MainScreenProvider.h"
#include "app/SharedApplication.h"
#include "appkit/ActivationWatcher.h"
#include "appkit/ViewAppearance.h"
#include "beacon/analytics/TLAnalyticsCategory.h"
#include "beacon/core/TLUtilityApplication.h"

namespace ml::app {

// The client's URLs go to the desktop's handler directly, whose answer the client gets (see
// SharedApplication).
TelemetryHooks::TelemetryHooks()
    : screen_(std::make_unique<MainScreenProvider>()), application_(std::make_shared<SharedApplication>()) {
  beacon::TLUtilityApplication::installSharedApp(application_);
  auto lifecycle = application_->delegate();
  activation_ = std::make_unique<appkit::ActivationWatcher>([lifecycle] { lifecycle->applicationDidBecomeActive(); },
                                                            [lifecycle] { lifecycle->applicationDidResignActive(); });
  appearance_ = std::make_unique<appkit::ViewAppearanceWatcher>(
      [](std::string_view className) { beacon::TLAnalyticsCategory::viewWillAppear(className); });
}

TelemetryHooks::~TelemetryHooks() { beacon::TLUtilityApplication::installSharedApp(nullptr); }

void TelemetryHooks::didFinishLaunching() { application_->delegate()->applicationDidFinishLaunching(); }

void TelemetryHooks::willTerminate() { application_->delegate()->applicationWillTerminate(); }

}  // namespace ml::app
