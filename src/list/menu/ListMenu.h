#pragma once
// The main menu's List menu: new list windows, adding items to and removing them from the list
// window in front, and the quick-access ("Fleetlook") submenu of volumes and standard folders,
// rebuilt each time it opens. Choosing a quick-access entry opens a new list window on its
// items through the global store.
//
// Items and their order: New List, Open List... (never enabled: lists are not stored),
// Fleetlook, a separator, Add to Front List..., Remove from Front List. The last two are enabled
// only while a list window is in front. Thread affinity: main thread.
#include <QWidget>
#include <memory>

#include "appkit/MainMenu.h"
#include "list/menu/QuickAccessMenu.h"
#include "platform/store/Core.h"

class QMenu;

namespace ml::shell {
struct GlobalState;
}

namespace ml::list {

class ListWindow;
using GlobalStore = store::Core<shell::GlobalState>;

class ListMenu {
 public:
  ListMenu() = delete;

  // Fills the List menu, whose commands go to `global`; `keyWindow` gives the window in front
  // when the menu opens.
  static void fill(QMenu& menu, GlobalStore& global, const std::function<QWidget*()>& keyWindow);
  // Rebuilds the quick-access submenu from `sources`.
  static void fillFleetlook(QMenu& menu, GlobalStore& global, const QuickAccessSources& sources);

  static void newListWindow(GlobalStore& global);
  // Fire on the store of the list window `window` runs (nothing for any other window).
  static void addToFrontWindow(GlobalStore& global, QWidget* window);
  static void removeFromFrontWindow(GlobalStore& global, QWidget* window);
  // Opens a new list window holding the items `target` stands for now.
  static void fleetlookItemSelected(GlobalStore& global, const QuickAccessTarget& target);

  // The list window that `window` shows, if it is one that has announced itself on `global`.
  static std::shared_ptr<ListWindow> listWindowShowing(const GlobalStore& global, const QWidget* window);
};

// The filler for the main menu's "List" menu (the window in front: the application's active
// window); `global` outlives the menu.
appkit::MainMenu::MenuFiller listMenuFiller(GlobalStore& global);

}  // namespace ml::list
