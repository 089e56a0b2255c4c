#pragma once
// An editable copy of a basic view. Every setter marks the record changed, whether or not the
// value differs; hasChanges decides whether updateBasicAttributes writes anything at all.
// A plain value: copy it freely, use it on one thread at a time.
#include "files/AttributeViews.h"

namespace ml::files {

class MutableBasicAttributes final : public BasicAttributeView {
 public:
  // Copies every member of `view` once (a folder's totalSize is computed here).
  explicit MutableBasicAttributes(const BasicAttributeView& view)
      : creationDate_(view.creationDate()),
        lastModifiedDate_(view.lastModifiedDate()),
        lastAccessedDate_(view.lastAccessedDate()),
        isDirectory_(view.isDirectory()),
        isSymbolicLink_(view.isSymbolicLink()),
        isRegularFile_(view.isRegularFile()),
        isOther_(view.isOther()),
        isInvisible_(view.isInvisible()),
        isExtensionHidden_(view.isExtensionHidden()),
        totalSize_(view.totalSize()) {}

  bool hasChanges() const { return hasChanges_; }
  void setHasChanges(bool value) { hasChanges_ = value; }

  std::optional<Date> creationDate() const override { return creationDate_; }
  Date lastModifiedDate() const override { return lastModifiedDate_; }
  Date lastAccessedDate() const override { return lastAccessedDate_; }
  bool isDirectory() const override { return isDirectory_; }
  bool isSymbolicLink() const override { return isSymbolicLink_; }
  bool isRegularFile() const override { return isRegularFile_; }
  bool isOther() const override { return isOther_; }
  bool isInvisible() const override { return isInvisible_; }
  bool isExtensionHidden() const override { return isExtensionHidden_; }
  FileSize totalSize() const override { return totalSize_; }

  void setCreationDate(std::optional<Date> value) { set(creationDate_, value); }
  void setLastModifiedDate(Date value) { set(lastModifiedDate_, value); }
  void setLastAccessedDate(Date value) { set(lastAccessedDate_, value); }
  void setInvisible(bool value) { set(isInvisible_, value); }
  void setExtensionHidden(bool value) { set(isExtensionHidden_, value); }

 private:
  template <class T>
  void set(T& field, T value) {
    field = std::move(value);
    hasChanges_ = true;
  }

  bool hasChanges_ = false;
  std::optional<Date> creationDate_;
  Date lastModifiedDate_;
  Date lastAccessedDate_;
  bool isDirectory_;
  bool isSymbolicLink_;
  bool isRegularFile_;
  bool isOther_;
  bool isInvisible_;
  bool isExtensionHidden_;
  FileSize totalSize_;
};

}  // namespace ml::files
