#pragma once
// Plugs list windows into the shell's window factories (the new-list command, drops and the
// startup action open them through it).
#include "shell/WindowContext.h"
#include "shell/WindowFactories.h"

namespace ml::list {

// Main thread (the factories are called there). Each window gets `context`, read when the
// window is made; it must outlive the factories.
void installListWindows(shell::WindowFactories& windows, const shell::WindowContext& context);

}  // namespace ml::list
