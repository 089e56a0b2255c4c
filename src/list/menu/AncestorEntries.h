#pragma once
// The entries of the context menu's open and info submenus for one item: the item itself, then
// each folder that encloses it, up to the root, whose entry carries the volume's name.
#include <string>
#include <vector>

#include "files/Path.h"

namespace ml::list {

struct AncestorEntry {
  std::string title;
  files::Path path;
};

// The item first, then its ancestors outwards. Each title is the location's last component;
// the root's is the name its file system gives its volume, or the localized "Unknown".
std::vector<AncestorEntry> ancestorEntries(const files::Path& item);

}  // namespace ml::list
