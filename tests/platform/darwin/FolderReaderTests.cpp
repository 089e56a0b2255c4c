#include "platform/darwin/FolderReader.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/darwin/ItemStatus.h"
#include "support/TempDir.h"

namespace ml::darwin {
namespace {

std::map<std::string, EntryKind> listing(const FolderReader& reader) {
  std::map<std::string, EntryKind> entries;
  auto status = reader.forEachEntry([&](const FolderEntry& entry) { entries.emplace(entry.name, entry.kind); });
  EXPECT_TRUE(status.ok()) << status.error();
  return entries;
}

// More entries than one block of directory records holds, so the listing spans several reads;
// every kind is reported from the listing, "." and ".." never.
TEST(FolderReader, ListsEveryEntryOfABigFolderWithItsKind) {
  test::TempDir dir;
  constexpr int kFiles = 3000;  // names of ~60 bytes: ~250 KB of records
  for (int i = 0; i < kFiles; ++i) dir.write("big/" + std::string(50, 'f') + std::to_string(i), "");
  std::filesystem::create_directory(dir.path() / "big/sub");
  std::filesystem::create_symlink("sub", dir.path() / "big/link");
  ASSERT_EQ(::mkfifo((dir.path() / "big/pipe").c_str(), 0600), 0);

  auto reader = FolderReader::open(dir.path() / "big", FolderReader::Links::refuse);
  ASSERT_TRUE(reader) << reader.error();
  auto entries = listing(*reader);
  EXPECT_EQ(entries.size(), static_cast<std::size_t>(kFiles + 3));
  EXPECT_EQ(entries.count("."), 0u);
  EXPECT_EQ(entries.count(".."), 0u);
  EXPECT_EQ(entries[std::string(50, 'f') + "2999"], EntryKind::regular);
  EXPECT_EQ(entries["sub"], EntryKind::directory);
  EXPECT_EQ(entries["link"], EntryKind::symbolicLink);
  EXPECT_EQ(entries["pipe"], EntryKind::other);
  // A second listing of the same reader reads on from the end: nothing is visited twice.
  EXPECT_TRUE(listing(*reader).empty());
}

// A walk must not leave the tree it was given: with links refused a link to a folder does not
// open, followed it opens the folder it names. Device and inode are the folder's own.
TEST(FolderReader, RefusesOrFollowsALinkAndDescribesTheFolder) {
  test::TempDir dir;
  dir.write("real/data.bin", std::string(1234, 'x'));
  std::filesystem::create_symlink("real", dir.path() / "alias");

  auto refused = FolderReader::open(dir.path() / "alias", FolderReader::Links::refuse);
  ASSERT_FALSE(refused);
  EXPECT_TRUE(refused.error().isPosix(ELOOP) || refused.error().isPosix(ENOTDIR)) << refused.error();
  auto missing = FolderReader::open(dir.path() / "none", FolderReader::Links::follow);
  ASSERT_FALSE(missing);
  EXPECT_TRUE(missing.error().isPosix(ENOENT));

  auto followed = FolderReader::open(dir.path() / "alias", FolderReader::Links::follow);
  ASSERT_TRUE(followed) << followed.error();
  auto real = statusOfTarget(dir.path() / "real");
  ASSERT_TRUE(real);
  EXPECT_TRUE(real->isDirectory());
  EXPECT_EQ(followed->device(), real->device);
  EXPECT_EQ(followed->inode(), real->inode);
  EXPECT_EQ(followed->sizesOf("data.bin")->size, 1234);
  EXPECT_FALSE(followed->sizesOf("gone").has_value());

  // The link itself, and what it names.
  auto link = statusOfItem(dir.path() / "alias");
  ASSERT_TRUE(link);
  EXPECT_TRUE(link->isSymbolicLink());
  EXPECT_EQ(statusOfTarget(dir.path() / "alias")->inode, real->inode);
  EXPECT_TRUE(statusOfItem(dir.path() / "none").error().isPosix(ENOENT));

  // Moving keeps the one descriptor with the new owner.
  FolderReader moved = std::move(*followed);
  EXPECT_EQ(listing(moved).count("data.bin"), 1u);
}

}  // namespace
}  // namespace ml::darwin
