#pragma once
// The main menu as the application describes it: menus of items with English titles (which are
// also their localization keys), stable identifiers, shortcuts and actions. MainMenu turns it into
// each window's menu bar.
#include <functional>
#include <string>
#include <vector>

namespace ml::appkit {

struct MenuItem {
  // Receives the identifier of the item that was chosen.
  using Action = std::function<void(const std::string& identifier)>;

  std::string title;
  std::string identifier;
  // A key sequence in Qt's portable text form ("Ctrl+I", "Ctrl+Shift+F"); empty for none.
  std::string shortcut;
  Action action;
  bool separator = false;
  // Whether the item can do something now; asked when its menu opens and when the keyboard focus
  // moves. None: always enabled.
  std::function<bool()> isEnabled = {};

  static MenuItem separatorItem() {
    MenuItem item;
    item.separator = true;
    return item;
  }
};

struct Menu {
  enum class Placement { leading, trailing };

  std::string title;
  std::vector<MenuItem> items;
  // Leading menus come before a window's own menus, trailing ones (Window, Help) after them.
  Placement placement = Placement::leading;
};

}  // namespace ml::appkit
