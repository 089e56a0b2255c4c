#include "shell/MainMenuModel.h"

#include <QApplication>

#include "appkit/MainMenu.h"
#include "appkit/WindowOrder.h"
#include "platform/foundation/AppIdentity.h"
#include "platform/foundation/LocalizedStrings.h"
#include "shell/AppDelegate.h"
#include "shell/GlobalCommands.h"

namespace ml::shell {

using appkit::Menu;
using appkit::MenuItem;

namespace {

MenuItem item(std::string title, std::string identifier, std::string shortcut, MenuItem::Action action) {
  return MenuItem{std::move(title), std::move(identifier), std::move(shortcut), std::move(action), false};
}

// Sent to what has the keyboard focus, and enabled only when that can do it.
MenuItem editItem(std::string title, std::string identifier, std::string shortcut, const char* slot) {
  MenuItem edit = item(std::move(title), std::move(identifier), std::move(shortcut),
                       [slot](const std::string&) { appkit::MainMenu::sendToFocusWidget(slot); });
  edit.isEnabled = [slot] { return appkit::MainMenu::canSendToFocusWidget(slot); };
  return edit;
}

appkit::Alert aboutAlert() {
  appkit::Alert alert;
  alert.style = appkit::Alert::Style::informational;
  alert.applicationIcon = true;
  alert.messageText = foundation::AppIdentity::name() + " " + foundation::AppIdentity::version();
  alert.informativeText = foundation::localizedString(
      "Inspects and edits what the file system keeps about your files and folders.");
  return alert;
}

}  // namespace

std::vector<Menu> mainMenuModel(AppDelegate& d) {
  return {
      Menu{"File",
           {item("Show Info…", "showInfo", "Ctrl+I", [&d](const std::string&) { d.showMLInfo(); }),
            item("Show File Manager Info…", "showFinderInfo", "Ctrl+Alt+I", [&d](const std::string&) { d.showFinderInfo(); }),
            item("New List", "newList", "Ctrl+N",
                 [&d](const std::string&) { d.reactor().fire(GlobalCommands<GlobalState>::list()); }),
            item("Find…", "find", "Ctrl+F", [&d](const std::string&) { d.openOrFocusOnFindWindow(); }),
            MenuItem::separatorItem(),
            // Pointed at the close action by the launch steps.
            item("Close", "close", "Ctrl+W", {}),
            MenuItem::separatorItem(),
            item("Quit Marrowlane", "quit", "Ctrl+Q", [](const std::string&) { QApplication::quit(); })}},
      Menu{"Edit",
           {editItem("Undo", "undo", "Ctrl+Z", "undo"), editItem("Redo", "redo", "Ctrl+Shift+Z", "redo"),
            MenuItem::separatorItem(), editItem("Cut", "cut", "Ctrl+X", "cut"),
            editItem("Copy", "copy", "Ctrl+C", "copy"), editItem("Paste", "paste", "Ctrl+V", "paste"),
            editItem("Select All", "selectAll", "Ctrl+A", "selectAll"), MenuItem::separatorItem(),
            item("Preferences…", "preferences", "Ctrl+,", [&d](const std::string&) { d.showPreferences(); })}},
      // The list windows' menu; the list module fills it in (its quick-access submenu is rebuilt
      // each time it opens).
      Menu{"List",
           {item("New List", "newListWindow", "",
                 [&d](const std::string&) { d.reactor().fire(GlobalCommands<GlobalState>::list()); })}},
      Menu{"Cleaning",
           {item("Empty Trash…", "emptyTrash", "", [&d](const std::string&) { d.emptyTrash(); }),
            item("Relaunch File Manager", "relaunchFileManager", "",
                 [&d](const std::string& identifier) { d.killFinder(identifier); }),
            item("Quit File Manager", "quitFileManager", "",
                 [&d](const std::string& identifier) { d.killFinder(identifier); })}},
      Menu{"Window",
           {item("Minimize", "minimize", "Ctrl+M", [](const std::string&) { appkit::minimizeActiveWindow(); }),
            item("Bring All to Front", "bringAllToFront", "", [](const std::string&) { appkit::bringAllWindowsToFront(); })},
           Menu::Placement::trailing},
      Menu{"Help",
           {item("About Marrowlane", "about", "",
                 [&d](const std::string&) {
                   if (d.services().alerts) d.services().alerts->runModal(aboutAlert());
                 })},
           Menu::Placement::trailing},
  };
}

}  // namespace ml::shell
