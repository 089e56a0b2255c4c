#pragma once
// The application's main menu, shown in the menu bar of every window (there is no global menu bar
// on most Linux desktops). Once watch() is called, each top-level QMainWindow gets the menus when it
// is first shown: the leading menus before the window's own, the trailing ones after. Every other
// top-level window that is not modal (a dialog, a plain window) gets the items' shortcuts without
// the menus, so each window answers the same keys. A window first shown larger than its screen shrinks to fit it.
//
// From the keyboard, as the desktop does it: every menu title and item gets a mnemonic (Alt+letter,
// a letter no sibling uses, word starts first; a main window's other menus too), and F10 opens a
// window's first menu. Walked from the keyboard, the menu bar holds the focus: editing items act
// on the widget that had it before, which keeps its selection meanwhile.
//
// Items look their action up in the model when chosen, so setAction() reaches every window,
// including those built earlier. Thread affinity: main thread.
#include <QObject>
#include <QList>
#include <QPointer>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "appkit/MenuModel.h"

class QAction;
class QMainWindow;
class QMenu;

namespace ml::appkit {

class MainMenu : public QObject {
  Q_OBJECT
 public:
  explicit MainMenu(std::vector<Menu> menus, QObject* parent = nullptr);

  const std::vector<Menu>& menus() const { return menus_; }

  // The item titled `itemTitle` in the menu titled `menuTitle` (English titles), if any.
  const MenuItem* find(const std::string& menuTitle, const std::string& itemTitle) const;
  // Replaces that item's action; false when there is no such menu or item.
  bool setAction(const std::string& menuTitle, const std::string& itemTitle, MenuItem::Action action);

  // Builds the items of a menu whose contents depend on the moment (the List menu with its
  // quick-access submenu). It replaces the menu's items each time the menu is about to open,
  // and once when the menu is installed so that its shortcuts work before it was ever opened.
  using MenuFiller = std::function<void(QMenu& menu)>;
  // Makes `filler` build the menu titled `menuTitle` (English title) in every window, including
  // those built earlier (from their next opening on). Null stops it: menus installed from then on
  // get the model's items, those already filled keep their last items.
  void setFiller(const std::string& menuTitle, MenuFiller filler);

  // Adds the menus to `window`'s menu bar, and F10 to open them; a window gets them once.
  void installOn(QMainWindow& window);
  // Gives a window without a menu bar the items' shortcuts (actions of the window, named by the
  // items' identifiers); a window gets them once.
  void installShortcutsOn(QWidget& window);
  // Installs on every top-level main window as it is shown, from now on.
  void watch();

  // Sends an editing action ("cut", "copy", "paste", "selectAll", "undo", "redo") to the widget
  // that has the keyboard focus, or else to the nearest window part around it that has such a
  // slot (a list window copies its selected names); nothing when none has it.
  static void sendToFocusWidget(const char* slot);
  // Whether sendToFocusWidget(slot) would reach something that can do it now (a text field
  // without undo history cannot undo, a read-only one cannot paste).
  static bool canSendToFocusWidget(const char* slot);

  // Gives each action whose text has no mnemonic one: the first word-start letter, else the
  // first letter or digit, that no other action of `actions` uses; none when every one is used.
  static void assignMnemonics(const QList<QAction*>& actions);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void trigger(std::size_t menu, std::size_t item);
  // A shortcut-carrying item of menu `menu`, item `index`, triggering it; owned by `parent`.
  QAction* makeItem(std::size_t menu, std::size_t index, QObject* parent);
  // Mnemonics for `menu`'s items each time it opens (its items may be rebuilt), and its submenus'.
  void keepMnemonics(QMenu& menu);
  // Gives `menu` the model's items of menu `index`, or the filler's.
  void fill(std::size_t index, QMenu& menu);

  // Enables each built item that has a predicate by what it says now.
  void updateEnabled();

  std::vector<Menu> menus_;
  std::map<std::string, MenuFiller> fillers_;
  struct BuiltItem {
    QPointer<QAction> action;
    std::size_t menu;
    std::size_t item;
  };
  std::vector<BuiltItem> built_;
};

}  // namespace ml::appkit
