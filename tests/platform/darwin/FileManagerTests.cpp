#include "platform/darwin/FileManager.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/darwin/ExtendedAttributes.h"
#include "platform/darwin/ItemAttributes.h"
#include "support/CaseInsensitiveVolume.h"
#include "support/ChildProcess.h"
#include "support/FileFixtures.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace ml::darwin {
namespace {

std::string contents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<uint8_t> bytes(std::string_view s) { return {s.begin(), s.end()}; }

// A 16 MB ext4 volume made as mkfs.ext4 makes one by default (without large attributes, so the
// attributes of an item share one 4 KB block), no blocks kept for root, mounted through a loop
// device. Root only; unmounted when it goes.
class Ext4Volume {
 public:
  Ext4Volume() {
    if (!test::isPrivileged()) {
      why_ = test::needsRoot();
      return;
    }
    const auto image = dir_.path() / "ext4.img";
    std::filesystem::create_directory(root());
    { std::ofstream(image).flush(); }
    std::filesystem::resize_file(image, 16 << 20);
    auto made = test::runProgram("/usr/sbin/mkfs.ext4", {"-q", "-F", "-b", "4096", "-m", "0", "-O", "^ea_inode", image.string()});
    if (!made.exited || made.exitCode != 0) {
      why_ = "mkfs.ext4 failed: " + made.out + made.err;
      return;
    }
    auto mounted = test::runProgram("/usr/bin/mount", {"-o", "loop", image.string(), root().string()});
    if (!mounted.exited || mounted.exitCode != 0) {
      why_ = "cannot mount an ext4 image here: " + mounted.out + mounted.err;
      return;
    }
    mounted_ = true;
  }
  ~Ext4Volume() {
    if (mounted_) ::umount2(root().c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& skipReason() const { return why_; }
  std::filesystem::path root() const { return dir_.path() / "volume"; }

 private:
  test::TempDir dir_;
  bool mounted_ = false;
  std::string why_;
};

// A folder on another device than the test folders: /dev/shm, where it is one. Removed when it goes.
class ShmFolder {
 public:
  ShmFolder() {
    struct stat here, there;
    if (::stat(dir_.path().c_str(), &here) != 0 || ::stat("/dev/shm", &there) != 0 || here.st_dev == there.st_dev) return;
    path_ = "/dev/shm/marrowlane-test-" + std::to_string(::getpid()) + "-" + std::to_string(++made_);
    std::filesystem::create_directory(path_);
  }
  ~ShmFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  bool available() const { return !path_.empty(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  test::TempDir dir_;
  std::filesystem::path path_;
  static inline int made_ = 0;
};

std::optional<Date> created(const std::filesystem::path& item) {
  auto attributes = readItemAttributes(item);
  return attributes ? attributes->creationDate : std::nullopt;
}

TEST(CopyItem, CopiesATreeWithLinksModesDatesAndAttributes) {
  test::TempDir dir;
  const auto file = dir.write("src/a.txt", "alpha");
  dir.write("src/sub/b.txt", "beta");
  std::filesystem::create_symlink("a.txt", dir.path() / "src/link");
  ASSERT_EQ(::chmod(file.c_str(), 04751), 0);
  ASSERT_TRUE(setExtendedAttribute(file, bytes("fork"), "com.apple.ResourceFork"));
  const timespec times[2] = {{1000, 0}, {2000, 500}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);

  ASSERT_TRUE(copyItem(dir.path() / "src", dir.path() / "dst"));
  const auto copy = dir.path() / "dst/a.txt";
  EXPECT_EQ(contents(copy), "alpha");
  EXPECT_EQ(contents(dir.path() / "dst/sub/b.txt"), "beta");
  EXPECT_EQ(std::filesystem::read_symlink(dir.path() / "dst/link"), "a.txt");
  struct stat st;
  ASSERT_EQ(::stat(copy.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 04751u);
  EXPECT_EQ(st.st_mtim.tv_sec, 2000);
  EXPECT_EQ(extendedAttribute(copy, "com.apple.ResourceFork"), bytes("fork"));
}

TEST(CopyItem, NeverOverwritesAndNeverCopiesAFolderIntoItself) {
  test::TempDir dir;
  const auto a = dir.write("a", "A");
  const auto b = dir.write("b", "B");
  auto status = copyItem(a, b);
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(EEXIST));
  EXPECT_EQ(contents(b), "B");
  dir.write("tree/x", "x");
  EXPECT_TRUE(copyItem(dir.path() / "tree", dir.path() / "tree/inner").error().isPosix(EINVAL));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "tree/inner"));
}

// A link is copied as itself, so it may go into (or below) the folder it points to; a folder still
// may not go into itself, also when the way in is through a link to it. Moving the link works too.
TEST(CopyItem, ALinkGoesIntoTheFolderItPointsToAsALink) {
  test::TempDir dir;
  dir.write("music/album/song", "la");
  const auto link = dir.path() / "shortcut";
  std::filesystem::create_symlink(dir.path() / "music", link);

  ASSERT_TRUE(copyItem(link, dir.path() / "music/shortcut"));
  ASSERT_TRUE(copyItem(link, dir.path() / "music/album/shortcut"));
  EXPECT_EQ(std::filesystem::read_symlink(dir.path() / "music/shortcut"), dir.path() / "music");
  EXPECT_EQ(std::filesystem::read_symlink(dir.path() / "music/album/shortcut"), dir.path() / "music");
  EXPECT_TRUE(copyItem(dir.path() / "music", link / "album/inner").error().isPosix(EINVAL));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "music/album/inner"));
  ASSERT_TRUE(moveItem(link, dir.path() / "music/album/moved"));
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_EQ(std::filesystem::read_symlink(dir.path() / "music/album/moved"), dir.path() / "music");
}

// A FAT volume keeps no extended attributes: items carrying user attributes arrive without them,
// each named; a copy that does not fit still fails and leaves nothing.
TEST(CopyItem, OntoAVolumeWithoutAttributesNamesTheLossAndStillFailsWhenFull) {
  test::CaseInsensitiveVolume stick;
  if (!stick.mounted()) GTEST_SKIP() << stick.skipReason();
  test::TempDir dir;
  const auto file = dir.write("tree/a.txt", "alpha");
  ASSERT_TRUE(setExtendedAttribute(file, bytes("https://example.org/"), "xdg.origin.url"));
  ASSERT_TRUE(setExtendedAttribute(dir.path() / "tree", bytes("folder"), "xdg.comment"));
  UnkeptAttributes unkept;
  ASSERT_TRUE(copyItem(dir.path() / "tree", stick.root() / "tree", unkept)) << stick.how();
  EXPECT_EQ(contents(stick.root() / "tree/a.txt"), "alpha");
  EXPECT_EQ(unkept, (UnkeptAttributes{{stick.root() / "tree/a.txt", "user.xdg.origin.url"},
                                      {stick.root() / "tree", "user.xdg.comment"}}));

  const auto big = dir.write("big.bin", std::string(20 * 1024 * 1024, 'b'));  // the volume holds 16 MB
  unkept.clear();
  const auto status = copyItem(big, stick.root() / "big.bin", unkept);
  ASSERT_FALSE(status);
  // fusefat answers a full volume with EPERM where the kernel answers ENOSPC.
  EXPECT_TRUE(status.error().isPosix(ENOSPC) || (!stick.isKernelMount() && status.error().isPosix(EPERM)))
      << status.error();
  EXPECT_FALSE(std::filesystem::exists(stick.root() / "big.bin"));
}

// ext4 without large attributes answers an attribute over one block with ENOSPC, however much room
// it has: the item arrives without that attribute (named), with the others and its Created date.
// A volume that is full indeed still fails the copy, whether its data or an attribute no longer
// fits, and leaves nothing.
TEST(CopyItem, OntoExt4AnOversizedAttributeIsUnkeptAndAFullVolumeStillFails) {
  ShmFolder shm;  // where a 6 KB attribute fits
  if (!shm.available()) GTEST_SKIP() << "/dev/shm is not another device here";
  const auto file = shm.path() / "forked.txt";
  std::ofstream(file) << "data";
  const std::string fork(6 * 1024, 'r');
  ASSERT_TRUE(setExtendedAttribute(file, bytes(fork), "com.apple.ResourceFork"));
  ASSERT_TRUE(setExtendedAttribute(file, bytes("kept"), "xdg.comment"));
  const auto born = created(file);
  ASSERT_TRUE(born);
  // Without root, the test folder's own volume when it is such an ext4 (the full volume is then
  // left out).
  Ext4Volume volume;
  test::TempDir dir;
  std::filesystem::path target = volume.root();
  if (!volume.mounted()) {
    const auto probe = dir.write("probe", "");
    const auto probed = setExtendedAttribute(probe, bytes(fork), "probe");
    if (probed || !probed.error().isPosix(ENOSPC)) GTEST_SKIP() << volume.skipReason();
    target = dir.path();
  }

  UnkeptAttributes unkept;
  const auto copy = target / "forked.txt";
  ASSERT_TRUE(copyItem(file, copy, unkept)) << "an oversized attribute failed the copy";
  EXPECT_EQ(unkept, (UnkeptAttributes{{copy, "user.com.apple.ResourceFork"}}));
  EXPECT_EQ(contents(copy), "data");
  EXPECT_EQ(extendedAttribute(copy, "xdg.comment"), bytes("kept"));
  EXPECT_EQ(created(copy), born);
  if (!volume.mounted()) return;

  const auto big = dir.write("big.bin", std::string(20 << 20, 'b'));
  unkept.clear();
  auto status = copyItem(big, volume.root() / "big.bin", unkept);
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(ENOSPC)) << status.error();
  EXPECT_FALSE(std::filesystem::exists(volume.root() / "big.bin"));

  // Full to the last block: an empty file still gets an inode, its attribute no block.
  {
    std::ofstream filler(volume.root() / "filler", std::ios::binary);
    const std::string block(4096, 'f');
    while (filler.write(block.data(), block.size())) {
    }
  }
  const auto empty = dir.write("empty.txt", "");
  ASSERT_TRUE(setExtendedAttribute(empty, bytes(std::string(2048, 'c')), "xdg.comment"));
  unkept.clear();
  status = copyItem(empty, volume.root() / "empty.txt", unkept);
  ASSERT_FALSE(status) << "a full volume passed for one that cannot keep the attribute";
  EXPECT_TRUE(status.error().isPosix(ENOSPC)) << status.error();
  EXPECT_TRUE(unkept.empty());
  EXPECT_FALSE(std::filesystem::exists(volume.root() / "empty.txt"));
}

// A stop that abandons the work under way: a copy of a tree or of a large file ends at its next
// check and leaves nothing, a move across devices keeps its source whole. A folder copied or
// moved into itself says so in words.
TEST(CopyItem, AbandonedCopiesLeaveNothingAndAbandonedMovesKeepTheirSource) {
  test::TempDir dir;
  dir.write("tree/a.txt", "alpha");
  dir.write("tree/sub/b.txt", "beta");
  const auto big = dir.write("big.bin", std::string(24 << 20, 'z'));
  const Abandon abandon{true};
  UnkeptAttributes unkept;
  auto status = copyItem(dir.path() / "tree", dir.path() / "copy", unkept, &abandon);
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(ECANCELED)) << status.error();
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "copy"));
  EXPECT_TRUE(copyItem(big, dir.path() / "big copy", unkept, &abandon).error().isPosix(ECANCELED));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "big copy"));

  ShmFolder shm;
  if (shm.available()) {
    status = moveItem(dir.path() / "tree", shm.path() / "tree", unkept, &abandon);
    ASSERT_FALSE(status);
    EXPECT_TRUE(status.error().isPosix(ECANCELED)) << status.error();
    EXPECT_FALSE(std::filesystem::exists(shm.path() / "tree"));
    EXPECT_EQ(contents(dir.path() / "tree/sub/b.txt"), "beta");
  }

  status = copyItem(dir.path() / "tree", dir.path() / "tree/sub/inner");
  EXPECT_EQ(status.error().message, "a folder cannot be copied into itself");
  status = moveItem(dir.path() / "tree", dir.path() / "tree/sub/inner");
  EXPECT_TRUE(status.error().isPosix(EINVAL)) << status.error();
  EXPECT_EQ(status.error().message, "a folder cannot be moved into itself");
}

TEST(CopyItem, AHalfMadeCopyThatCannotBeRemovedIsReportedAsLeft) {
  if (test::isPrivileged()) GTEST_SKIP() << "root removes items from read-only folders";
  test::TempDir dir;
  for (const char* name : {"d0", "d1", "d2"}) dir.write(std::string("src/") + name + "/f", "x");
  // The folder copied first arrives read-only with a file inside; the one copied last cannot be
  // listed, so the copy fails after the first is complete and cannot be removed.
  const auto order = listDirectory(dir.path() / "src");
  ASSERT_TRUE(order);
  const auto first = dir.path() / "src" / order->front(), last = dir.path() / "src" / order->back();
  const auto dst = dir.path() / "dst";
  ASSERT_EQ(::chmod(first.c_str(), 0500), 0);
  ASSERT_EQ(::chmod(last.c_str(), 0), 0);
  test::LogCapture log;
  const auto status = copyItem(dir.path() / "src", dst);
  ::chmod(last.c_str(), 0700);
  ::chmod((dst / order->front()).c_str(), 0700);
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(EACCES)) << status.error();
  EXPECT_NE(status.error().message.find("partial copy was left at " + dst.string()), std::string::npos) << status.error();
  EXPECT_NE(log.text().find("failed to remove a partial copy. path=" + dst.string()), std::string::npos);
}

TEST(MoveItem, RenameOntoATakenNameFailsAndKeepsBoth) {
  test::TempDir dir;
  const auto a = dir.write("a", "A");
  const auto b = dir.write("b", "B");
  auto status = moveItem(a, b);
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(EEXIST));
  EXPECT_EQ(contents(a), "A");
  EXPECT_EQ(contents(b), "B");
  ASSERT_TRUE(moveItem(a, dir.path() / "c"));
  EXPECT_FALSE(std::filesystem::exists(a));
  EXPECT_EQ(contents(dir.path() / "c"), "A");
}

TEST(MoveItem, AcrossDevicesKeepsDataAndAttributesBothWays) {
  test::TempDir dir;
  const std::filesystem::path shm = "/dev/shm";
  struct stat here, there;
  ASSERT_EQ(::stat(dir.path().c_str(), &here), 0);
  if (::stat(shm.c_str(), &there) != 0 || here.st_dev == there.st_dev)
    GTEST_SKIP() << "/dev/shm is not another device here";
  const auto file = dir.write("tree/data.bin", std::string(100000, 'z'));
  ASSERT_TRUE(setExtendedAttribute(file, bytes("finder"), "com.apple.FinderInfo"));
  ASSERT_TRUE(setExtendedAttribute(dir.path() / "tree", bytes("folder"), "x"));
  // Created goes with the items, both ways: the file's birth, the folder's date as the user set it.
  const auto fileBorn = created(file);
  const Date folderCreated = dateOf(946684800, 0);
  ASSERT_TRUE(setStoredCreationDate(dir.path() / "tree", folderCreated));
  const auto away = shm / ("marrowlane-move-" + std::to_string(::getpid()));
  ASSERT_TRUE(moveItem(dir.path() / "tree", away));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "tree"));
  EXPECT_EQ(extendedAttribute(away / "data.bin", "com.apple.FinderInfo"), bytes("finder"));
  EXPECT_EQ(created(away / "data.bin"), fileBorn);
  EXPECT_EQ(created(away), folderCreated);
  ASSERT_TRUE(moveItem(away, dir.path() / "back"));
  EXPECT_FALSE(std::filesystem::exists(away));
  EXPECT_EQ(contents(dir.path() / "back/data.bin"), std::string(100000, 'z'));
  EXPECT_EQ(extendedAttribute(dir.path() / "back/data.bin", "com.apple.FinderInfo"), bytes("finder"));
  EXPECT_EQ(extendedAttribute(dir.path() / "back", "x"), bytes("folder"));
  EXPECT_EQ(created(dir.path() / "back/data.bin"), fileBorn);
  EXPECT_EQ(created(dir.path() / "back"), folderCreated);
}

TEST(ListDirectory, ListsNamesWithoutDotsAndFailsOnFiles) {
  test::TempDir dir;
  dir.write("d/one", "");
  dir.write("d/two", "");
  auto names = listDirectory(dir.path() / "d");
  ASSERT_TRUE(names);
  std::sort(names->begin(), names->end());
  EXPECT_EQ(names.value(), (std::vector<std::string>{"one", "two"}));
  EXPECT_TRUE(listDirectory(dir.path() / "d/one").error().isPosix(ENOTDIR));
}

TEST(CreateItems, FoldersWithIntermediatesAndFilesThatNeverTruncate) {
  test::TempDir dir;
  ASSERT_TRUE(createDirectory(dir.path() / "a/b/c"));
  EXPECT_TRUE(createDirectory(dir.path() / "a/b/c"));
  const auto file = dir.write("keep", "data");
  EXPECT_TRUE(createEmptyFile(file).error().isPosix(EEXIST));
  EXPECT_EQ(contents(file), "data");
  EXPECT_TRUE(createEmptyFile(dir.path() / "new"));
}

}  // namespace
}  // namespace ml::darwin
