#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "files/FileSystem.h"
#include "files/Files.h"
#include "platform/darwin/ExtendedAttributes.h"
#include "platform/darwin/FinderInfo.h"
#include "support/TempDir.h"

namespace ml::files {
namespace {

const FileSystem& fs() { return *FileSystems::defaultFileSystem(); }

class AttributeViewTest : public testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(AttributeViewTest, FileWithResourceForkReportsDataResourceAndTotal) {
  const auto file = dir.write("forked", std::string(1000, 'd'));
  ASSERT_TRUE(darwin::setExtendedAttribute(file, std::vector<uint8_t>(286, 1), "com.apple.ResourceFork"));
  auto all = fs().allAttributes(Path(file));
  ASSERT_TRUE(all);
  EXPECT_EQ(all->dataSize().actual, 1000);
  ASSERT_TRUE(all->resourceSize());
  EXPECT_EQ(all->resourceSize()->actual, 286);
  EXPECT_EQ(all->totalSize().actual, 1286);
  EXPECT_TRUE(all->hasExtendedAttribute("com.apple.ResourceFork"));
}

TEST_F(AttributeViewTest, FileWithoutResourceForkHasNoResourceSize) {
  auto all = fs().allAttributes(Path(dir.write("plain", "12345")));
  ASSERT_TRUE(all);
  EXPECT_FALSE(all->resourceSize());
  EXPECT_EQ(all->dataSize().actual, 5);
  EXPECT_EQ(all->totalSize(), all->dataSize());
  EXPECT_FALSE(all->creatorCode());
  EXPECT_FALSE(all->typeCode());
  EXPECT_EQ(all->kind(), "Unrecognized File Type");
  EXPECT_FALSE(all->isLocked());
  EXPECT_FALSE(all->isNameLocked());
  EXPECT_FALSE(all->lastBackupDate());
}

// What du counts for a folder, in bytes: the blocks of every item below it and of the folder.
int64_t duBytes(const std::filesystem::path& folder) {
  const std::string command = "du -s -B1 '" + folder.string() + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  long long bytes = -1;
  if (std::fscanf(pipe, "%lld", &bytes) != 1) bytes = -1;
  ::pclose(pipe);
  return bytes;
}

// The actual size is the sum of both forks of the files; the allocated one is what du counts
// (a file's blocks, a hard link's inode once, the folders' own blocks).
TEST_F(AttributeViewTest, FolderTotalsItsFilesAndAllocatesWhatDuCounts) {
  dir.write("folder/a", std::string(100, 'a'));
  dir.write("folder/sub/.hidden", std::string(20, 'b'));
  dir.write("folder/big", std::string(300000, 'c'));
  std::filesystem::create_hard_link(dir.path() / "folder/big", dir.path() / "folder/sub/big again");
  ASSERT_TRUE(darwin::setExtendedAttribute(dir.path() / "folder/a", std::vector<uint8_t>(7, 1), "com.apple.ResourceFork"));
  std::filesystem::create_symlink(dir.path(), dir.path() / "folder/loop");  // never followed
  auto all = fs().allAttributes(Path(dir.path() / "folder"));
  ASSERT_TRUE(all);
  EXPECT_EQ(all->totalSize().actual, 127 + 2 * 300000);
  EXPECT_EQ(all->totalSize().allocated, duBytes(dir.path() / "folder"));
  EXPECT_GE(all->totalSize().allocated, 300000);
  EXPECT_EQ(all->dataSize(), all->totalSize());
  EXPECT_FALSE(all->resourceSize());
  std::filesystem::create_directory(dir.path() / "empty");
  const auto empty = fs().basicAttributes(Path(dir.path() / "empty"))->totalSize();
  EXPECT_EQ(empty.actual, 0);
  EXPECT_EQ(empty.allocated, duBytes(dir.path() / "empty"));
}

TEST_F(AttributeViewTest, SymbolicLinkHasNoSizeAndIsNotOther) {
  std::filesystem::create_symlink(dir.write("target", "x"), dir.path() / "link");
  auto all = fs().allAttributes(Path(dir.path() / "link"));
  ASSERT_TRUE(all);
  EXPECT_TRUE(all->isSymbolicLink());
  EXPECT_FALSE(all->isOther());
  EXPECT_FALSE(all->isRegularFile());
  EXPECT_EQ(all->totalSize(), FileSize::unknown());
  EXPECT_EQ(all->dataSize(), FileSize::unknown());
}

TEST_F(AttributeViewTest, PermissionsKeepOnlyTheSixReadAndWriteBits) {
  const auto file = dir.write("exec", "x");
  ASSERT_EQ(::chmod(file.c_str(), 04755), 0);
  auto posix = fs().posixAttributes(Path(file));
  ASSERT_TRUE(posix);
  EXPECT_EQ(posix->permissions().rawValue(), 0644);
  // The names of the account and group that made the file.
  EXPECT_EQ(posix->owner(), ::getpwuid(::geteuid())->pw_name);
  EXPECT_EQ(posix->group(), ::getgrgid(::getegid())->gr_name);
}

TEST_F(AttributeViewTest, MissingPathHasNoViews) {
  Path missing(dir.path() / "missing");
  EXPECT_FALSE(fs().basicAttributes(missing));
  EXPECT_FALSE(fs().posixAttributes(missing));
  EXPECT_FALSE(fs().finderAttributes(missing));
  EXPECT_FALSE(fs().allAttributes(missing));
}

TEST_F(AttributeViewTest, FinderInfoGivesCodesStationeryAndInvisibility) {
  const auto file = dir.write("doc", "x");
  darwin::FinderInfo info;
  info.setTypeCode(darwin::fourCharCode("TEXT"));
  info.setCreatorCode(0xA5414243);  // a Mac Roman bullet first
  info.setFlag(darwin::FinderInfo::kIsStationery, true);
  info.setFlag(darwin::FinderInfo::kIsInvisible, true);
  ASSERT_TRUE(darwin::writeFinderInfo(file, info));
  auto all = fs().allAttributes(Path(file));
  EXPECT_EQ(all->typeCode(), "TEXT");
  EXPECT_EQ(all->creatorCode(), "\xE2\x80\xA2" "ABC");
  EXPECT_TRUE(all->isStationary());
  EXPECT_TRUE(all->isInvisible());
}

TEST_F(AttributeViewTest, ShortFinderInfoIsNotStationery) {
  const auto file = dir.write("doc", "x");
  ASSERT_TRUE(darwin::setExtendedAttribute(file, std::vector<uint8_t>(8, 0xFF), "com.apple.FinderInfo"));
  EXPECT_FALSE(fs().finderAttributes(Path(file))->isStationary());
}

TEST(FileType, OrderOfTestsDecidesOverlaps) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.path() / "Tool.app");
  std::filesystem::create_directories(dir.path() / "folder");
  std::filesystem::create_directory_symlink(dir.path() / "folder", dir.path() / "link");
  const auto alias = dir.write("alias", "");
  darwin::FinderInfo info;
  info.setFlag(darwin::FinderInfo::kIsAlias, true);
  ASSERT_TRUE(darwin::writeFinderInfo(alias, info));
  EXPECT_EQ(Files::type(Path(dir.path() / "Tool.app")), FileType::package);
  EXPECT_EQ(Files::type(Path(dir.path() / "folder")), FileType::directory);
  EXPECT_EQ(Files::type(Path(dir.path() / "link")), FileType::symlink);
  EXPECT_EQ(Files::type(Path(alias)), FileType::alias);
  EXPECT_EQ(Files::type(Path(dir.write("plain", ""))), FileType::normal);
  EXPECT_EQ(Files::type(Path(dir.path() / "gone")), FileType::normal);
}

}  // namespace
}  // namespace ml::files
