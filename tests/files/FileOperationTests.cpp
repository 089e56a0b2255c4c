#include <gtest/gtest.h>

#include <algorithm>

#include "files/FileSystem.h"
#include "files/Files.h"
#include "support/FileFixtures.h"
#include "support/TestFolder.h"

namespace ml::files {
namespace {

const FileSystem& fs() { return *FileSystems::defaultFileSystem(); }

// The bodies below run in a folder of the default file system and again on a case-insensitive
// vfat volume, which the same default file system reaches through the kernel. (vfat has no
// symbolic links: the count over links runs on the default file system only.)
class OnEachVolume : public ::testing::TestWithParam<test::Volume> {
 protected:
  void SetUp() override {
    if (const std::string why = dir.skipReason(); !why.empty()) GTEST_SKIP() << why;
  }
  test::TestFolder dir{GetParam()};
};
class ContentsOf : public OnEachVolume {};
class CountContents : public OnEachVolume {};
class Move : public OnEachVolume {};
class Dates : public OnEachVolume {};
INSTANTIATE_TEST_SUITE_P(Volumes, ContentsOf, test::everyVolume(), test::volumeName);
INSTANTIATE_TEST_SUITE_P(Volumes, CountContents, test::everyVolume(), test::volumeName);
INSTANTIATE_TEST_SUITE_P(Volumes, Move, test::everyVolume(), test::volumeName);
INSTANTIATE_TEST_SUITE_P(Volumes, Dates, test::everyVolume(), test::volumeName);

TEST_P(ContentsOf, FileGivesNothingWithoutALogAndEmptyFolderAnEmptyList) {
  test::LogCapture log;
  EXPECT_FALSE(fs().contentsOf(Path(dir.write("f", ""))));
  std::filesystem::create_directory(dir.path() / "empty");
  auto empty = fs().contentsOf(Path(dir.path() / "empty"));
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());
  EXPECT_EQ(log.text().find("failed to get directory contents"), std::string::npos);
}

TEST_P(ContentsOf, EntriesAreChildPathsOnTheSameFileSystem) {
  dir.write("d/one", "");
  dir.write("d/two", "");
  auto entries = fs().contentsOf(Path(dir.path() / "d"));
  ASSERT_TRUE(entries);
  std::vector<std::string> names;
  for (const auto& p : *entries) names.push_back(p.url().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ((*entries)[0].parent()->url(), dir.path() / "d");
}

TEST_P(CountContents, CountsFilesAndFoldersBelow) {
  dir.write("top/a", "");
  dir.write("top/b", "");
  dir.write("top/sub/c", "");
  EXPECT_EQ(Files::countContents(Path(dir.path() / "top"), true), (ContentCounts{3, 1}));
  std::filesystem::create_directory(dir.path() / "empty");
  EXPECT_EQ(Files::countContents(Path(dir.path() / "empty"), true), (ContentCounts{0, 0}));
  EXPECT_EQ(Files::countContents(Path(dir.path() / "top/a"), true), std::nullopt);
  EXPECT_EQ(Files::countContents(Path(dir.path() / "gone"), true), std::nullopt);
}

// A link below the folder is an item of its own, whatever it points to, and is not entered; a
// link at the counted path itself leads to its folder.
TEST(CountContentsOverLinks, LinksBelowAreItemsAndTheOneAtThePathIsFollowed) {
  test::TempDir dir;
  dir.write("top/sub/c", "");
  dir.write("other/x", "");
  dir.write("other/y", "");
  std::filesystem::create_directory_symlink(dir.path() / "top", dir.path() / "top/sub/up");
  std::filesystem::create_directory_symlink(dir.path() / "other", dir.path() / "top/out");
  std::filesystem::create_directory_symlink(dir.path() / "top", dir.path() / "other/back");
  // Files: c, sub/up, out. Folders: sub.
  EXPECT_EQ(Files::countContents(Path(dir.path() / "top"), true), (ContentCounts{3, 1}));
  // x, y and back.
  EXPECT_EQ(Files::countContents(Path(dir.path() / "top/out"), true), (ContentCounts{3, 0}));
}

TEST_P(Move, OntoATakenNameFailsWithThePosixError) {
  Path a(dir.write("a", "A")), b(dir.write("b", "B"));
  auto status = fs().move(a, b);
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(EEXIST));
  EXPECT_TRUE(fs().move(a, Path(dir.path() / "c")));
  EXPECT_TRUE(fs().copy(b, Path(dir.path() / "d")));
  EXPECT_TRUE(fs().copy(b, Path(dir.path() / "d")).error().isPosix(EEXIST));
}

TEST_P(Dates, ComeFromTheBasicView) {
  auto dates = Files::dates(Path(dir.write("f", "")));
  ASSERT_TRUE(dates);
  EXPECT_EQ(Files::dates(Path(dir.path() / "gone")), std::nullopt);
}

}  // namespace
}  // namespace ml::files
