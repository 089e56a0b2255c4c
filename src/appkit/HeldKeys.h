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

// Keys held while an action they chose opens its windows must not type there: the window system
// repeats a held key into whatever has the focus (an "m" held to choose a move would fill the
// folder panel's field with "mmmm"). From now on, until each is let go, the presses (repeated or
// not) and the release of those of `held` that type something reach no widget. A key is known by
// its X keycode, or where the toolkit gives none, by the text it types. Main thread, with a
// QApplication; does nothing without one.
void swallowUntilReleased(const HeldKeys& held);

}  // namespace ml::appkit
