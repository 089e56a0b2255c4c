#pragma once
// The keys held down at one moment, as the platform reports them: the characters of the held
// character keys and the platform's modifier keys. Mapping the modifiers onto the application's
// own (Ctrl stands for Command, Alt for Option, Meta for Control) is the caller's business.
#include <optional>
#include <string>
#include <vector>

namespace ml::appkit {

struct PlatformModifiers {
  bool control = false;
  bool alt = false;
  bool meta = false;  // the Super ("Windows") key
  bool shift = false;

  friend bool operator==(const PlatformModifiers&, const PlatformModifiers&) = default;
};

struct HeldKey {
  unsigned keycode = 0;
  // What the key types without modifiers; empty for keys that type nothing (modifiers, arrows).
  std::string characters;
};

struct HeldKeys {
  // The X11 keycodes a keymap covers.
  static constexpr unsigned kFirstKeycode = 8;
  static constexpr unsigned kLastKeycode = 255;


  // Every held key in rising keycode order (empty when only modifiers are known).
  std::vector<HeldKey> keys;
  PlatformModifiers modifiers;
  // False when no keymap could be read (no X display): only the modifiers are known then.
  bool fromKeymap = false;

  // The characters of the held keys in keycode order, or nothing when they give none.
  std::optional<std::string> characters() const;
  // The held key with that keycode, if it is held.
  const HeldKey* key(unsigned keycode) const;
};

// The text an X11 keysym types: Latin-1 keysyms are their own code points, 0x01000000 + U stands
// for the rest of Unicode; function, keypad and modifier keysyms type nothing (empty). The one
// rule both a drop's held keys and a recorded binding go by, so the two match.
std::string keysymText(unsigned long keysym);

}  // namespace ml::appkit
