#include "shell/GlobalState.h"

#include "shell/core/ApplicationEvents.h"

namespace ml::shell {

void GlobalState::react(const store::Event& event) {
  if (auto* opened = event.as<ApplicationEvents::WindowOpened>()) {
    if (!opened->controller) return;
    if (usage) usage->trackEvent(kWindowOpenedEvent, {{"controller", opened->controller->typeName()}});
    activeWindows.insert(opened->controller);
  } else if (auto* closed = event.as<ApplicationEvents::WindowClosed>()) {
    if (closed->controller) activeWindows.erase(closed->controller);
  }
}

std::ostream& operator<<(std::ostream& out, const GlobalState& state) {
  out << "GlobalState(registered: " << (state.registered ? "true" : "false") << ", activeWindows: [";
  const char* separator = "";
  for (const auto& controller : state.activeWindows) {
    out << separator << controller->typeName();
    separator = ", ";
  }
  return out << "])";
}

}  // namespace ml::shell
