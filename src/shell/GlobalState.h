#pragma once
// The state of the global store: which window and sheet controllers are open. Windows announce
// their opening and closing with ApplicationEvents; the set holds each open controller strongly.
//
// The reducer runs on the global store's queue. It sends the usage event "Window Opened" for each
// opening announcement through the usage-events service the state was made with.
#include <memory>
#include <ostream>
#include <set>

#include "platform/store/Event.h"
#include "shell/core/Telemetry.h"
#include "shell/core/WindowController.h"

namespace ml::shell {

struct GlobalState {
  explicit GlobalState(std::shared_ptr<UsageEvents> usageEvents = nullptr) : usage(std::move(usageEvents)) {}

  bool registered = false;  // nothing reads or changes it
  std::set<std::shared_ptr<WindowController>> activeWindows;

  void react(const store::Event& event);

  // "GlobalState(registered: false, activeWindows: [InfoWindow, ...])"
  friend std::ostream& operator<<(std::ostream& out, const GlobalState& state);

 private:
  std::shared_ptr<UsageEvents> usage;
};

inline constexpr const char* kWindowOpenedEvent = "Window Opened";

}  // namespace ml::shell
