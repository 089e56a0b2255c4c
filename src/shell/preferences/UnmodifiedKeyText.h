#pragma once
// What a key types with no modifier held, found by the key's code in the keyboard map rather
// than from the toolkit's key event: the event names the symbol the modifiers produced ("!" for
// Shift with 1), while a drop reads the held keys from the map at level 0 ("1"). A binding is
// recorded the way a drop will read it, or it could never match.
//
// The code is the toolkit's native scan code, which on X11 (and on Wayland through its xkb map)
// is the X keycode. Any thread; each function keeps its own display connection, opened on first
// use and closed with the last copy of the function.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace ml::shell {

// The UTF-8 text the key with that code types at level 0 of the first group: empty for keys that
// type nothing (Return, arrows, modifiers); nullopt when the map cannot be read (no X display,
// a code of 0, which synthetic events carry).
using UnmodifiedKeyText = std::function<std::optional<std::string>(std::uint32_t nativeScanCode)>;

// The lookup in the X11 keyboard map of the display named by $DISPLAY.
UnmodifiedKeyText x11UnmodifiedKeyText();

}  // namespace ml::shell
