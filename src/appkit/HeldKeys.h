#pragma once
// Reading the keys held right now from the platform (the values live in appkit/values).
#include "appkit/values/HeldKeys.h"

namespace ml::appkit {

// Reads the keys held right now: from the X11 keymap when an X display can be opened, else only
// the modifiers (from the toolkit, which needs a QGuiApplication for that). Any thread; opens and
// closes its own display connection.
HeldKeys readHeldKeys();

}  // namespace ml::appkit
