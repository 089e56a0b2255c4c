#pragma once
// Plugs the find window into the shell's window factories.
#include "shell/WindowFactories.h"

namespace ml::find {

void installFindWindow(shell::WindowFactories& factories);

}  // namespace ml::find
