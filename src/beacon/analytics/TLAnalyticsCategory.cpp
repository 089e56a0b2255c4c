#include "beacon/analytics/TLAnalyticsCategory.h"

#include <atomic>
#include <mutex>

#include "beacon/analytics/TLAnalytics.h"
#include "beacon/core/TLNeverDestroyed.h"

namespace ml::beacon {

namespace {

constexpr std::string_view kViewControllerSuffix = "ViewController";

std::atomic<bool> gActivated = false;
// Written and read on the main thread in practice; the lock keeps a stray caller harmless.
// Never destroyed: the missed-page task may run on the main queue during exit.
struct MissedPage {
  std::mutex lock;
  std::optional<std::string> name;
};

MissedPage& missedPage() {
  static TLNeverDestroyed<MissedPage> holder;
  return holder.get();
}

void setMissedPageViewName(std::optional<std::string> name) {
  auto& missed = missedPage();
  std::lock_guard guard(missed.lock);
  missed.name = std::move(name);
}

}  // namespace

void TLAnalyticsCategory::activateCategory() { gActivated.store(true); }

bool TLAnalyticsCategory::isActivated() { return gActivated.load(); }

std::optional<std::string> TLAnalyticsCategory::missedPageViewName() {
  auto& missed = missedPage();
  std::lock_guard guard(missed.lock);
  return missed.name;
}

bool TLAnalyticsCategory::shouldTrackPageView(std::string_view className) {
  return className != "NSSplitViewController" && className != "NSTabViewController" &&
         className != "NSPageController";
}

std::string TLAnalyticsCategory::pageName(std::string_view className) {
  std::string_view name = className;
  if (auto dot = name.rfind('.'); dot != std::string_view::npos) name = name.substr(dot + 1);
  if (name.size() > kViewControllerSuffix.size() &&
      name.substr(name.size() - kViewControllerSuffix.size()) == kViewControllerSuffix) {
    name.remove_suffix(kViewControllerSuffix.size());
  }
  return std::string(name);
}

void TLAnalyticsCategory::viewWillAppear(std::string_view className) {
  if (!TLAnalytics::isAutoPageTrackingEnabled() || !shouldTrackPageView(className)) return;
  std::string name = pageName(className);
  if (TLAnalytics::sharedInstance()->isAvailable()) {
    setMissedPageViewName(std::nullopt);
    TLAnalytics::trackPage(name);
  } else {
    setMissedPageViewName(std::move(name));
  }
}

void TLAnalyticsCategory::resetForTesting() {
  gActivated.store(false);
  setMissedPageViewName(std::nullopt);
}

}  // namespace ml::beacon
