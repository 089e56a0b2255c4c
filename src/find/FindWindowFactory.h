#pragma once
// Plugs the find window into the shell's window factories.
#include "shell/WindowContext.h"
#include "shell/WindowFactories.h"

namespace ml::find {

// Each window gets `context`, read when the window is made; it must outlive the factories.
void installFindWindow(shell::WindowFactories& factories, const shell::WindowContext& context);

}  // namespace ml::find
