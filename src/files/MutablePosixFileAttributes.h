#pragma once
// Owner, group and permissions built member by member. Only the permissions are ever written.
#include "files/AttributeViews.h"

namespace ml::files {

class MutablePosixFileAttributes final : public PosixFileAttributeView {
 public:
  MutablePosixFileAttributes(std::string owner, std::string group, FilePermissions permissions)
      : owner_(std::move(owner)), group_(std::move(group)), permissions_(permissions) {}

  std::string owner() const override { return owner_; }
  std::string group() const override { return group_; }
  FilePermissions permissions() const override { return permissions_; }
  void setOwner(std::string value) { owner_ = std::move(value); }
  void setGroup(std::string value) { group_ = std::move(value); }
  void setPermissions(FilePermissions value) { permissions_ = value; }

 private:
  std::string owner_;
  std::string group_;
  FilePermissions permissions_;
};

}  // namespace ml::files
