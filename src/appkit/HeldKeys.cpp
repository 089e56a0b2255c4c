#include "appkit/HeldKeys.h"

#include <QGuiApplication>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <memory>

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

namespace {

void noteModifier(KeySym sym, PlatformModifiers& modifiers) {
  switch (sym) {
    case XK_Control_L: case XK_Control_R: modifiers.control = true; break;
    case XK_Alt_L: case XK_Alt_R: case XK_Meta_L: case XK_Meta_R: modifiers.alt = true; break;
    case XK_Super_L: case XK_Super_R: case XK_Hyper_L: case XK_Hyper_R: modifiers.meta = true; break;
    case XK_Shift_L: case XK_Shift_R: modifiers.shift = true; break;
    default: break;
  }
}

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};

PlatformModifiers toolkitModifiers() {
  PlatformModifiers modifiers;
  if (!qGuiApp) return modifiers;
  Qt::KeyboardModifiers flags = QGuiApplication::queryKeyboardModifiers();
  modifiers.control = flags.testFlag(Qt::ControlModifier);
  modifiers.alt = flags.testFlag(Qt::AltModifier);
  modifiers.meta = flags.testFlag(Qt::MetaModifier);
  modifiers.shift = flags.testFlag(Qt::ShiftModifier);
  return modifiers;
}

}  // namespace

HeldKeys readHeldKeys() {
  HeldKeys held;
  std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
  if (!display) {
    held.modifiers = toolkitModifiers();
    return held;
  }
  char keymap[32] = {};
  XQueryKeymap(display.get(), keymap);
  held.fromKeymap = true;
  for (unsigned code = HeldKeys::kFirstKeycode; code <= HeldKeys::kLastKeycode; ++code) {
    if (!(keymap[code / 8] & (1 << (code % 8)))) continue;
    // Group 0, level 0: what the key types with no modifier held.
    KeySym sym = XkbKeycodeToKeysym(display.get(), static_cast<KeyCode>(code), 0, 0);
    noteModifier(sym, held.modifiers);
    held.keys.push_back(HeldKey{code, keysymText(sym)});
  }
  return held;
}

}  // namespace ml::appkit
