#pragma once
// What a global command's executor works with: the services, and where to fire its results (the
// store that ran it, and the global store).
//
// The store that ran a command must outlive the work the command starts (panels, copies, the
// Trash): results are fired on it when that work ends. Window controllers keep their store until
// their window has closed.
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
