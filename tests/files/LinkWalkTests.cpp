// Walks of real trees with links and mounts: a folder's size and its counts of files and folders
// (neither follows links below the folder; a folder met twice is listed once), what they log of
// folders they cannot list, and how they give up when their caller no longer wants the answer.
#include <sys/mount.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <stop_token>
#include <string>
#include <thread>

#include "files/DefaultFileSystem.h"
#include "files/Files.h"
#include "files/FolderSize.h"
#include "platform/logging/Log.h"
#include "support/FileFixtures.h"
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

// A folder's size and its counts walk the same items, by the same rules, whichever walk runs:
// the machine's parallel one or the one through the FileSystem interface (the probe). Links are
// items of their own and are never followed below the folder (a link to "/" is one small item),
// so the size and the count of a folder holding one agree; a link at the folder's own path is
// followed by both.
TEST(FolderWalks, SizeAndCountsDescribeTheSameItemsAndNoLinkIsFollowed) {
  test::TempDir dir;
  int64_t bytes = 0;
  for (int level = 0; level < 4; ++level) {
    std::string folder = "top";
    for (int down = 0; down < level; ++down) folder += "/d" + std::to_string(down);
    for (int i = 0; i < 3; ++i) {
      dir.write(folder + "/f" + std::to_string(i), std::string(level * 10 + i, 'x'));
      bytes += level * 10 + i;
    }
  }
  stdfs::create_directories(dir.path() / "top/empty");
  stdfs::create_directory_symlink("/", dir.path() / "top/everything");
  stdfs::create_directory_symlink(dir.path() / "top", dir.path() / "top/d0/up");
  stdfs::create_directory_symlink(dir.path() / "top/d0", dir.path() / "top/d0/d1/again");
  stdfs::create_symlink(dir.path() / "gone", dir.path() / "top/broken");
  stdfs::create_symlink(dir.path() / "top/f0", dir.path() / "top/d0/d1/d2/file");
  ASSERT_EQ(::mkfifo((dir.path() / "top/pipe").c_str(), 0600), 0);
  // Files: twelve regular ones, five links and the pipe. Folders: d0, d1, d2 and empty.
  const ContentCounts expected{12 + 5 + 1, 4};

  const Path top(dir.path() / "top");
  EXPECT_EQ(Files::countContents(top, true), expected);
  const auto summary = Files::summarize(top);
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->counts, expected);
  EXPECT_EQ(summary->size.actual, bytes);
  EXPECT_EQ(summary->size.actual, top.fileSystem().basicAttributes(top)->totalSize().actual);
  EXPECT_EQ(folderTotals(top.url()).others, 6);

  // The walk through the interface: the same answers, each folder listed once, "/" never.
  std::stop_source unused;
  auto probe = std::make_shared<ListingProbe>(unused, 1 << 30);
  const auto probed = Files::summarize(probe->path(top.url()));
  ASSERT_TRUE(probed);
  EXPECT_EQ(probed->counts, expected);
  EXPECT_EQ(probed->size.actual, bytes);
  EXPECT_EQ(probe->listings.load(), 5);
  EXPECT_EQ(Files::countContents(probe->path(top.url()), true), expected);
  EXPECT_FALSE(probe->listedTheRoot.load());

  // A link at the path itself leads to its folder, in both walks.
  const auto throughLink = Files::summarize(Path(dir.path() / "top/d0/up"));
  ASSERT_TRUE(throughLink);
  EXPECT_EQ(throughLink->counts, expected);
  EXPECT_EQ(throughLink->size, summary->size);
  EXPECT_EQ(Files::countContents(probe->path(dir.path() / "top/d0/up"), true), expected);

  // One level only: sub-folders are counted neither way, links and the pipe are files.
  EXPECT_EQ(Files::countContents(top, false), (ContentCounts{3 + 2 + 1, 0}));
  EXPECT_EQ(Files::summarize(Path(dir.path() / "top/f0")), std::nullopt);
  EXPECT_EQ(Files::summarize(Path(dir.path() / "gone")), std::nullopt);
}

// The caller's stop reaches into both walks.
TEST(FolderWalks, AStopEndsTheWalkWithNoAnswer) {
  test::TempDir dir;
  for (int i = 0; i < 40; ++i) dir.write("many/d" + std::to_string(i) + "/f", "");

  std::stop_source stop;
  auto probe = std::make_shared<ListingProbe>(stop, 10);
  EXPECT_EQ(Files::countContents(probe->path(dir.path() / "many"), true, stop.get_token()), std::nullopt);
  // The listing that asked for the stop is the last: the walk checks before every listing and
  // every entry.
  EXPECT_EQ(probe->listings.load(), 10);
  EXPECT_EQ(Files::summarize(probe->path(dir.path() / "many"), stop.get_token()), std::nullopt);
  EXPECT_EQ(probe->listings.load(), 10);

  // The machine's own walk, asked after the stop.
  EXPECT_EQ(Files::summarize(Path(dir.path() / "many"), stop.get_token()), std::nullopt);
}

// Folders the user may not list are left out and named once, at the end of the walk, in one
// warning: how many, and the first few paths with the reason. Nothing is logged per folder.
TEST(FolderWalks, UnreadableFoldersAreLoggedOnceWithTheFirstPaths) {
  test::TempDir dir;
  ::chmod(dir.path().c_str(), 0755);
  dir.write("top/readable/f", "12345");
  constexpr int kLocked = 8;
  for (int i = 0; i < kLocked; ++i) {
    const auto locked = dir.path() / ("top/locked" + std::to_string(i));
    stdfs::create_directories(locked);
    ::chmod(locked.c_str(), 0);
  }
  ::chmod((dir.path() / "top").c_str(), 0755);
  ::chmod((dir.path() / "top/readable").c_str(), 0755);

  test::LogCapture log;
  // The log file is opened by its first line, while the test still may create it.
  LOG_INFO("walking as an unprivileged user");
  (void)log.text();
  std::optional<FolderSummary> summary;
  {
    test::AsUnprivilegedUser user;
    ASSERT_TRUE(user.ok());
    summary = Files::summarize(Path(dir.path() / "top"));
  }
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->counts, (ContentCounts{1, kLocked + 1}));
  EXPECT_EQ(summary->size.actual, 5);

  const std::string text = log.text();
  EXPECT_EQ(text.find("failed to get directory contents"), std::string::npos);
  const auto line = text.find("could not list 8 folders while walking " + (dir.path() / "top").string() + ": ");
  ASSERT_NE(line, std::string::npos) << text;
  EXPECT_EQ(text.find("could not list", line + 1), std::string::npos) << "one line per walk";
  const std::string logged = text.substr(line, text.find('\n', line) - line);
  int named = 0;
  for (int i = 0; i < kLocked; ++i)
    named += logged.find((dir.path() / ("top/locked" + std::to_string(i))).string() + " (Permission denied)") != std::string::npos;
  EXPECT_EQ(named, static_cast<int>(FolderTotals::kNamedUnreadable));
  EXPECT_NE(logged.find("and 3 more"), std::string::npos) << logged;
  EXPECT_NE(text.find("WARN"), std::string::npos);
  EXPECT_EQ(text.find("ERROR"), std::string::npos) << text;
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
