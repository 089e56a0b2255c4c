#pragma once
// Views that answer every member of the view they wrap except the sizes, which they report as
// unknown. Copying a view into an editable record reads every member once, and a folder's size
// is a walk of everything below it; the attribute writes never use sizes, so the apply command
// copies through these instead. They borrow the wrapped view: keep it alive while they are used.
#include "files/AttributeViews.h"

namespace ml::info {

class SizelessBasicView final : public files::BasicAttributeView {
 public:
  explicit SizelessBasicView(const files::BasicAttributeView& view) : view_(view) {}
  std::optional<files::Date> creationDate() const override { return view_.creationDate(); }
  files::Date lastModifiedDate() const override { return view_.lastModifiedDate(); }
  files::Date lastAccessedDate() const override { return view_.lastAccessedDate(); }
  bool isDirectory() const override { return view_.isDirectory(); }
  bool isSymbolicLink() const override { return view_.isSymbolicLink(); }
  bool isRegularFile() const override { return view_.isRegularFile(); }
  bool isOther() const override { return view_.isOther(); }
  bool isInvisible() const override { return view_.isInvisible(); }
  bool isExtensionHidden() const override { return view_.isExtensionHidden(); }
  files::FileSize totalSize() const override { return files::FileSize::unknown(); }

 private:
  const files::BasicAttributeView& view_;
};

class SizelessFinderView final : public files::AppleAttributeView {
 public:
  explicit SizelessFinderView(const files::AppleAttributeView& view) : view_(view) {}
  std::optional<std::string> comments() const override { return view_.comments(); }
  bool isStationary() const override { return view_.isStationary(); }
  files::FileIcon icon() const override { return view_.icon(); }
  std::optional<std::string> creatorCode() const override { return view_.creatorCode(); }
  std::optional<std::string> typeCode() const override { return view_.typeCode(); }
  files::FinderTags tags() const override { return view_.tags(); }
  std::optional<std::string> kind() const override { return view_.kind(); }
  bool isLocked() const override { return view_.isLocked(); }
  bool isNameLocked() const override { return view_.isNameLocked(); }
  bool isAlias() const override { return view_.isAlias(); }
  bool isPackage() const override { return view_.isPackage(); }
  std::optional<files::Date> lastBackupDate() const override { return view_.lastBackupDate(); }
  files::FileSize dataSize() const override { return files::FileSize::unknown(); }
  std::optional<files::FileSize> resourceSize() const override { return view_.resourceSize(); }
  bool hasExtendedAttribute(std::string_view name) const override { return view_.hasExtendedAttribute(name); }
  std::optional<files::Bytes> extendedAttribute(std::string_view name) const override {
    return view_.extendedAttribute(name);
  }

 private:
  const files::AppleAttributeView& view_;
};

}  // namespace ml::info
