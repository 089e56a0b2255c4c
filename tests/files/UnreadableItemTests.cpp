// Items the user may not read. Reading an attribute of such an item fails with EACCES, yet its
// kind, size, dates and permissions are all in its inode; and writing to one must never replace
// what could not be read. Run as root, each test acts as an unprivileged account for its checks.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "files/FileSystem.h"
#include "files/MutableAppleAttributes.h"
#include "files/MutableBasicAttributes.h"
#include "platform/darwin/ExtendedAttributes.h"
#include "platform/darwin/FinderInfo.h"
#include "platform/darwin/ItemAttributes.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace ml::files {
namespace {

using namespace std::chrono_literals;

const FileSystem& fs() { return *FileSystems::defaultFileSystem(); }

Date at(std::chrono::seconds s) { return Date(std::chrono::duration_cast<Date::duration>(s)); }

class UnreadableItemTest : public testing::Test {
 protected:
  UnreadableItemTest() {
    // The unprivileged account must reach the items.
    ::chmod(dir.path().c_str(), 0755);
    darwin::FinderInfo info;
    info.setTypeCode(darwin::fourCharCode("TEXT"));
    EXPECT_TRUE(darwin::writeFinderInfo(file, info));
    EXPECT_TRUE(darwin::setExtendedAttribute(file, std::vector<uint8_t>(40, 1), "com.apple.ResourceFork"));
    EXPECT_TRUE(darwin::setStoredCreationDate(file, at(1000000000s)));
    EXPECT_TRUE(darwin::setItemTimes(file, at(1600000000s), at(1600000100s)));
  }
  // Hands the item to the account the test acts as (a no-op for an unprivileged process, which
  // owns what it made).
  void giveToTheUnprivilegedAccount() {
    if (!test::isPrivileged()) return;
    const auto account = test::UnprivilegedAccount::find();
    ASSERT_EQ(::chown(file.c_str(), account.uid, account.gid), 0);
  }

  test::TempDir dir;
  std::filesystem::path file = dir.write("item.txt", "twelve bytes");
  Path path{file};
};

// Someone else's 0600 file (root's, seen by an unprivileged account), or where the process is
// not root, the user's own file without any access.
TEST_F(UnreadableItemTest, IsDescribedByWhatItsInodeHolds) {
  const bool root = test::isPrivileged();
  const mode_t mode = root ? 0600 : 0000;
  ASSERT_EQ(::chmod(file.c_str(), mode), 0);
  test::AsUnprivilegedUser user;
  ASSERT_TRUE(user.ok());
  ASSERT_FALSE(darwin::extendedAttribute(file, "com.apple.FinderInfo")) << "the item is readable after all";

  const auto attrs = darwin::readItemAttributes(file);
  ASSERT_TRUE(attrs) << attrs.error().description();
  EXPECT_FALSE(attrs->finderInfoRead);
  EXPECT_EQ(attrs->mode & 0777, mode);

  auto all = fs().allAttributes(path);
  ASSERT_TRUE(all);
  ASSERT_TRUE(fs().basicAttributes(path));
  ASSERT_TRUE(fs().posixAttributes(path));
  ASSERT_TRUE(fs().finderAttributes(path));
  EXPECT_TRUE(all->isRegularFile());
  EXPECT_EQ(all->totalSize().actual, 12);  // the fork cannot be read: absent
  EXPECT_EQ(all->dataSize().actual, 12);
  EXPECT_FALSE(all->resourceSize());
  EXPECT_EQ(all->lastModifiedDate(), at(1600000000s));
  EXPECT_EQ(all->lastAccessedDate(), at(1600000100s));
  EXPECT_NE(all->creationDate(), at(1000000000s));  // the stored one cannot be read: the birth time
  EXPECT_EQ(all->permissions().rawValue(), static_cast<int>(mode));
  if (root) {
    EXPECT_EQ(all->owner(), "root");
  }
  EXPECT_TRUE(all->kind());
  EXPECT_FALSE(all->typeCode());
  EXPECT_FALSE(all->isStationary());
  EXPECT_FALSE(all->comments());
}

// The owner of a write-only file may set its times but cannot read its attributes: the dates
// are written, and a flag change, which would rebuild Finder information it cannot read, is
// refused rather than wiping the type code it never saw.
TEST_F(UnreadableItemTest, TakesTheWritesItsOwnerMayMakeAndRefusesTheRest) {
  giveToTheUnprivilegedAccount();
  ASSERT_EQ(::chmod(file.c_str(), 0200), 0);
  {
    test::AsUnprivilegedUser user;
    ASSERT_TRUE(user.ok());

    auto basic = fs().basicAttributes(path);
    auto finder = fs().finderAttributes(path);
    ASSERT_TRUE(basic && finder);
    MutableBasicAttributes dates(*basic);
    dates.setLastModifiedDate(at(1700000000s));
    auto status = fs().updateBasicAttributes(path, dates);
    ASSERT_TRUE(status) << status.error().description();
    EXPECT_EQ(darwin::readItemAttributes(file)->modificationDate, at(1700000000s));

    MutableBasicAttributes flag(*basic);
    flag.setExtensionHidden(true);
    status = fs().updateBasicAttributes(path, flag);
    ASSERT_FALSE(status);
    EXPECT_TRUE(status.error().isPosix(EACCES)) << status.error().description();

    MutableAppleAttributes codes(*finder);
    codes.setCreatorCode("ttxt");
    EXPECT_FALSE(fs().updateFinderAttributes(path, codes));
  }
  ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
  auto finder = fs().finderAttributes(path);
  EXPECT_EQ(finder->typeCode(), "TEXT");
  EXPECT_FALSE(finder->creatorCode());
  EXPECT_FALSE(fs().basicAttributes(path)->isExtensionHidden());
  EXPECT_EQ(fs().basicAttributes(path)->creationDate(), at(1000000000s));
}

}  // namespace
}  // namespace ml::files
