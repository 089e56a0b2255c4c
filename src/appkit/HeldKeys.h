#pragma once
// Reading the keys held right now from the platform (the values live in appkit/values).
#include <optional>

#include "appkit/values/HeldKeys.h"

namespace ml::appkit {

// Reads the keys held right now from the X11 keymap, or nothing when no X display can be opened.
// Needs no toolkit: a launch reads its keys with it before the toolkit starts, since a key tapped
// with the launch may be let go while the toolkit loads. Any thread; opens and closes its own
// display connection.
std::optional<HeldKeys> readKeymap();

// Reads the keys held right now: from the X11 keymap when an X display can be opened, else only
// the modifiers (from the toolkit, which needs a QGuiApplication for that). Any thread.
HeldKeys readHeldKeys();

}  // namespace ml::appkit
