#pragma once
// The mounted volumes a user would recognise, from the kernel's mount table: every mount of a
// real file system, by mount point, with its name (label, else the mount point's last component)
// and a theme icon for its kind. Left out: pseudo file systems, memory and image file systems
// other than the root (tmpfs, squashfs, overlay), and mounts inside the system's own trees
// (/proc, /sys, /dev, /run, except removable media under /run/media). A mount point mounted
// over keeps only its last mount.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/darwin/Volumes.h"

namespace ml::list {

struct MountedVolume {
  std::filesystem::path mountPoint;
  std::string name;
  std::string iconName;  // a theme icon: hard disk, removable media or network folder
};

// The volumes of a mount table, in its order. `labelsFolder` as for darwin::volumeNameOf.
std::vector<MountedVolume> volumesOf(const std::vector<darwin::MountEntry>& table,
                                     const std::filesystem::path& labelsFolder = "/dev/disk/by-label");

// The volumes mounted now (/proc/self/mountinfo); nothing when the table cannot be read.
std::optional<std::vector<MountedVolume>> mountedVolumes();

}  // namespace ml::list
