#pragma once
// The factory the global command uses to show the preferences: a new window each time, whose
// closing is announced on the application's global store.
#include <functional>
#include <memory>

#include "appkit/values/Alert.h"
#include "platform/foundation/Preferences.h"
#include "shell/WindowContext.h"
#include "shell/core/Telemetry.h"
#include "shell/core/WindowController.h"

namespace ml::shell {

// `preferences` must outlive every window made; each window announces itself through `context`,
// read when it announces, which must outlive the factory. The factory is called on the main
// thread.
std::function<std::shared_ptr<ShowableWindow>()> preferencesWindowFactory(
    foundation::Preferences& preferences, std::shared_ptr<appkit::AlertPresenter> alerts,
    std::shared_ptr<UsageEvents> usageEvents, const WindowContext& context);

}  // namespace ml::shell
