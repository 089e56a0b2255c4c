#pragma once
// The rules of the main menu's List menu that do not depend on widgets: which items are enabled,
// and which items an entry of the quick-access menu stands for when it is chosen.
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "files/Path.h"

namespace ml::list {

// The quick-access menu's identifier, which enables every one of its entries.
inline constexpr const char* kFleetlookIdentifier = "fleetlook";
// The List menu's item that is never enabled (lists are not stored).
inline constexpr const char* kOpenListTitle = "Open List...";

struct ListMenuItemFacts {
  bool inMenu = true;
  std::string title;           // as shown (localized)
  std::string menuIdentifier;  // empty when the menu has none
  int position = 0;            // in its menu, from 0
};

// Enabled: every quick-access entry; never "Open List..."; the List menu's first four items;
// below them only while a list window is in front. An item in no menu is disabled.
bool isListMenuItemEnabled(const ListMenuItemFacts& item, bool listWindowInFront);

// What a quick-access entry stands for: items found when it is chosen, items found when the
// menu was built, or one folder (or volume) whose entries are listed when it is chosen.
using PathProvider = std::function<std::vector<files::Path>()>;
using QuickAccessTarget = std::variant<PathProvider, std::vector<files::Path>, files::Path>;

// The items a chosen entry lists: the provider's answer, the list, or the folder's entries (none
// when it is not a folder or cannot be listed). Blocking.
std::vector<files::Path> itemsOf(const QuickAccessTarget& target);

}  // namespace ml::list
