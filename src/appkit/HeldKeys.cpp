#include "appkit/HeldKeys.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QThread>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
// Xlib's event-type macros would shadow the toolkit's event types of the same names; nothing here
// reads X events.
#undef KeyPress
#undef KeyRelease

#include <algorithm>
#include <memory>
#include <vector>

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

// Whether the key with X keycode `code` is down now.
bool isDown(Display* display, unsigned code) {
  char keymap[32] = {};
  XQueryKeymap(display, keymap);
  return code < 256 && (keymap[code / 8] & (1 << (code % 8)));
}

// Drops the key events of held keys until each is released; goes once none is left.
class HeldKeySwallower final : public QObject {
 public:
  explicit HeldKeySwallower(std::vector<HeldKey> keys)
      : QObject(QCoreApplication::instance()), keys_(std::move(keys)), display_(XOpenDisplay(nullptr)) {
    QCoreApplication::instance()->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride) {
      return QObject::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    auto held = std::find_if(keys_.begin(), keys_.end(), [key](const HeldKey& candidate) { return isKey(candidate, *key); });
    if (held == keys_.end()) return QObject::eventFilter(watched, event);
    if (type == QEvent::KeyRelease && !stillDown(*held, *key)) {
      keys_.erase(held);
      if (keys_.empty()) deleteLater();
    }
    event->accept();  // accepted and filtered: no widget around the focus gets it either
    return true;
  }

 private:
  static bool isKey(const HeldKey& held, const QKeyEvent& event) {
    if (event.nativeScanCode() != 0) return event.nativeScanCode() == held.keycode;
    return !event.text().isEmpty() && event.text().toLower() == QString::fromStdString(held.characters).toLower();
  }

  // A held key's repeats come as releases and presses: only the keyboard itself tells the last
  // release from them reliably (the toolkit's guess from the events' timing can miss).
  bool stillDown(const HeldKey& held, const QKeyEvent& release) const {
    if (display_ && release.nativeScanCode() != 0) return isDown(display_.get(), held.keycode);
    return release.isAutoRepeat();
  }

  std::vector<HeldKey> keys_;
  std::unique_ptr<Display, DisplayCloser> display_;  // null without an X display
};

}  // namespace

void swallowUntilReleased(const HeldKeys& held) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread()) return;
  std::vector<HeldKey> typing;
  for (const HeldKey& key : held.keys) {
    if (!key.characters.empty()) typing.push_back(key);
  }
  if (typing.empty()) return;
  new HeldKeySwallower(std::move(typing));  // owned by the application; deletes itself when done
}

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
