#pragma once
// Mounted volumes from /proc/self/mountinfo, the stand-in for the volume-name resource value.
// A volume's name is its file-system label (/dev/disk/by-label), else the last component of its
// mount point, else (for "/") the name of its device. Pseudo file systems (proc, sysfs, cgroup,
// ...) are not volumes. Stateless; reads the table afresh on each call; any thread.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ml::darwin {

struct MountEntry {
  unsigned major = 0;
  unsigned minor = 0;
  std::filesystem::path mountPoint;
  std::string fileSystemType;
  std::string source;
};

// Lines of a mountinfo table; malformed lines are skipped.
std::vector<MountEntry> parseMountInfo(std::string_view text);

bool isPseudoFileSystem(std::string_view type);

// The name of the volume holding the item itself (a link at the path is not followed, so a
// broken one has a volume too); nullopt when the item is missing or lies on a pseudo file system.
std::optional<std::string> volumeName(const std::filesystem::path& item);

// Where the volume holding the item itself is mounted ("/" for the root volume); nullopt as for
// volumeName.
std::optional<std::filesystem::path> volumeMountPoint(const std::filesystem::path& item);

// Where the item lies with every link above it resolved; the item itself is kept as named, so
// a link is not replaced by its target.
std::filesystem::path resolvedLocation(const std::filesystem::path& item);

// The name for one entry, given the labels folder (tests pass their own).
std::string volumeNameOf(const MountEntry& entry,
                         const std::filesystem::path& labelsFolder = "/dev/disk/by-label");

}  // namespace ml::darwin
