#include "appkit/values/HeldKeys.h"

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

namespace {

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x110000) {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string keysymText(unsigned long keysym) {
  std::string text;
  if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF)) {
    appendUtf8(text, static_cast<char32_t>(keysym));
  } else if ((keysym & 0xFF000000UL) == 0x01000000UL) {
    char32_t c = static_cast<char32_t>(keysym & 0x00FFFFFFUL);
    if (c >= 0x20 && c != 0x7F) appendUtf8(text, c);
  }
  return text;
}

}  // namespace ml::appkit
