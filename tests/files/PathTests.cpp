#include "files/Path.h"

#include <sys/mount.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "files/DefaultFileSystem.h"
#include "files/FilePermissions.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace ml::files {
namespace {

TEST(Path, EqualUrlsOnDifferentFileSystemsAreEqualAndHashAlike) {
  auto other = std::make_shared<const DefaultFileSystem>("/");
  Path a(FileSystems::defaultFileSystem(), "/tmp/x");
  Path b(other, "/tmp/x");
  EXPECT_EQ(a, b);
  EXPECT_EQ(std::hash<Path>()(a), std::hash<Path>()(b));
  EXPECT_NE(a, Path("/tmp/y"));
  EXPECT_EQ(a.description(), "/tmp/x");
}

TEST(Path, ParentOfRootIsNoneAndParentsStayOnTheSameFileSystem) {
  auto other = std::make_shared<const DefaultFileSystem>("/");
  EXPECT_EQ(Path("/").parent(), std::nullopt);
  auto parent = Path(other, "/Users").parent();
  ASSERT_TRUE(parent);
  EXPECT_EQ(parent->description(), "/");
  EXPECT_EQ(&parent->fileSystem(), other.get());
  EXPECT_EQ(Path("/a/b/").parent()->description(), "/a");
}

TEST(Path, VolumeOfAMissingItemIsUnknown) {
  test::TempDir dir;
  EXPECT_EQ(Path(dir.path() / "missing").volume(), "Unknown");
  EXPECT_NE(Path(dir.path()).volume(), "Unknown");
}

// A volume's path starts at its mount point, also when the item is reached through a link; a
// link whose target is gone is still an item, with a volume and dates of its own.
TEST(Path, PathOnVolumeStartsAtTheMountPointAndABrokenLinkIsAnItem) {
  test::TempDir dir;
  std::filesystem::create_symlink(dir.path() / "gone", dir.path() / "broken");
  const Path broken(dir.path() / "broken");
  EXPECT_EQ(broken.volume(), Path(dir.path()).volume());
  EXPECT_NE(broken.volume(), "Unknown");
  const auto basic = broken.fileSystem().basicAttributes(broken);
  ASSERT_TRUE(basic);
  EXPECT_TRUE(basic->isSymbolicLink());
  struct stat st {};
  ASSERT_EQ(::lstat(broken.url().c_str(), &st), 0);
  EXPECT_EQ(basic->lastModifiedDate(), darwin::dateOf(st.st_mtim.tv_sec, st.st_mtim.tv_nsec));

  const auto mount = dir.path() / "x/mnt";
  std::filesystem::create_directories(mount);
  if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here" << (test::isPrivileged() ? "" : ": needs root");
  struct Unmount {
    std::filesystem::path point;
    ~Unmount() { ::umount2(point.c_str(), MNT_DETACH); }
  } unmount{mount};
  std::filesystem::create_directory(mount / "album");
  std::filesystem::create_directory_symlink(mount, dir.path() / "alias");
  EXPECT_EQ(Path(mount / "album").volume(), "mnt");
  EXPECT_EQ(Path(mount / "album").pathOnVolume(), "/album");
  EXPECT_EQ(Path(dir.path() / "alias/album").pathOnVolume(), "/album");
  EXPECT_EQ(Path(mount).pathOnVolume(), "/");
}

TEST(DefaultFileSystem, RootPathAlwaysNamesTheDefaultFileSystem) {
  DefaultFileSystem other;
  auto root = other.rootPath();
  EXPECT_EQ(root.description(), "/");
  EXPECT_EQ(&root.fileSystem(), FileSystems::defaultFileSystem().get());
  EXPECT_EQ(other.separator(), "/");
}

TEST(DefaultFileSystem, IsDirectoryIsFalseForMissingItemsAndFilesAndCreatingAFileReportsFailure) {
  test::TempDir dir;
  const auto& fs = *FileSystems::defaultFileSystem();
  EXPECT_FALSE(fs.isDirectory(Path(dir.path() / "missing")));
  EXPECT_FALSE(fs.isDirectory(Path(dir.write("f", "x"))));
  EXPECT_TRUE(fs.isDirectory(Path(dir.path())));
  EXPECT_FALSE(fs.exists(Path(dir.path() / "missing")));
  EXPECT_TRUE(fs.createFile(Path(dir.path() / "new")));
  EXPECT_TRUE(fs.exists(Path(dir.path() / "new")));
  const auto taken = fs.createFile(Path(dir.path() / "f"));
  ASSERT_FALSE(taken);
  EXPECT_TRUE(taken.error().isPosix(EEXIST)) << taken.error();
  EXPECT_FALSE(fs.createFile(Path(dir.path() / "missing" / "below")));
}

TEST(FilePermissions, RawValueKeepsEveryBitAndSetAlgebraWorks) {
  FilePermissions p(0755);
  EXPECT_TRUE(p.contains(FilePermissions::ownerRead));
  EXPECT_TRUE(p.contains(FilePermissions::ownerWrite));
  EXPECT_FALSE(p.contains(FilePermissions::groupWrite));
  EXPECT_EQ(p.mask(), 493);
  EXPECT_TRUE(FilePermissions::none.isEmpty());
  FilePermissions q{FilePermissions::ownerRead, FilePermissions::globalWrite};
  EXPECT_EQ(q.rawValue(), 0402);
  q.remove(FilePermissions::ownerRead);
  EXPECT_EQ(q, FilePermissions::globalWrite);
  EXPECT_EQ(p.intersection(FilePermissions(0222)).rawValue(), 0200);
}

}  // namespace
}  // namespace ml::files
