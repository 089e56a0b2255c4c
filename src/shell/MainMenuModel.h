#pragma once
// The application's main menu: File, Edit, List, Cleaning, Window and Help, with the program's own
// items (show info, the file manager's info, new list, find, preferences, the cleaning commands)
// wired to the delegate's menu actions.
#include <vector>

#include "appkit/MenuModel.h"

namespace ml::shell {

class AppDelegate;

// `delegate` must outlive the menu. Item identifiers are stable: the cleaning items'
// identifiers decide between quitting and relaunching the file manager.
std::vector<appkit::Menu> mainMenuModel(AppDelegate& delegate);

}  // namespace ml::shell
