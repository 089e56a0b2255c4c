#include "shell/preferences/UnmodifiedKeyText.h"

#include "appkit/HeldKeys.h"

#include <memory>
#include <mutex>

// Xlib defines macros (Status, Bool, None) that must not reach other headers: it comes last.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace ml::shell {

namespace {

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
    return appkit::keysymText(XkbKeycodeToKeysym(display_, static_cast<KeyCode>(keycode), 0, 0));
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
