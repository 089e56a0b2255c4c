#include "appkit/HeldKeys.h"

#include <QGuiApplication>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <memory>

namespace ml::appkit {

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

std::optional<HeldKeys> readKeymap() {
  std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
  if (!display) return std::nullopt;
  HeldKeys held;
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

HeldKeys readHeldKeys() {
  if (auto held = readKeymap()) return *std::move(held);
  HeldKeys held;
  held.modifiers = toolkitModifiers();
  return held;
}

}  // namespace ml::appkit
