#include "rename/confirmation/ItemRenamer.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "files/FileSystem.h"
#include "platform/logging/Log.h"
#include "rename/ItemName.h"

namespace ml::rename {

namespace {

using foundation::Error;

Error posixError(int code, std::string text) { return Error::make(Error::kPosixDomain, code, std::move(text)); }

bool sameItem(const files::Path& a, const files::Path& b) {
  auto first = a.fileSystem().identity(a);
  auto second = b.fileSystem().identity(b);
  return first && second && first->device == second->device && first->inode == second->inode;
}

// A name in the item's folder that nothing else uses, for the middle step of a two-step move.
files::Path temporarySibling(const files::Path& folder, const std::string& name) {
  static std::atomic<unsigned> counter{0};
  const std::string temporary = "." + name + ".renaming-" + std::to_string(::getpid()) + "-" +
                                std::to_string(counter.fetch_add(1));
  return files::Path(folder.sharedFileSystem(), folder.url() / temporary);
}

// On a file system that ignores case, "photo.JPG" and "photo.jpg" are one entry: the move to the
// new spelling finds the item itself in the way. Moving through a temporary name changes the
// spelling without ever replacing anything; a failed second step moves the item back.
foundation::Status changeSpelling(const files::Path& item, const files::Path& target, const files::Path& folder) {
  const files::Path temporary = temporarySibling(folder, itemName(target));
  if (auto moved = item.fileSystem().move(item, temporary); !moved) return moved;
  auto renamed = item.fileSystem().move(temporary, target);
  if (renamed) return renamed;
  if (auto back = item.fileSystem().move(temporary, item); !back) {
    LOG_ERROR("failed to move item back from its temporary name. path=" << temporary.description()
                                                                        << " error=" << back.error());
    return posixError(renamed.error().code, renamed.error().message + " (the item is now at " +
                                                temporary.description() + ")");
  }
  return renamed;
}

}  // namespace

std::optional<Error> fileNameProblem(std::string_view name) {
  const std::string quoted = "\u201C" + std::string(name) + "\u201D";
  if (name.empty()) return posixError(EINVAL, "A name cannot be empty.");
  if (name == "." || name == "..") return posixError(EINVAL, "The name " + quoted + " is reserved.");
  if (name.find('/') != std::string_view::npos) {
    return posixError(EINVAL, "The name " + quoted + " contains a \u201C/\u201D, which would move the item elsewhere.");
  }
  if (name.find('\0') != std::string_view::npos) return posixError(EINVAL, "A name cannot contain a NUL character.");
  return std::nullopt;
}

foundation::Result<files::Path> renameItem(const files::Path& item, const shell::RenameRule& rule) {
  const std::string oldName = itemName(item);
  auto newName = rule.apply(oldName);
  if (!newName) return newName.error();
  if (auto problem = fileNameProblem(*newName)) return *problem;
  auto folder = item.parent();
  if (!folder) return posixError(EINVAL, "\u201C" + item.description() + "\u201D has no enclosing folder and cannot be renamed.");
  files::Path target(folder->sharedFileSystem(), folder->url() / *newName);
  auto moved = item.fileSystem().move(item, target);
  if (!moved && moved.error().isPosix(EEXIST) && sameItem(item, target)) moved = changeSpelling(item, target, *folder);
  if (!moved) return moved.error();
  return target;
}

}  // namespace ml::rename
