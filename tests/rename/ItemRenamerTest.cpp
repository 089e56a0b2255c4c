// Renaming one item: the new path, names a folder cannot hold, names already taken, the root,
// and case-only renames on a volume that ignores case.
#include <gtest/gtest.h>

#include "RenameFixtures.h"
#include "rename/confirmation/ItemRenamer.h"
#include "support/TestFolder.h"

namespace ml::rename {
namespace {

namespace fs = std::filesystem;

using testing::contents;
using testing::FixedNameRule;
using testing::makeItems;

// The bodies of ItemRenamerOn run in a folder of the default file system and again on a
// case-insensitive vfat volume.
class ItemRenamerOn : public ::testing::TestWithParam<test::Volume> {
 protected:
  void SetUp() override {
    if (const std::string why = dir.skipReason(); !why.empty()) GTEST_SKIP() << why;
  }
  test::TestFolder dir{GetParam()};
};
INSTANTIATE_TEST_SUITE_P(Volumes, ItemRenamerOn, test::everyVolume(), test::volumeName);

TEST_P(ItemRenamerOn, MovesTheItemToTheNewNameInItsFolder) {
  auto items = makeItems(dir, {"photo.jpeg", "album/"});
  auto renamed = renameItem(items[0], *testing::suffixRule("-1"));
  ASSERT_TRUE(renamed.ok()) << renamed.error();
  EXPECT_EQ(renamed->url(), dir.path() / "photo-1.jpeg");
  EXPECT_EQ(contents(dir.path() / "photo-1.jpeg"), "contents of photo.jpeg");
  EXPECT_FALSE(fs::exists(dir.path() / "photo.jpeg"));
  auto folder = renameItem(items[1], *testing::suffixRule(" 2024"));
  ASSERT_TRUE(folder.ok());
  EXPECT_TRUE(fs::is_directory(dir.path() / "album 2024"));
}

TEST_P(ItemRenamerOn, ItemGivenWithATrailingSeparatorIsRenamedInItsFolder) {
  fs::create_directories(dir.path() / "album");
  auto renamed = renameItem(files::Path(dir.path().string() + "/album/"), *testing::suffixRule("-old"));
  ASSERT_TRUE(renamed.ok()) << renamed.error();
  EXPECT_EQ(renamed->url(), dir.path() / "album-old");
  EXPECT_TRUE(fs::is_directory(dir.path() / "album-old"));
}

TEST_P(ItemRenamerOn, NameAlreadyTakenFailsAndLosesNothing) {
  auto items = makeItems(dir, {"a.txt", "b.txt"});
  auto renamed = renameItem(items[0], FixedNameRule("b.txt"));
  ASSERT_FALSE(renamed.ok());
  EXPECT_TRUE(renamed.error().isPosix(EEXIST));
  EXPECT_EQ(contents(dir.path() / "a.txt"), "contents of a.txt");
  EXPECT_EQ(contents(dir.path() / "b.txt"), "contents of b.txt");
}

TEST_P(ItemRenamerOn, NamesAFolderCannotHoldAreRefused) {
  fs::create_directories(dir.path() / "sub");
  auto items = makeItems(dir, {"a.txt"});
  for (std::string name : {std::string(), std::string("."), std::string(".."), std::string("sub/a.txt"),
                           std::string("a\0b", 3)}) {
    auto renamed = renameItem(items[0], FixedNameRule(name));
    ASSERT_FALSE(renamed.ok()) << name;
    EXPECT_TRUE(renamed.error().isPosix(EINVAL));
  }
  EXPECT_TRUE(fs::exists(dir.path() / "a.txt"));
  EXPECT_FALSE(fs::exists(dir.path() / "sub" / "a.txt"));
}

TEST_P(ItemRenamerOn, RuleFailureIsTheResult) {
  auto items = makeItems(dir, {"a.txt"});
  auto rule = testing::ruleWith([](BasicRenamingStrategy& s) {
    s.name = NameModification::replace("(", "x", ReplacementMode::all, MatchLocation::everywhere);
  });
  auto renamed = renameItem(items[0], *rule);
  ASSERT_FALSE(renamed.ok());
  EXPECT_EQ(renamed.error().code, 2048);
  EXPECT_TRUE(fs::exists(dir.path() / "a.txt"));
}

TEST(ItemRenamer, RootHasNoFolderToBeRenamedIn) {
  auto renamed = renameItem(files::Path("/"), FixedNameRule("root"));
  ASSERT_FALSE(renamed.ok());
  EXPECT_TRUE(renamed.error().isPosix(EINVAL));
}

TEST_P(ItemRenamerOn, CaseOnlyRenameOnACaseInsensitiveVolumeGoesThroughATemporaryName) {
  dir.write("photo.JPG", "pixels");
  // On the default file system a fake that ignores case stands in for the volume.
  auto caseBlind = std::make_shared<testing::CaseInsensitiveFileSystem>();
  const files::Path item = GetParam() == test::Volume::defaultFileSystem
                               ? files::Path(caseBlind, dir.path() / "photo.JPG")
                               : files::Path(dir.path() / "photo.JPG");
  auto renamed = renameItem(item, FixedNameRule("photo.jpg"));
  ASSERT_TRUE(renamed.ok()) << renamed.error();
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"photo.jpg"});
  EXPECT_EQ(contents(dir.path() / "photo.jpg"), "pixels");
}

TEST(ItemRenamer, HardLinkInTheWayIsNotReplacedAndTheItemStays) {
  test::TempDir dir;
  auto items = makeItems(dir, {"a.txt"});
  fs::create_hard_link(dir.path() / "a.txt", dir.path() / "b.txt");
  auto renamed = renameItem(items[0], FixedNameRule("b.txt"));
  ASSERT_FALSE(renamed.ok());
  EXPECT_TRUE(renamed.error().isPosix(EEXIST));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt"}));
}

}  // namespace
}  // namespace ml::rename
