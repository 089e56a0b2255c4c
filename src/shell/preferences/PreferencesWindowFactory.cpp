#include "shell/preferences/PreferencesWindowFactory.h"

#include "shell/preferences/PreferencesController.h"

namespace ml::shell {

std::function<std::shared_ptr<ShowableWindow>()> preferencesWindowFactory(
    foundation::Preferences& preferences, std::shared_ptr<appkit::AlertPresenter> alerts,
    std::shared_ptr<UsageEvents> usageEvents, const WindowContext& context) {
  return [&preferences, alerts = std::move(alerts), usageEvents = std::move(usageEvents),
          &context]() -> std::shared_ptr<ShowableWindow> {
    PreferencesController::Services services;
    services.preferences = &preferences;
    services.alerts = alerts;
    services.usageEvents = usageEvents;
    services.announce = [&context](std::shared_ptr<const store::Event> event) { context.announce(std::move(event)); };
    return PreferencesController::make(std::move(services));
  };
}

}  // namespace ml::shell
