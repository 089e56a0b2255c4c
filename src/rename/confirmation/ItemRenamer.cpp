#include "rename/confirmation/ItemRenamer.h"

#include <cerrno>
#include <string>

#include "rename/mover/ItemName.h"
#include "rename/mover/MoveToNewName.h"

namespace ml::rename {

namespace {

using foundation::Error;

Error posixError(int code, std::string text) { return Error::make(Error::kPosixDomain, code, std::move(text)); }

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
  if (auto moved = moveToNewName(item, target); !moved) return moved.error();
  return target;
}

}  // namespace ml::rename
