#include "shell/preferences/UnmodifiedKeyText.h"

#include <memory>
#include <mutex>

// Xlib defines macros (Status, Bool, None) that must not reach other headers: it comes last.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace ml::shell {

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

// The text a keysym types, by the same rule the held-key reader applies at a drop: Latin-1
// keysyms are their own code points, 0x01000000 + U stands for the rest of Unicode, function,
// keypad and modifier keysyms type nothing.
std::string textOf(KeySym sym) {
  std::string text;
  if ((sym >= 0x20 && sym <= 0x7E) || (sym >= 0xA0 && sym <= 0xFF)) {
    appendUtf8(text, static_cast<char32_t>(sym));
  } else if ((sym & 0xFF000000UL) == 0x01000000UL) {
    const auto c = static_cast<char32_t>(sym & 0x00FFFFFFUL);
    if (c >= 0x20 && c != 0x7F) appendUtf8(text, c);
  }
  return text;
}

// One display connection, opened when first needed; a failed open is not retried.
class KeyboardMap {
 public:
  ~KeyboardMap() {
    if (display_) XCloseDisplay(display_);
  }
  std::optional<std::string> text(std::uint32_t keycode) {
    if (keycode < 8 || keycode > 255) return std::nullopt;  // outside every X keymap
    std::lock_guard lock(mutex_);
    if (!opened_) {
      opened_ = true;
      display_ = XOpenDisplay(nullptr);
    }
    if (!display_) return std::nullopt;
    return textOf(XkbKeycodeToKeysym(display_, static_cast<KeyCode>(keycode), 0, 0));
  }

 private:
  std::mutex mutex_;  // Xlib connections are not safe to share between threads unlocked
  bool opened_ = false;
  Display* display_ = nullptr;
};

}  // namespace

UnmodifiedKeyText x11UnmodifiedKeyText() {
  auto map = std::make_shared<KeyboardMap>();
  return [map](std::uint32_t keycode) { return map->text(keycode); };
}

}  // namespace ml::shell
