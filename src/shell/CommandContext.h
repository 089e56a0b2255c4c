#pragma once
// What a global command's executor works with: the services, and where to fire its results (the
// store that ran it, and the global store).
//
// The work a command starts (panels, copies, the Trash) may outlive the window that fired it:
// each sink holds its store for as long as it exists (see GlobalCommands), so results fired when
// that work ends reach a live store.
#include <functional>
#include <memory>

#include "platform/store/Event.h"
#include "shell/ShellServices.h"

namespace ml::shell {

using EventSink = std::function<void(std::shared_ptr<const store::Event>)>;

struct CommandContext {
  ShellServices services;
  EventSink fire;        // the store that ran the command
  EventSink fireGlobal;  // the global store
};

}  // namespace ml::shell
