#pragma once
// An editable copy of a Finder view. Every setter marks the record changed. Of its members,
// updateFinderAttributes writes only the comment and the type and creator codes, and only where
// they differ from the item; the record carries no extended attributes.
// A plain value: copy it freely, use it on one thread at a time.
#include "files/AttributeViews.h"

namespace ml::files {

class MutableAppleAttributes final : public AppleAttributeView {
 public:
  // Copies every member of `view` once (its on-access members are computed here).
  explicit MutableAppleAttributes(const AppleAttributeView& view)
      : comments_(view.comments()),
        isStationary_(view.isStationary()),
        icon_(view.icon()),
        creatorCode_(view.creatorCode()),
        typeCode_(view.typeCode()),
        tags_(view.tags()),
        kind_(view.kind()),
        isLocked_(view.isLocked()),
        isNameLocked_(view.isNameLocked()),
        isAlias_(view.isAlias()),
        isPackage_(view.isPackage()),
        lastBackupDate_(view.lastBackupDate()),
        dataSize_(view.dataSize()),
        resourceSize_(view.resourceSize()) {}

  bool hasChanges() const { return hasChanges_; }
  void setHasChanges(bool value) { hasChanges_ = value; }

  std::optional<std::string> comments() const override { return comments_; }
  bool isStationary() const override { return isStationary_; }
  FileIcon icon() const override { return icon_; }
  std::optional<std::string> creatorCode() const override { return creatorCode_; }
  std::optional<std::string> typeCode() const override { return typeCode_; }
  FinderTags tags() const override { return tags_; }
  std::optional<std::string> kind() const override { return kind_; }
  bool isLocked() const override { return isLocked_; }
  bool isNameLocked() const override { return isNameLocked_; }
  bool isAlias() const override { return isAlias_; }
  bool isPackage() const override { return isPackage_; }
  std::optional<Date> lastBackupDate() const override { return lastBackupDate_; }
  FileSize dataSize() const override { return dataSize_; }
  std::optional<FileSize> resourceSize() const override { return resourceSize_; }
  bool hasExtendedAttribute(std::string_view) const override { return false; }
  std::optional<Bytes> extendedAttribute(std::string_view) const override { return std::nullopt; }

  void setComments(std::optional<std::string> value) { set(comments_, std::move(value)); }
  void setStationary(bool value) { set(isStationary_, value); }
  void setIcon(FileIcon value) { set(icon_, std::move(value)); }
  void setCreatorCode(std::optional<std::string> value) { set(creatorCode_, std::move(value)); }
  void setTypeCode(std::optional<std::string> value) { set(typeCode_, std::move(value)); }
  void setTags(FinderTags value) { set(tags_, std::move(value)); }
  void setKind(std::optional<std::string> value) { set(kind_, std::move(value)); }
  void setLocked(bool value) { set(isLocked_, value); }
  void setNameLocked(bool value) { set(isNameLocked_, value); }
  void setLastBackupDate(std::optional<Date> value) { set(lastBackupDate_, value); }

 private:
  template <class T>
  void set(T& field, T value) {
    field = std::move(value);
    hasChanges_ = true;
  }

  std::optional<std::string> comments_;
  bool isStationary_;
  FileIcon icon_;
  std::optional<std::string> creatorCode_;
  std::optional<std::string> typeCode_;
  FinderTags tags_;
  std::optional<std::string> kind_;
  bool isLocked_;
  bool isNameLocked_;
  bool isAlias_;
  bool isPackage_;
  std::optional<Date> lastBackupDate_;
  FileSize dataSize_;
  std::optional<FileSize> resourceSize_;
  bool hasChanges_ = false;
};

}  // namespace ml::files
