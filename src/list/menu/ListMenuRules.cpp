#include "list/menu/ListMenuRules.h"

#include "files/FileSystem.h"
#include "platform/foundation/LocalizedStrings.h"
#include "platform/logging/Log.h"

namespace ml::list {

bool isListMenuItemEnabled(const ListMenuItemFacts& item, bool listWindowInFront) {
  if (!item.inMenu) return false;
  LOG_DEBUG("validating item [" << item.title << "] from menu [" << item.menuIdentifier << "]");
  if (item.menuIdentifier == kFleetlookIdentifier) return true;
  if (item.title == foundation::localizedString(kOpenListTitle)) return false;
  if (item.position < 4) return true;
  return listWindowInFront;
}

std::vector<files::Path> itemsOf(const QuickAccessTarget& target) {
  if (const auto* provider = std::get_if<PathProvider>(&target)) return *provider ? (*provider)() : std::vector<files::Path>{};
  if (const auto* list = std::get_if<std::vector<files::Path>>(&target)) return *list;
  const auto& folder = std::get<files::Path>(target);
  const auto& fs = folder.fileSystem();
  if (!fs.isDirectory(folder)) return {};
  return fs.contentsOf(folder).value_or(std::vector<files::Path>{});
}

}  // namespace ml::list
