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
#include <optional>
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

// Drops the key events of held keys until each is released; goes once none is left.
//
// A held key repeats as a press (and, unless the window system tells repeats apart, a release
// just before it) carrying the very timestamp of that release. So a release is taken as the key
// let go once a later press of the key comes with another timestamp: that press is the user
// typing and gets through. Reading the keyboard's state instead would go wrong in a busy
// process, which handles an old release while the user already types the same key again.
class HeldKeySwallower final : public QObject {
 public:
  explicit HeldKeySwallower(std::vector<HeldKey> keys) : QObject(QCoreApplication::instance()) {
    for (HeldKey& key : keys) keys_.push_back({std::move(key), std::nullopt});
    QCoreApplication::instance()->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride) {
      return QObject::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    auto held = std::find_if(keys_.begin(), keys_.end(), [key](const Held& candidate) { return isKey(candidate.key, *key); });
    if (held == keys_.end()) return QObject::eventFilter(watched, event);
    if (type == QEvent::KeyRelease) {
      held->releasedAt = key->timestamp();
    } else if (held->releasedAt && *held->releasedAt != key->timestamp()) {
      keys_.erase(held);
      if (keys_.empty()) deleteLater();
      return QObject::eventFilter(watched, event);
    }
    event->accept();  // accepted and filtered: no widget around the focus gets it either
    return true;
  }

 private:
  struct Held {
    HeldKey key;
    std::optional<quint64> releasedAt;  // the timestamp of its last release, if any
  };

  static bool isKey(const HeldKey& held, const QKeyEvent& event) {
    if (event.nativeScanCode() != 0) return event.nativeScanCode() == held.keycode;
    return !event.text().isEmpty() && event.text().toLower() == QString::fromStdString(held.characters).toLower();
  }

  std::vector<Held> keys_;
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
