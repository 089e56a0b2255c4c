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

class QMenu;

namespace ml::list {

class ListWindow;

class ListMenu {
 public:
  ListMenu() = delete;

  // Fills the List menu; `keyWindow` gives the window in front when the menu opens.
  static void fill(QMenu& menu, const std::function<QWidget*()>& keyWindow);
  // Rebuilds the quick-access submenu from `sources`.
  static void fillFleetlook(QMenu& menu, const QuickAccessSources& sources);

  static void newListWindow();
  // Fire on the store of the list window `window` runs (nothing for any other window).
  static void addToFrontWindow(QWidget* window);
  static void removeFromFrontWindow(QWidget* window);
  // Opens a new list window holding the items `target` stands for now.
  static void fleetlookItemSelected(const QuickAccessTarget& target);

  // The list window that `window` shows, if it is one that has announced itself.
  static std::shared_ptr<ListWindow> listWindowShowing(const QWidget* window);
};

// The filler for the main menu's "List" menu (the window in front: the application's active
// window).
appkit::MainMenu::MenuFiller listMenuFiller();

}  // namespace ml::list
