#pragma once
// The analytics service over the client fixture of the service suite: a TLAnalytics installed as
// the shared instance, whose session tracker runs on the fixture's virtual clock, hears a private
// application forwarder and sees an application state chosen by the test.
#include <memory>
#include <string>
#include <vector>

#include "ServiceFixture.h"
#include "beacon/analytics/Model/TLEventLog.h"
#include "beacon/analytics/Model/TLPageLog.h"
#include "beacon/analytics/Model/TLStartSessionLog.h"
#include "beacon/analytics/TLAnalytics.h"
#include "beacon/analytics/TLAnalyticsCategory.h"
#include "beacon/core/Service/TLAppDelegateForwarder.h"
#include "beacon/core/TLUtilityApplication.h"

namespace ml::beacon::test {

class AnalyticsTest : public ServiceTest {
 protected:
  AnalyticsTest() {
    TLAnalyticsCategory::resetForTesting();
    TLAnalytics::resetSharedInstance(service);
  }
  ~AnalyticsTest() override {
    TLAnalytics::resetSharedInstance();
    TLAnalyticsCategory::resetForTesting();
  }

  TLSessionTracker::Environment trackerEnvironment() {
    TLSessionTracker::Environment environment;
    environment.settings = &TLUserDefaults::shared();
    environment.clock = &clock;
    environment.context = TLSessionContext::sharedInstance();
    environment.forwarder = forwarder;
    environment.applicationState = [this] { return applicationState; };
    environment.isApplicationExtension = [this] { return isApplicationExtension; };
    return environment;
  }

  void startClient() { TLBeacon::start(kSecret, {TLServiceClass::of<TLAnalytics>()}); }

  int applicationState = TLUtilityApplication::kActive;
  bool isApplicationExtension = false;
  std::shared_ptr<TLAppDelegateForwarder> forwarder = std::make_shared<TLAppDelegateForwarder>();
  std::shared_ptr<TLAnalytics> service = std::make_shared<TLAnalytics>(TLUserDefaults::shared(), trackerEnvironment());
};

}  // namespace ml::beacon::test
