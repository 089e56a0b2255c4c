#pragma once
// Automatic page tracking: a page view each time one of the application's views is about to
// appear, named after the view's controller class.
//
// There is no toolkit-wide method exchange here: the hook is viewWillAppear(), which the
// application's toolkit layer calls from its view-shown handler with the controller's class
// name. activateCategory() only marks the hook as installed. Tracking happens only while
// TLAnalytics::isAutoPageTrackingEnabled() is on (off by default; this application leaves it
// off). A page that appears while the analytics service is not available is remembered (the
// last one only) and tracked when the service becomes enabled.
//
// Threads: main thread only (the hook runs where views are shown; the service reads the missed
// name from a main-queue task).
#include <optional>
#include <string>
#include <string_view>

namespace ml::beacon {

class TLAnalyticsCategory {
 public:
  TLAnalyticsCategory() = delete;

  // Called by the analytics service's start; installs the hook once per process.
  static void activateCategory();
  static bool isActivated();
  // The last page that appeared while the service was unavailable; nothing at start.
  static std::optional<std::string> missedPageViewName();

  // The toolkit hook: a view of the controller class `className` (possibly "Module.Name") is
  // about to appear.
  static void viewWillAppear(std::string_view className);

  // Container controllers ("NSSplitViewController", "NSTabViewController", "NSPageController"
  // exactly) are not tracked; their children are.
  static bool shouldTrackPageView(std::string_view className);
  // The last "."-separated component without a trailing "ViewController" (unless that is all).
  static std::string pageName(std::string_view className);

  // Forgets the missed name and the installation (tests).
  static void resetForTesting();
};

}  // namespace ml::beacon
