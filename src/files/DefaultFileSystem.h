#pragma once
// The file system of the machine, over the platform stand-ins in platform/darwin. Stateless.
#include "files/FileSystem.h"

namespace ml::files {

class DefaultFileSystem final : public FileSystem {
 public:
  explicit DefaultFileSystem(std::string separator = "/") : separator_(std::move(separator)) {}

  std::string separator() const override { return separator_; }
  Path rootPath() const override;
  bool exists(const Path& path) const override;
  foundation::Status createFile(const Path& path) const override;
  foundation::Status createDirectory(const Path& path) const override;
  bool isDirectory(const Path& path) const override;
  std::shared_ptr<const BasicAttributeView> basicAttributes(const Path& path) const override;
  std::shared_ptr<const PosixFileAttributeView> posixAttributes(const Path& path) const override;
  std::shared_ptr<const AppleAttributeView> finderAttributes(const Path& path) const override;
  std::shared_ptr<const FullAttributeView> allAttributes(const Path& path) const override;
  std::optional<std::string> volumeName(const Path& path) const override;
  std::optional<std::filesystem::path> volumeMountPoint(const Path& path) const override;
  std::filesystem::path resolvedLocation(const Path& path) const override;
  foundation::Status copy(const Path& from, const Path& to) const override;
  foundation::Status move(const Path& from, const Path& to) const override;
  foundation::Status updateBasicAttributes(const Path& path, const BasicAttributeView& values) const override;
  foundation::Status updatePosixAttributes(const Path& path, const PosixFileAttributeView& values) const override;
  foundation::Status updateFinderAttributes(const Path& path, const AppleAttributeView& values) const override;
  std::optional<std::vector<Path>> contentsOf(const Path& directory) const override;
  std::optional<ItemIdentity> identity(const Path& path) const override;
  std::optional<ItemIdentity> targetIdentity(const Path& path) const override;
  // The parallel walk of the machine's folders (folderTotals()).
  FolderTotals totalsBelow(const Path& folder, FolderWalk what, std::stop_token stop) const override;

 private:
  std::string separator_;
};

}  // namespace ml::files
