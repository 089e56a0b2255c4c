#include <gtest/gtest.h>

#include <algorithm>

#include "files/FileSystem.h"
#include "files/Files.h"
#include "support/FileFixtures.h"

namespace ml::files {
namespace {

const FileSystem& fs() { return *FileSystems::defaultFileSystem(); }

TEST(ContentsOf, FileGivesNothingWithoutALogAndEmptyFolderAnEmptyList) {
  test::TempDir dir;
  test::LogCapture log;
  EXPECT_FALSE(fs().contentsOf(Path(dir.write("f", ""))));
  std::filesystem::create_directory(dir.path() / "empty");
  auto empty = fs().contentsOf(Path(dir.path() / "empty"));
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());
  EXPECT_EQ(log.text().find("failed to get directory contents"), std::string::npos);
}

TEST(ContentsOf, EntriesAreChildPathsOnTheSameFileSystem) {
  test::TempDir dir;
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

TEST(CountContents, CountsFilesAndFoldersBelow) {
  test::TempDir dir;
  dir.write("top/a", "");
  dir.write("top/b", "");
  dir.write("top/sub/c", "");
  EXPECT_EQ(Files::countContents(Path(dir.path() / "top"), true), (ContentCounts{3, 1}));
  std::filesystem::create_directory(dir.path() / "empty");
  EXPECT_EQ(Files::countContents(Path(dir.path() / "empty"), true), (ContentCounts{0, 0}));
  EXPECT_EQ(Files::countContents(Path(dir.path() / "top/a"), true), std::nullopt);
  EXPECT_EQ(Files::countContents(Path(dir.path() / "gone"), true), std::nullopt);
}

// A link to a folder is a folder and is followed; one back to an enclosing folder is counted
// but not entered, so the count ends.
TEST(CountContents, LinksToFoldersAreFollowedAndLoopsEnd) {
  test::TempDir dir;
  dir.write("top/sub/c", "");
  dir.write("other/x", "");
  dir.write("other/y", "");
  std::filesystem::create_directory_symlink(dir.path() / "top", dir.path() / "top/sub/up");
  std::filesystem::create_directory_symlink(dir.path() / "other", dir.path() / "top/out");
  std::filesystem::create_directory_symlink(dir.path() / "top", dir.path() / "other/back");
  // Files: c, out/x, out/y. Folders: sub, sub/up, out, out/back.
  EXPECT_EQ(Files::countContents(Path(dir.path() / "top"), true), (ContentCounts{3, 4}));
}

TEST(Move, OntoATakenNameFailsWithThePosixError) {
  test::TempDir dir;
  Path a(dir.write("a", "A")), b(dir.write("b", "B"));
  auto status = fs().move(a, b);
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(EEXIST));
  EXPECT_TRUE(fs().move(a, Path(dir.path() / "c")));
  EXPECT_TRUE(fs().copy(b, Path(dir.path() / "d")));
  EXPECT_TRUE(fs().copy(b, Path(dir.path() / "d")).error().isPosix(EEXIST));
}

TEST(Dates, ComeFromTheBasicView) {
  test::TempDir dir;
  auto dates = Files::dates(Path(dir.write("f", "")));
  ASSERT_TRUE(dates);
  EXPECT_EQ(Files::dates(Path(dir.path() / "gone")), std::nullopt);
}

}  // namespace
}  // namespace ml::files
