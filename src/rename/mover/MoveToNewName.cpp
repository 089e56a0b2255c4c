#include "rename/mover/MoveToNewName.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "files/FileSystem.h"
#include "platform/logging/Log.h"
#include "rename/mover/ItemName.h"

namespace ml::rename {

namespace {

bool sameItem(const files::Path& a, const files::Path& b) {
  auto first = a.fileSystem().identity(a);
  auto second = b.fileSystem().identity(b);
  return first && second && first->device == second->device && first->inode == second->inode;
}

// Whether what stands in the way of `target` is `item` itself under another spelling. The same
// device and inode say so; some file systems (FUSE ones among them) number an entry afresh for
// each spelling it is looked up by, so failing that, a folder with no entry spelled exactly as
// the target means the entry in the way matched only by ignoring case. Were that another item,
// the two-step move fails at its second step (no step ever replaces anything) and the item
// goes back.
bool itemIsInItsOwnWay(const files::Path& item, const files::Path& target, const files::Path& folder) {
  if (sameItem(item, target)) return true;
  auto entries = folder.fileSystem().contentsOf(folder);
  if (!entries) return false;
  const std::string wanted = itemName(target);
  bool itemListed = false;
  for (const auto& entry : *entries) {
    const std::string name = itemName(entry);
    if (name == wanted) return false;
    if (name == itemName(item)) itemListed = true;
  }
  return itemListed;
}

// A name in the folder that nothing else uses, for the middle step of a two-step move.
files::Path temporarySibling(const files::Path& folder, const std::string& name) {
  static std::atomic<unsigned> counter{0};
  const std::string temporary = "." + name + ".renaming-" + std::to_string(::getpid()) + "-" +
                                std::to_string(counter.fetch_add(1));
  return files::Path(folder.sharedFileSystem(), folder.url() / temporary);
}

foundation::Error nameTaken(const files::Path& target) {
  return foundation::Error::make(foundation::Error::kPosixDomain, EEXIST,
                                 "an item named \u201C" + itemName(target) + "\u201D is already in this folder");
}

foundation::Status changeSpelling(const files::Path& item, const files::Path& target, const files::Path& folder) {
  const files::Path temporary = temporarySibling(folder, itemName(target));
  if (auto moved = item.fileSystem().move(item, temporary); !moved) return moved;
  auto renamed = item.fileSystem().move(temporary, target);
  if (renamed) return renamed;
  if (auto back = item.fileSystem().move(temporary, item); !back) {
    LOG_ERROR("failed to move item back from its temporary name. path=" << temporary.description()
                                                                        << " error=" << back.error());
    return foundation::Error::make(foundation::Error::kPosixDomain, renamed.error().code,
                                   renamed.error().message + " (the item is now at " + temporary.description() + ")");
  }
  // Another item holds the name after all (only its case differs); the item is back in place.
  if (renamed.error().isPosix(EEXIST)) return nameTaken(target);
  return renamed;
}

}  // namespace

foundation::Status moveToNewName(const files::Path& item, const files::Path& target) {
  auto moved = item.fileSystem().move(item, target);
  if (moved || !moved.error().isPosix(EEXIST)) return moved;
  const files::Path folder = target.parent().value_or(target.fileSystem().rootPath());
  if (!itemIsInItsOwnWay(item, target, folder)) return nameTaken(target);
  return changeSpelling(item, target, folder);
}

}  // namespace ml::rename
