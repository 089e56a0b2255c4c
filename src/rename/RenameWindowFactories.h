#pragma once
// Plugs the batch-rename dialog and its confirmation sheet into the shell's window factories.
#include "shell/WindowContext.h"
#include "shell/WindowFactories.h"

namespace ml::rename {

// Main thread (the factories are called there). Each window gets `context`, read when the window
// is made; it must outlive the factories.
void installRenameWindows(shell::WindowFactories& windows, const shell::WindowContext& context);

}  // namespace ml::rename
