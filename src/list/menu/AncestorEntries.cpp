#include "list/menu/AncestorEntries.h"

#include "files/FileSystem.h"
#include "list/rows/PathNames.h"
#include "platform/foundation/LocalizedStrings.h"

namespace ml::list {

std::vector<AncestorEntry> ancestorEntries(const files::Path& item) {
  std::vector<AncestorEntry> entries;
  std::optional<files::Path> current = item;
  while (current) {
    std::string title = lastPathComponent(current->url());
    if (title == "/") {
      title = current->fileSystem().volumeName(*current).value_or(foundation::localizedString("Unknown"));
    }
    entries.push_back({std::move(title), *current});
    current = current->parent();
  }
  return entries;
}

}  // namespace ml::list
