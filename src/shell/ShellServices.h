#pragma once
// Everything the application delegate and the global commands reach outside themselves: the
// desktop (alerts, open panels, workspace, script runner, held keys), the telemetry client, the
// preferences, the window factories and the queues. the application's composition root wires the real ones; tests pass fakes.
#include <functional>
#include <memory>
#include <vector>

#include "appkit/HeldKeys.h"
#include "appkit/OpenPanels.h"
#include "appkit/ScriptRunner.h"
#include "appkit/Workspace.h"
#include "appkit/values/Alert.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/Preferences.h"
#include "shell/WindowFactories.h"
#include "shell/core/Telemetry.h"

namespace ml::shell {

struct ShellServices {
  std::shared_ptr<appkit::AlertPresenter> alerts;
  std::shared_ptr<appkit::OpenPanels> openPanels;
  std::shared_ptr<appkit::Workspace> workspace;
  std::shared_ptr<appkit::ScriptRunner> scriptRunner;
  // Either may be null: nothing is started or sent then.
  std::shared_ptr<TelemetryStarter> telemetry;
  std::shared_ptr<UsageEvents> usageEvents;
  WindowFactories windows;
  // Not owned; must outlive the delegate.
  foundation::Preferences* preferences = nullptr;
  // The keys held right now.
  std::function<appkit::HeldKeys()> heldKeys = appkit::readHeldKeys;
  // The toolkit windows from front to back (identities as WindowController::windowIdentity()).
  // Main thread only: the order follows window activation there.
  std::function<std::vector<const void*>()> windowsFrontToBack;
  // Closes the key window (the File menu's Close).
  std::function<void()> closeFrontWindow;
  // Brings the application's windows to the front (a later launch without items).
  std::function<void()> activate;
  // Not owned; the main queue and a background queue.
  dispatch::Queue* main = nullptr;
  dispatch::Queue* background = nullptr;
};

}  // namespace ml::shell
