// Renaming one item: the new path, names a folder cannot hold, names already taken, the root,
// and case-only renames on a volume that ignores case.
#include <gtest/gtest.h>

#include "RenameFixtures.h"
#include "rename/confirmation/ItemRenamer.h"

namespace ml::rename {
namespace {

namespace fs = std::filesystem;

using testing::contents;
using testing::FixedNameRule;
using testing::makeItems;

TEST(ItemRenamer, MovesTheItemToTheNewNameInItsFolder) {
  test::TempDir dir;
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

TEST(ItemRenamer, ItemGivenWithATrailingSeparatorIsRenamedInItsFolder) {
  test::TempDir dir;
  fs::create_directories(dir.path() / "album");
  auto renamed = renameItem(files::Path(dir.path().string() + "/album/"), *testing::suffixRule("-old"));
  ASSERT_TRUE(renamed.ok()) << renamed.error();
  EXPECT_EQ(renamed->url(), dir.path() / "album-old");
  EXPECT_TRUE(fs::is_directory(dir.path() / "album-old"));
}

TEST(ItemRenamer, NameAlreadyTakenFailsAndLosesNothing) {
  test::TempDir dir;
  auto items = makeItems(dir, {"a.txt", "b.txt"});
  auto renamed = renameItem(items[0], FixedNameRule("b.txt"));
  ASSERT_FALSE(renamed.ok());
  EXPECT_TRUE(renamed.error().isPosix(EEXIST));
  EXPECT_EQ(contents(dir.path() / "a.txt"), "contents of a.txt");
  EXPECT_EQ(contents(dir.path() / "b.txt"), "contents of b.txt");
}

TEST(ItemRenamer, NamesAFolderCannotHoldAreRefused) {
  test::TempDir dir;
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

TEST(ItemRenamer, RuleFailureIsTheResult) {
  test::TempDir dir;
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

TEST(ItemRenamer, CaseOnlyRenameOnACaseInsensitiveVolumeGoesThroughATemporaryName) {
  test::TempDir dir;
  dir.write("photo.JPG", "pixels");
  auto fileSystem = std::make_shared<testing::CaseInsensitiveFileSystem>();
  files::Path item(fileSystem, dir.path() / "photo.JPG");
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
