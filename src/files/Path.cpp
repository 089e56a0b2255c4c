#include "files/Path.h"

#include "files/FileSystem.h"
#include "platform/foundation/LocalizedStrings.h"

namespace ml::files {

namespace {
// "/a/b/" and "/a/b" name one item; the trailing separator would make parent_path() answer the
// path itself.
std::filesystem::path withoutTrailingSeparator(std::filesystem::path p) {
  std::string s = p.string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}
}  // namespace

Path::Path(std::shared_ptr<const FileSystem> fileSystem, std::filesystem::path url)
    : fileSystem_(std::move(fileSystem)), url_(std::move(url)) {}

Path::Path(std::filesystem::path url) : Path(FileSystems::defaultFileSystem(), std::move(url)) {}

std::string Path::volume() const {
  if (auto name = fileSystem_->volumeName(*this)) return *name;
  return foundation::localizedString("Unknown");
}

std::filesystem::path Path::pathOnVolume() const {
  const auto mountPoint = fileSystem_->volumeMountPoint(*this);
  if (!mountPoint) return url_;
  const auto location = fileSystem_->resolvedLocation(*this);
  if (*mountPoint == "/") return location;
  const auto inside = location.lexically_relative(*mountPoint);
  if (inside.empty() || *inside.begin() == "..") return url_;
  if (inside == ".") return "/";
  return std::filesystem::path("/") / inside;
}

std::optional<Path> Path::parent() const {
  auto parent = withoutTrailingSeparator(withoutTrailingSeparator(url_).parent_path().lexically_normal());
  if (parent.empty() || parent == url_) return std::nullopt;
  return Path(fileSystem_, std::move(parent));
}

}  // namespace ml::files
