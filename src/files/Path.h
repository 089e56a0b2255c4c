#pragma once
// An item's location together with the file system it lives on. Immutable; any thread.
// Equality and hashing use the location alone, so paths from different file systems that name
// the same location are the same key. No normalisation happens at construction.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ml::files {

class FileSystem;

class Path {
 public:
  Path(std::shared_ptr<const FileSystem> fileSystem, std::filesystem::path url);
  // A path on the default file system.
  explicit Path(std::filesystem::path url);

  const FileSystem& fileSystem() const { return *fileSystem_; }
  const std::shared_ptr<const FileSystem>& sharedFileSystem() const { return fileSystem_; }
  const std::filesystem::path& url() const { return url_; }
  // The plain POSIX path.
  std::string description() const { return url_.string(); }
  // The name of the volume holding the item, or the localized "Unknown".
  std::string volume() const;
  // The item's location within its volume, from the volume's root: "/album" for /x/mnt/album on
  // a volume mounted at /x/mnt, "/" for the volume's root, the full location on the root volume.
  // The location as given when the volume is unknown.
  std::filesystem::path pathOnVolume() const;
  // The folder holding the item on the same file system; nullopt at the root.
  std::optional<Path> parent() const;

  friend bool operator==(const Path& a, const Path& b) { return a.url_ == b.url_; }

 private:
  std::shared_ptr<const FileSystem> fileSystem_;
  std::filesystem::path url_;
};

}  // namespace ml::files

template <>
struct std::hash<ml::files::Path> {
  size_t operator()(const ml::files::Path& p) const noexcept { return std::filesystem::hash_value(p.url()); }
};
