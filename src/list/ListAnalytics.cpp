#include "list/ListAnalytics.h"

#include "shell/AppDelegate.h"

namespace ml::list {

void trackUsageEvent(const std::string& name, const std::map<std::string, std::string>& properties) {
  auto* delegate = shell::AppDelegate::shared();
  if (!delegate || !delegate->services().usageEvents) return;
  delegate->services().usageEvents->trackEvent(name, properties);
}

}  // namespace ml::list
