#include "list/menu/MountedVolumes.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>

namespace ml::list {

namespace {

bool isUnder(const std::string& point, std::string_view folder) {
  return point == folder || (point.size() > folder.size() && point.starts_with(folder) && point[folder.size()] == '/');
}

bool isRemovableMount(const std::string& point) { return isUnder(point, "/media") || isUnder(point, "/run/media"); }

bool isNetworkFileSystem(std::string_view type) {
  static constexpr std::array<std::string_view, 8> kNetwork = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "9p",
                                                               "fuse.sshfs", "afs"};
  return std::find(kNetwork.begin(), kNetwork.end(), type) != kNetwork.end();
}

bool isShown(const darwin::MountEntry& entry) {
  const std::string point = entry.mountPoint.string();
  if (darwin::isPseudoFileSystem(entry.fileSystemType)) return false;
  if (point == "/") return true;
  static constexpr std::array<std::string_view, 4> kUnseen = {"tmpfs", "squashfs", "overlay", "nsfs"};
  if (std::find(kUnseen.begin(), kUnseen.end(), entry.fileSystemType) != kUnseen.end()) return false;
  if (isUnder(point, "/run/media")) return true;
  for (std::string_view system : {"/proc", "/sys", "/dev", "/run", "/snap", "/var/lib/docker"}) {
    if (isUnder(point, system)) return false;
  }
  return true;
}

}  // namespace

std::vector<MountedVolume> volumesOf(const std::vector<darwin::MountEntry>& table,
                                     const std::filesystem::path& labelsFolder) {
  std::vector<MountedVolume> volumes;
  for (const auto& entry : table) {
    // A later mount over the same point hides the earlier one.
    std::erase_if(volumes, [&](const MountedVolume& v) { return v.mountPoint == entry.mountPoint; });
    if (!isShown(entry)) continue;
    std::string icon = "drive-harddisk";
    if (isNetworkFileSystem(entry.fileSystemType)) {
      icon = "folder-remote";
    } else if (isRemovableMount(entry.mountPoint.string())) {
      icon = "drive-removable-media";
    }
    volumes.push_back({entry.mountPoint, darwin::volumeNameOf(entry, labelsFolder), std::move(icon)});
  }
  return volumes;
}

std::optional<std::vector<MountedVolume>> mountedVolumes() {
  std::ifstream in("/proc/self/mountinfo");
  if (!in) return std::nullopt;
  std::stringstream text;
  text << in.rdbuf();
  return volumesOf(darwin::parseMountInfo(text.str()));
}

}  // namespace ml::list
