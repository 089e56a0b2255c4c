#include "platform/darwin/Volumes.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace ml::darwin {
namespace {

TEST(MountInfo, ParsesFieldsUnescapesAndSkipsMalformedLines) {
  const auto entries = parseMountInfo(
      "36 35 98:0 /mnt1 /mnt/my\\040disk rw,noatime master:1 - ext3 /dev/root rw,errors=continue\n"
      "garbage line\n"
      "25 1 0:22 / /proc rw,nosuid shared:13 - proc proc rw\n"
      "1 2 x:y / /a rw - ext4 /dev/a rw\n");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].major, 98u);
  EXPECT_EQ(entries[0].mountPoint, "/mnt/my disk");
  EXPECT_EQ(entries[0].fileSystemType, "ext3");
  EXPECT_EQ(entries[0].source, "/dev/root");
  EXPECT_TRUE(isPseudoFileSystem(entries[1].fileSystemType));
}

TEST(VolumeName, LabelWinsThenMountPointThenDevice) {
  test::TempDir dir;
  const auto device = dir.write("dev/sdz1", "");
  std::filesystem::create_directories(dir.path() / "labels");
  std::filesystem::create_symlink(device, dir.path() / "labels" / "Backup\\x20Disk");
  MountEntry labelled{8, 1, "/media/x", "ext4", device.string()};
  EXPECT_EQ(volumeNameOf(labelled, dir.path() / "labels"), "Backup Disk");
  MountEntry plain{8, 2, "/media/usb", "vfat", "/dev/none"};
  EXPECT_EQ(volumeNameOf(plain, dir.path() / "labels"), "usb");
  MountEntry root{8, 3, "/", "ext4", "/dev/vda"};
  EXPECT_EQ(volumeNameOf(root, dir.path() / "labels"), "vda");
}

TEST(VolumeName, ExistingItemsHaveOneAndMissingOrPseudoOnesNone) {
  test::TempDir dir;
  EXPECT_TRUE(volumeName(dir.path()));
  EXPECT_FALSE(volumeName(dir.path() / "missing"));
  EXPECT_FALSE(volumeName("/proc/self"));
}

}  // namespace
}  // namespace ml::darwin
