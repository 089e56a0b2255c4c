#pragma once
// The default views: each holds the item's attributes as read at construction (one read of
// platform/darwin's item attributes); the members computed on access go back to the file
// system. A view of a symbolic link describes the link, not its target.
#include <memory>

#include "files/AttributeViews.h"
#include "files/Path.h"
#include "platform/darwin/ItemAttributes.h"

namespace ml::files {

class DefaultBasicAttributes final : public BasicAttributeView {
 public:
  DefaultBasicAttributes(Path file, darwin::ItemAttributes attrs) : file_(std::move(file)), attrs_(std::move(attrs)) {}
  std::optional<Date> creationDate() const override { return attrs_.creationDate; }
  Date lastModifiedDate() const override { return attrs_.modificationDate; }
  Date lastAccessedDate() const override { return attrs_.accessDate; }
  bool isDirectory() const override { return attrs_.kind == darwin::ItemKind::directory; }
  bool isSymbolicLink() const override { return attrs_.kind == darwin::ItemKind::symbolicLink; }
  bool isRegularFile() const override { return attrs_.kind == darwin::ItemKind::regular; }
  bool isOther() const override { return !isDirectory() && !isSymbolicLink() && !isRegularFile(); }
  bool isInvisible() const override { return attrs_.isInvisible(); }
  bool isExtensionHidden() const override { return attrs_.isExtensionHidden(); }
  FileSize totalSize() const override { return cancellableTotalSize({}); }
  FileSize cancellableTotalSize(std::stop_token stop) const override;

 private:
  Path file_;
  darwin::ItemAttributes attrs_;
};

class DefaultPosixAttributes final : public PosixFileAttributeView {
 public:
  DefaultPosixAttributes(Path file, darwin::ItemAttributes attrs);
  std::string owner() const override { return owner_; }
  std::string group() const override { return group_; }
  FilePermissions permissions() const override {
    return FilePermissions(static_cast<int>(attrs_.mode) & FilePermissions::kAllBits);
  }

 private:
  Path file_;
  darwin::ItemAttributes attrs_;
  std::string owner_;
  std::string group_;
};

class DefaultAppleAttributes final : public AppleAttributeView {
 public:
  DefaultAppleAttributes(Path file, darwin::ItemAttributes attrs) : file_(std::move(file)), attrs_(std::move(attrs)) {}
  std::optional<std::string> comments() const override;
  bool isStationary() const override;
  FileIcon icon() const override;
  std::optional<std::string> creatorCode() const override;
  std::optional<std::string> typeCode() const override;
  FinderTags tags() const override;
  std::optional<std::string> kind() const override;
  bool isLocked() const override { return attrs_.isImmutable; }
  bool isNameLocked() const override { return false; }
  bool isAlias() const override { return attrs_.isAlias(); }
  bool isPackage() const override { return attrs_.isPackage(); }
  std::optional<Date> lastBackupDate() const override { return std::nullopt; }
  FileSize dataSize() const override;
  std::optional<FileSize> resourceSize() const override;
  bool hasExtendedAttribute(std::string_view name) const override;
  std::optional<Bytes> extendedAttribute(std::string_view name) const override;

 private:
  Path file_;
  darwin::ItemAttributes attrs_;
};

class AllAttributesView final : public FullAttributeView {
 public:
  AllAttributesView(std::shared_ptr<const BasicAttributeView> basic, std::shared_ptr<const PosixFileAttributeView> posix,
                    std::shared_ptr<const AppleAttributeView> finder)
      : basic_(std::move(basic)), posix_(std::move(posix)), finder_(std::move(finder)) {}

  std::optional<Date> creationDate() const override { return basic_->creationDate(); }
  Date lastModifiedDate() const override { return basic_->lastModifiedDate(); }
  Date lastAccessedDate() const override { return basic_->lastAccessedDate(); }
  bool isDirectory() const override { return basic_->isDirectory(); }
  bool isSymbolicLink() const override { return basic_->isSymbolicLink(); }
  bool isRegularFile() const override { return basic_->isRegularFile(); }
  bool isOther() const override { return basic_->isOther(); }
  bool isInvisible() const override { return basic_->isInvisible(); }
  bool isExtensionHidden() const override { return basic_->isExtensionHidden(); }
  FileSize totalSize() const override { return basic_->totalSize(); }
  FileSize cancellableTotalSize(std::stop_token stop) const override { return basic_->cancellableTotalSize(stop); }

  std::string owner() const override { return posix_->owner(); }
  std::string group() const override { return posix_->group(); }
  FilePermissions permissions() const override { return posix_->permissions(); }

  std::optional<std::string> comments() const override { return finder_->comments(); }
  bool isStationary() const override { return finder_->isStationary(); }
  FileIcon icon() const override { return finder_->icon(); }
  std::optional<std::string> creatorCode() const override { return finder_->creatorCode(); }
  std::optional<std::string> typeCode() const override { return finder_->typeCode(); }
  FinderTags tags() const override { return finder_->tags(); }
  std::optional<std::string> kind() const override { return finder_->kind(); }
  bool isLocked() const override { return finder_->isLocked(); }
  bool isNameLocked() const override { return false; }
  bool isAlias() const override { return finder_->isAlias(); }
  bool isPackage() const override { return finder_->isPackage(); }
  std::optional<Date> lastBackupDate() const override { return std::nullopt; }
  FileSize dataSize() const override { return finder_->dataSize(); }
  std::optional<FileSize> resourceSize() const override { return finder_->resourceSize(); }
  bool hasExtendedAttribute(std::string_view name) const override { return finder_->hasExtendedAttribute(name); }
  std::optional<Bytes> extendedAttribute(std::string_view name) const override { return finder_->extendedAttribute(name); }

 private:
  std::shared_ptr<const BasicAttributeView> basic_;
  std::shared_ptr<const PosixFileAttributeView> posix_;
  std::shared_ptr<const AppleAttributeView> finder_;
};

}  // namespace ml::files
