#include "appkit/values/HeldKeys.h"

#include "platform/darwin/MacRoman.h"

namespace ml::appkit {

std::optional<std::string> HeldKeys::characters() const {
  std::string text;
  for (const auto& key : keys) text += key.characters;
  if (text.empty()) return std::nullopt;
  return text;
}

const HeldKey* HeldKeys::key(unsigned keycode) const {
  for (const auto& held : keys) {
    if (held.keycode == keycode) return &held;
  }
  return nullptr;
}

std::string keysymText(unsigned long keysym) {
  std::string text;
  if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF)) {
    darwin::appendUtf8(text, static_cast<char32_t>(keysym));
  } else if ((keysym & 0xFF000000UL) == 0x01000000UL) {
    char32_t c = static_cast<char32_t>(keysym & 0x00FFFFFFUL);
    if (c >= 0x20 && c != 0x7F && c < 0x110000) darwin::appendUtf8(text, c);
  }
  return text;
}

}  // namespace ml::appkit
