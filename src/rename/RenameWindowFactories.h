#pragma once
// Plugs the batch-rename dialog and its confirmation sheet into the shell's window factories.
#include "shell/WindowFactories.h"

namespace ml::rename {

// Main thread (the factories are called there).
void installRenameWindows(shell::WindowFactories& windows);

}  // namespace ml::rename
