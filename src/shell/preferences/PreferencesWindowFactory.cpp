#include "shell/preferences/PreferencesWindowFactory.h"

#include "shell/AppDelegate.h"
#include "shell/preferences/PreferencesController.h"

namespace ml::shell {

std::function<std::shared_ptr<ShowableWindow>()> preferencesWindowFactory(
    foundation::Preferences& preferences, std::shared_ptr<appkit::AlertPresenter> alerts,
    std::shared_ptr<UsageEvents> usageEvents) {
  return [&preferences, alerts = std::move(alerts), usageEvents = std::move(usageEvents)]() -> std::shared_ptr<ShowableWindow> {
    PreferencesController::Services services;
    services.preferences = &preferences;
    services.alerts = alerts;
    services.usageEvents = usageEvents;
    services.announce = [](std::shared_ptr<const store::Event> event) {
      if (AppDelegate* delegate = AppDelegate::shared()) delegate->reactor().fire(std::move(event));
    };
    return PreferencesController::make(std::move(services));
  };
}

}  // namespace ml::shell
