#pragma once
// Plugs list windows into the shell's window factories (the new-list command, drops and the
// startup action open them through it).
#include "shell/WindowFactories.h"

namespace ml::list {

// Main thread (the factories are called there).
void installListWindows(shell::WindowFactories& windows);

}  // namespace ml::list
