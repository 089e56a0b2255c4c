#include "files/DefaultFileSystem.h"

#include "files/DefaultAttributeViews.h"
#include "files/FinderMetadata.h"
#include "files/MutableBasicAttributes.h"
#include "platform/darwin/FileManager.h"
#include "platform/darwin/FinderInfo.h"
#include "platform/darwin/FourCharCode.h"
#include "platform/darwin/ItemAttributes.h"
#include "platform/darwin/ItemStatus.h"
#include "platform/darwin/StorableDates.h"
#include "platform/darwin/Volumes.h"
#include "platform/logging/Log.h"

namespace ml::files {

using foundation::Error;
using foundation::Status;

namespace {

std::filesystem::path absoluteOf(const Path& path) {
  std::error_code ec;
  auto absolute = std::filesystem::absolute(path.url(), ec);
  return ec ? path.url() : absolute;
}

std::optional<darwin::ItemAttributes> readAttributes(const Path& path) {
  auto attrs = darwin::readItemAttributes(path.url());
  if (!attrs) return std::nullopt;
  return std::move(attrs).value();
}

// Succeeds when the Finder info in `attrs` is what the item holds, so a changed copy of it may be
// stored; otherwise the error of reading it again (EACCES on an item the caller may not read).
Status finderInfoWritable(const darwin::ItemAttributes& attrs, const std::filesystem::path& item) {
  if (attrs.finderInfoRead) return {};
  auto again = darwin::readFinderInfo(item);
  if (!again) return again.error();
  return Error::posix(EAGAIN, "the Finder information changed while it was read");
}

// Logs an undo step of a failed update that failed as well. The item then holds part of the
// change, which the caller's error alone does not say; the line names the item, what could not be
// put back and the errno text, so the half-written state can be found and mended.
void logFailedRollback(const Path& path, std::string_view what, const Status& undone) {
  if (undone) return;
  LOG_ERROR("failed to undo a partial update, the item may be left half-written. path="
            << path.description() << " restoring=" << what << " error=" << undone.error().description());
}

}  // namespace

const std::shared_ptr<const FileSystem>& FileSystems::defaultFileSystem() {
  static const std::shared_ptr<const FileSystem> instance = std::make_shared<const DefaultFileSystem>("/");
  return instance;
}

Path DefaultFileSystem::rootPath() const { return Path(FileSystems::defaultFileSystem(), "/"); }

// A symbolic link is an item of its own, also when what it points to is gone.
bool DefaultFileSystem::exists(const Path& path) const { return darwin::statusOfItem(absoluteOf(path)).ok(); }

bool DefaultFileSystem::isDirectory(const Path& path) const {
  auto status = darwin::statusOfTarget(path.url());
  return status && status->isDirectory();
}

std::optional<ItemIdentity> DefaultFileSystem::identity(const Path& path) const {
  auto status = darwin::statusOfItem(path.url());
  if (!status) return std::nullopt;
  return ItemIdentity{status->device, status->inode, status->isDirectory(), status->isSymbolicLink()};
}

std::optional<ItemIdentity> DefaultFileSystem::targetIdentity(const Path& path) const {
  auto status = darwin::statusOfTarget(path.url());
  if (!status) return std::nullopt;
  return ItemIdentity{status->device, status->inode, status->isDirectory(), status->isSymbolicLink()};
}

FolderTotals DefaultFileSystem::totalsBelow(const Path& folder, FolderWalk what, std::stop_token stop) const {
  return folderTotals(absoluteOf(folder), std::move(stop), what);
}

Status DefaultFileSystem::createFile(const Path& path) const { return darwin::createEmptyFile(path.url()); }

Status DefaultFileSystem::createDirectory(const Path& path) const { return darwin::createDirectory(path.url()); }

std::optional<std::string> DefaultFileSystem::volumeName(const Path& path) const {
  if (!exists(path)) return std::nullopt;
  return darwin::volumeName(absoluteOf(path));
}

std::optional<std::filesystem::path> DefaultFileSystem::volumeMountPoint(const Path& path) const {
  return darwin::volumeMountPoint(absoluteOf(path));
}

std::filesystem::path DefaultFileSystem::resolvedLocation(const Path& path) const {
  return darwin::resolvedLocation(path.url());
}

std::shared_ptr<const BasicAttributeView> DefaultFileSystem::basicAttributes(const Path& path) const {
  if (!exists(path)) return nullptr;
  auto attrs = readAttributes(path);
  if (!attrs) return nullptr;
  return std::make_shared<const DefaultBasicAttributes>(path, std::move(*attrs));
}

std::shared_ptr<const PosixFileAttributeView> DefaultFileSystem::posixAttributes(const Path& path) const {
  auto attrs = readAttributes(path);
  if (!attrs) return nullptr;
  return std::make_shared<const DefaultPosixAttributes>(path, std::move(*attrs));
}

std::shared_ptr<const AppleAttributeView> DefaultFileSystem::finderAttributes(const Path& path) const {
  auto attrs = readAttributes(path);
  if (!attrs) return nullptr;
  return std::make_shared<const DefaultAppleAttributes>(path, std::move(*attrs));
}

// One read serves the three views, so they describe the same moment.
std::shared_ptr<const FullAttributeView> DefaultFileSystem::allAttributes(const Path& path) const {
  if (!path.fileSystem().exists(path)) return nullptr;
  auto attrs = readAttributes(path);
  if (!attrs) return nullptr;
  return std::make_shared<const AllAttributesView>(std::make_shared<const DefaultBasicAttributes>(path, *attrs),
                                                   std::make_shared<const DefaultPosixAttributes>(path, *attrs),
                                                   std::make_shared<const DefaultAppleAttributes>(path, *attrs));
}

Status DefaultFileSystem::copy(const Path& from, const Path& to) const { return darwin::copyItem(from.url(), to.url()); }

Status DefaultFileSystem::move(const Path& from, const Path& to) const { return darwin::moveItem(from.url(), to.url()); }

std::optional<std::vector<Path>> DefaultFileSystem::contentsOf(const Path& directory) const {
  if (!directory.fileSystem().isDirectory(directory)) return std::nullopt;
  auto names = darwin::listDirectory(directory.url());
  if (!names) {
    LOG_ERROR("failed to get directory contents. path=" << directory.description() << " error=" << names.error().message);
    return std::nullopt;
  }
  std::vector<Path> paths;
  paths.reserve(names->size());
  for (const auto& name : names.value()) paths.emplace_back(directory.sharedFileSystem(), directory.url() / name);
  return paths;
}

// The dates, the invisible flag and the extension-hidden flag land together or not at all: the
// steps that change stored attributes run first and are undone when a later step fails (an
// immutable item refuses the first of them, so nothing changes there).
Status DefaultFileSystem::updateBasicAttributes(const Path& path, const BasicAttributeView& values) const {
  const auto* record = dynamic_cast<const MutableBasicAttributes*>(&values);
  if (!record || !record->hasChanges()) return {};
  const auto& item = path.url();
  auto before = darwin::readItemAttributes(item);
  if (!before) return before.error();
  // A name starting with "." hides the item whatever its flag says: asking for such an item to
  // be visible cannot be honoured, and reporting success would be a lie.
  if (before->nameStartsWithDot && !record->isInvisible()) {
    return Error::posix(EINVAL, "a name that starts with \".\" keeps the item invisible");
  }

  // A date is written only when it differs from what the item holds now: a date the user left
  // as it was read is not rewritten, so it keeps every nanosecond and cannot be clamped.
  const auto modified = record->lastModifiedDate() != before->modificationDate
                            ? std::optional<Date>(record->lastModifiedDate()) : std::nullopt;
  const auto accessed = record->lastAccessedDate() != before->accessDate
                            ? std::optional<Date>(record->lastAccessedDate()) : std::nullopt;
  // A date the file system would clamp is refused before anything is written.
  if (modified || accessed) {
    std::vector<Date> asked;
    if (modified) asked.push_back(*modified);
    if (accessed) asked.push_back(*accessed);
    if (auto range = darwin::storableDates(item)) {
      if (auto s = range->check(asked); !s) return s;
    }
  }

  // The creation date is kept in an attribute of ours, not by the file system: any date a
  // timestamp can express is fine there.
  if (const auto created = record->creationDate()) {
    if (auto s = darwin::StorableDates{INT64_MIN, INT64_MAX}.check(std::span(&*created, 1)); !s) return s;
  }

  // The stored creation date is read only when it is about to change (the undo needs it): an
  // owner who may not read the item's attributes may still set its other dates.
  bool creationWritten = false;
  std::optional<darwin::Date> storedBefore;
  if (record->creationDate() && record->creationDate() != before->creationDate) {
    auto stored = darwin::readStoredCreationDate(item);
    if (!stored) return stored.error();
    storedBefore = stored.value();
    if (auto s = darwin::setStoredCreationDate(item, record->creationDate()); !s) return s;
    creationWritten = true;
  }
  auto undoCreation = [&] {
    if (creationWritten) logFailedRollback(path, "creation date", darwin::setStoredCreationDate(item, storedBefore));
  };

  darwin::FinderInfo info = before->finderInfo;
  // With such a name the flag is left as it is: the name alone decides.
  const bool flagWanted = before->nameStartsWithDot ? info.hasFlag(darwin::FinderInfo::kIsInvisible)
                                                    : record->isInvisible();
  info.setFlag(darwin::FinderInfo::kIsInvisible, flagWanted);
  info.setFlag(darwin::FinderInfo::kIsExtensionHidden, record->isExtensionHidden());
  const bool infoChanged = !(info == before->finderInfo);
  if (infoChanged) {
    // Finder info that could not be read must not be replaced by one built without it.
    if (auto s = finderInfoWritable(*before, item); !s) {
      undoCreation();
      return s;
    }
    if (auto s = darwin::writeFinderInfo(item, info); !s) {
      undoCreation();
      return s;
    }
  }

  if (auto s = darwin::setItemTimes(item, modified, accessed); !s) {
    if (infoChanged) logFailedRollback(path, "Finder information", darwin::writeFinderInfo(item, before->finderInfo));
    undoCreation();
    return s;
  }
  return {};
}

// Only the six read and write bits the record holds change; execute, set-id and sticky bits of
// the item stay as they are.
Status DefaultFileSystem::updatePosixAttributes(const Path& path, const PosixFileAttributeView& values) const {
  auto status = darwin::statusOfTarget(path.url());
  if (!status) return Error::posix(status.error().code);
  const unsigned kept = status->mode & 07777 & ~static_cast<unsigned>(FilePermissions::kAllBits);
  const unsigned wanted = static_cast<unsigned>(values.permissions().rawValue() & FilePermissions::kAllBits);
  return darwin::setMode(path.url(), kept | wanted);
}

Status DefaultFileSystem::updateFinderAttributes(const Path& path, const AppleAttributeView& values) const {
  const auto current = finderAttributes(path);
  if (!current) return Error::posix(ENOENT);
  const auto& item = path.url();

  const auto oldComment = current->comments();
  const auto newComment = values.comments();
  const bool commentChanged = oldComment != newComment;
  if (commentChanged) {
    if (auto s = writeFinderComment(item, newComment); !s) return s;
  }

  const auto oldCreator = current->creatorCode(), newCreator = values.creatorCode();
  const auto oldType = current->typeCode(), newType = values.typeCode();
  if (oldCreator == newCreator && oldType == newType) return {};

  Status status;
  auto attrs = darwin::readItemAttributes(item);
  if (!attrs) {
    status = attrs.error();
  } else if (attrs->kind != darwin::ItemKind::regular) {
    // A folder keeps its window bounds where a file keeps its codes.
    status = Error::posix(attrs->kind == darwin::ItemKind::directory ? EISDIR : EINVAL);
  } else if (auto readable = finderInfoWritable(*attrs, item); !readable) {
    status = readable;
  } else {
    darwin::FinderInfo info = attrs->finderInfo;
    if (oldCreator != newCreator) info.setCreatorCode(newCreator ? darwin::fourCharCode(*newCreator) : 0);
    if (oldType != newType) info.setTypeCode(newType ? darwin::fourCharCode(*newType) : 0);
    status = darwin::writeFinderInfo(item, info);
  }
  if (!status) {
    LOG_ERROR("failed to save attributes. path=" << path.description() << " error=" << status.error().description());
    // The caller sees the failure and restores what it read; leave no half-written update.
    if (commentChanged) logFailedRollback(path, "Finder comment", writeFinderComment(item, oldComment));
  }
  return status;
}

}  // namespace ml::files
