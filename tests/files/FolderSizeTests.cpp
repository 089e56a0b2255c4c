#include "files/FolderSize.h"

#include <sys/mount.h>

#include <gtest/gtest.h>

#include "platform/darwin/ExtendedAttributes.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace ml::files {
namespace {

TEST(FolderTotals, SumsBothForksOfEveryFileAcrossManyFolders) {
  test::TempDir dir;
  int64_t expected = 0;
  for (int f = 0; f < 40; ++f)
    for (int i = 0; i < 10; ++i) {
      const auto file = dir.write("root/f" + std::to_string(f) + "/deep/x" + std::to_string(i), std::string(f + i, 'a'));
      expected += f + i;
      if (i == 3) {
        ASSERT_TRUE(darwin::setExtendedAttribute(file, std::vector<uint8_t>(5, 0), "com.apple.ResourceFork"));
        expected += 5;
      }
    }
  const auto totals = folderTotals(dir.path() / "root");
  EXPECT_EQ(totals.bytes, expected);
  EXPECT_EQ(totals.files, 400);
  EXPECT_EQ(totals.unreadable, 0);
}

TEST(FolderTotals, AnAncestorMountedBelowItselfIsNotWalkedAgain) {
  test::TempDir dir;
  dir.write("root/file", std::string(10, 'x'));
  std::filesystem::create_directories(dir.path() / "root/sub/again");
  if (::mount((dir.path() / "root").c_str(), (dir.path() / "root/sub/again").c_str(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "bind mounts are not allowed here" << (test::isPrivileged() ? "" : ": needs root");
  const auto totals = folderTotals(dir.path() / "root");
  ::umount2((dir.path() / "root/sub/again").c_str(), MNT_DETACH);
  EXPECT_EQ(totals.bytes, 10);
  EXPECT_EQ(totals.files, 1);
}

TEST(FolderTotals, MissingFolderCountsAsUnreadable) {
  test::TempDir dir;
  const auto totals = folderTotals(dir.path() / "gone");
  EXPECT_EQ(totals.bytes, 0);
  EXPECT_EQ(totals.unreadable, 1);
}

}  // namespace
}  // namespace ml::files
