#pragma once
// What a window reaches outside itself, handed to it by the composition root through the window's
// factory: the application's global store (to announce its opening and closing, to hear what
// happened elsewhere, to fire the global commands) and the shell's services (open panels,
// workspace, alerts, preferences, usage events, queues).
//
// Both belong to the application delegate and outlive every window. Either may be null (a window
// run on its own in a test): the window then announces nothing and reaches no service, and says
// so in the log where that loses something.
#include <memory>

#include "platform/store/Core.h"
#include "shell/GlobalState.h"
#include "shell/ShellServices.h"

namespace ml::shell {

struct WindowContext {
  store::Core<GlobalState>* global = nullptr;
  const ShellServices* services = nullptr;

  std::shared_ptr<UsageEvents> usageEvents() const { return services ? services->usageEvents : nullptr; }
  std::shared_ptr<appkit::OpenPanels> openPanels() const { return services ? services->openPanels : nullptr; }
  std::shared_ptr<appkit::Workspace> workspace() const { return services ? services->workspace : nullptr; }
  std::shared_ptr<appkit::AlertPresenter> alerts() const { return services ? services->alerts : nullptr; }
  // Fires `event` on the global store; nothing without one.
  void announce(std::shared_ptr<const store::Event> event) const {
    if (global) global->fire(std::move(event));
  }
};

}  // namespace ml::shell
