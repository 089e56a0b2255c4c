// Walks of real trees that links and mounts make endless if a folder may be walked twice: the
// count of files and folders (which follows links) and the folder size (which does not), and how
// both give up when their caller no longer wants the answer.
#include <sys/mount.h>

#include <gtest/gtest.h>

#include <atomic>
#include <stop_token>
#include <string>
#include <thread>

#include "files/DefaultFileSystem.h"
#include "files/Files.h"
#include "files/FolderSize.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace ml::files {
namespace {

namespace stdfs = std::filesystem;

// The machine's file system, counting the folders listed through it and asking the walk to stop
// once `stopAfter` have been.
class ListingProbe final : public FileSystem, public std::enable_shared_from_this<ListingProbe> {
 public:
  ListingProbe(std::stop_source& stop, int stopAfter) : stop_(stop), stopAfter_(stopAfter) {}
  Path path(const stdfs::path& url) const { return Path(shared_from_this(), url); }

  mutable std::atomic<int> listings{0};
  mutable std::atomic<bool> listedTheRoot{false};

  std::optional<std::vector<Path>> contentsOf(const Path& directory) const override {
    if (++listings >= stopAfter_) stop_.request_stop();
    std::error_code error;
    if (stdfs::equivalent(directory.url(), "/", error)) listedTheRoot = true;
    return real_.contentsOf(directory);
  }
  std::string separator() const override { return "/"; }
  Path rootPath() const override { return path("/"); }
  bool exists(const Path& p) const override { return real_.exists(p); }
  foundation::Status createFile(const Path& p) const override { return real_.createFile(p); }
  foundation::Status createDirectory(const Path& p) const override { return real_.createDirectory(p); }
  bool isDirectory(const Path& p) const override { return real_.isDirectory(p); }
  std::shared_ptr<const BasicAttributeView> basicAttributes(const Path& p) const override { return real_.basicAttributes(p); }
  std::shared_ptr<const PosixFileAttributeView> posixAttributes(const Path& p) const override { return real_.posixAttributes(p); }
  std::shared_ptr<const AppleAttributeView> finderAttributes(const Path& p) const override { return real_.finderAttributes(p); }
  std::shared_ptr<const FullAttributeView> allAttributes(const Path& p) const override { return real_.allAttributes(p); }
  std::optional<std::string> volumeName(const Path& p) const override { return real_.volumeName(p); }
  foundation::Status copy(const Path& from, const Path& to) const override { return real_.copy(from, to); }
  foundation::Status move(const Path& from, const Path& to) const override { return real_.move(from, to); }
  foundation::Status updateBasicAttributes(const Path& p, const BasicAttributeView& v) const override { return real_.updateBasicAttributes(p, v); }
  foundation::Status updatePosixAttributes(const Path& p, const PosixFileAttributeView& v) const override { return real_.updatePosixAttributes(p, v); }
  foundation::Status updateFinderAttributes(const Path& p, const AppleAttributeView& v) const override { return real_.updateFinderAttributes(p, v); }
  std::optional<ItemIdentity> identity(const Path& p) const override { return real_.identity(p); }
  std::optional<ItemIdentity> targetIdentity(const Path& p) const override { return real_.targetIdentity(p); }

 private:
  DefaultFileSystem real_;
  std::stop_source& stop_;
  int stopAfter_;
};

// Thirty levels, each folder holding a file and two links to the next level: 2^30 ways down,
// but 31 folders. A walk that only refuses folders it is inside of never ends here.
TEST(CountContentsOverLinks, EachFolderIsListedOnceWhateverLeadsThere) {
  test::TempDir dir;
  constexpr int kLevels = 30;
  for (int level = 0; level <= kLevels; ++level) dir.write("d" + std::to_string(level) + "/f", "");
  for (int level = 0; level < kLevels; ++level) {
    const auto next = dir.path() / ("d" + std::to_string(level + 1));
    stdfs::create_directory_symlink(next, dir.path() / ("d" + std::to_string(level)) / "a");
    stdfs::create_directory_symlink(next, dir.path() / ("d" + std::to_string(level)) / "b");
  }
  // And links back up: to itself, to the top, a broken one (a file) and one to a file.
  stdfs::create_directory_symlink(dir.path() / "d30", dir.path() / "d30/self");
  stdfs::create_directory_symlink(dir.path() / "d0", dir.path() / "d30/top");
  stdfs::create_symlink(dir.path() / "gone", dir.path() / "d30/broken");
  stdfs::create_symlink(dir.path() / "d0/f", dir.path() / "d30/file");

  std::stop_source unused;
  auto probe = std::make_shared<ListingProbe>(unused, 1 << 30);
  const auto counts = Files::countContents(probe->path(dir.path() / "d0"), true);
  // Files: one per level, the broken link and the link to a file. Folders: the 60 links down,
  // self and top.
  EXPECT_EQ(counts, (ContentCounts{kLevels + 1 + 2, 2 * kLevels + 2}));
  EXPECT_EQ(probe->listings.load(), kLevels + 1);
}

// A folder holding a link to "/" leads the count through the whole machine (/proc included,
// whose links lead back to "/" from every thread). It would end, each folder being listed once,
// but takes far too long for a test: the caller's stop must reach into the walk.
TEST(CountContentsOverLinks, ALinkToTheRootIsFollowedUntilTheCallerStops) {
  test::TempDir dir;
  stdfs::create_directories(dir.path() / "linkroot");
  stdfs::create_directory_symlink("/", dir.path() / "linkroot/everything");
  dir.write("linkroot/note", "");

  std::stop_source stop;
  auto probe = std::make_shared<ListingProbe>(stop, 300);
  EXPECT_EQ(Files::countContents(probe->path(dir.path() / "linkroot"), true, stop.get_token()), std::nullopt);
  EXPECT_TRUE(probe->listedTheRoot.load());
  // The listing that asked for the stop is the last: the walk checks before every listing and
  // every entry.
  EXPECT_EQ(probe->listings.load(), 300);

  // The same from another thread, as a list window's selection change does it.
  std::stop_source fromOutside;
  std::optional<ContentCounts> counted = ContentCounts{-1, -1};
  std::jthread walker([&] {
    counted = Files::countContents(Path(dir.path() / "linkroot"), true, fromOutside.get_token());
  });
  fromOutside.request_stop();
  walker.join();
  EXPECT_EQ(counted, std::nullopt);

  // A stop asked for before the count starts leaves nothing to count.
  EXPECT_EQ(Files::countContents(Path(dir.path() / "linkroot"), true, fromOutside.get_token()), std::nullopt);
}

TEST(FolderTotals, LinksAreNotFollowedAndAStopEndsTheWalk) {
  test::TempDir dir;
  dir.write("root/a", std::string(7, 'x'));
  stdfs::create_directory_symlink("/", dir.path() / "root/everything");
  stdfs::create_directory_symlink(dir.path() / "root", dir.path() / "root/loop");
  const auto totals = folderTotals(dir.path() / "root");
  EXPECT_EQ(totals.bytes, 7);
  EXPECT_EQ(totals.files, 1);
  EXPECT_FALSE(totals.stopped);

  std::stop_source stop;
  stop.request_stop();
  const auto none = folderTotals(dir.path() / "root", stop.get_token());
  EXPECT_TRUE(none.stopped);
  EXPECT_EQ(none.files, 0);

  // The whole machine, stopped from another thread while its walkers list it.
  std::stop_source fromOutside;
  FolderTotals whole;
  std::jthread walker([&] { whole = folderTotals("/", fromOutside.get_token()); });
  fromOutside.request_stop();
  walker.join();
  EXPECT_TRUE(whole.stopped);

  // A view's size gives up the same way, and then answers no size at all.
  const auto view = Path(dir.path() / "root").fileSystem().basicAttributes(Path(dir.path() / "root"));
  ASSERT_TRUE(view);
  EXPECT_EQ(view->cancellableTotalSize(stop.get_token()), FileSize::unknown());
  EXPECT_EQ(view->cancellableTotalSize({}).actual, 7);
}

// A folder mounted in two places below the folder is one folder: walked and counted once.
TEST(FolderTotals, AFolderMountedTwiceBelowIsCountedOnce) {
  test::TempDir dir;
  dir.write("root/data/file", std::string(10, 'x'));
  stdfs::create_directories(dir.path() / "root/copy");
  if (::mount((dir.path() / "root/data").c_str(), (dir.path() / "root/copy").c_str(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "bind mounts are not allowed here" << (test::isPrivileged() ? "" : ": needs root");
  const auto totals = folderTotals(dir.path() / "root");
  const auto counts = Files::countContents(Path(dir.path() / "root"), true);
  ::umount2((dir.path() / "root/copy").c_str(), MNT_DETACH);
  EXPECT_EQ(totals.bytes, 10);
  EXPECT_EQ(totals.files, 1);
  EXPECT_EQ(counts, (ContentCounts{1, 2}));
}

}  // namespace
}  // namespace ml::files
