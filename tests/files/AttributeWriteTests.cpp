#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include "files/FileSystem.h"
#include "files/MutableAppleAttributes.h"
#include "files/MutableBasicAttributes.h"
#include "files/MutablePosixFileAttributes.h"
#include "platform/darwin/ExtendedAttributes.h"
#include "platform/darwin/ItemAttributes.h"
#include "support/FileFixtures.h"
#include "support/Unprivileged.h"

namespace ml::files {
namespace {

using namespace std::chrono_literals;

const FileSystem& fs() { return *FileSystems::defaultFileSystem(); }

Date at(std::chrono::seconds s) { return Date(std::chrono::duration_cast<Date::duration>(s)); }

class AttributeWriteTest : public testing::Test {
 protected:
  test::TempDir dir;
  std::filesystem::path file = dir.write("item.txt", "content");
  Path path{file};
};

TEST_F(AttributeWriteTest, RecordWithoutChangesWritesNothingAndPlainViewsAreIgnored) {
  auto view = fs().basicAttributes(path);
  MutableBasicAttributes record(*view);
  EXPECT_FALSE(record.hasChanges());
  test::ImmutableItem locked(file);  // any write would fail now
  if (!locked.ok()) GTEST_SKIP() << "cannot set the immutable flag here" << (test::isPrivileged() ? "" : ": needs root");
  EXPECT_TRUE(fs().updateBasicAttributes(path, record));
  EXPECT_TRUE(fs().updateBasicAttributes(path, *view));
}

TEST_F(AttributeWriteTest, SettingAnUnchangedValueStillMarksTheRecordChanged) {
  MutableBasicAttributes record(*fs().basicAttributes(path));
  record.setInvisible(record.isInvisible());
  EXPECT_TRUE(record.hasChanges());
  MutableAppleAttributes finder(*fs().finderAttributes(path));
  finder.setLocked(false);
  EXPECT_TRUE(finder.hasChanges());
}

// The invisible flag and a creation date set through the record are on disk: a fresh process
// reads them back.
TEST_F(AttributeWriteTest, DatesAndInvisibleFlagReadBackFromAFreshProcess) {
  MutableBasicAttributes record(*fs().basicAttributes(path));
  record.setCreationDate(at(1000000000s));
  record.setLastModifiedDate(at(1600000000s));
  record.setLastAccessedDate(at(1500000000s));
  record.setInvisible(true);
  record.setExtensionHidden(true);
  ASSERT_TRUE(fs().updateBasicAttributes(path, record));

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto view = FileSystems::defaultFileSystem()->basicAttributes(Path(file));
    const bool ok = view && view->creationDate() == at(1000000000s) && view->lastModifiedDate() == at(1600000000s) &&
                    view->lastAccessedDate() == at(1500000000s) && view->isInvisible() && view->isExtensionHidden();
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(AttributeWriteTest, NoCreationDateLeavesTheItemsCreationDate) {
  const auto before = fs().basicAttributes(path)->creationDate();
  MutableBasicAttributes record(*fs().basicAttributes(path));
  record.setCreationDate(std::nullopt);
  record.setLastModifiedDate(at(1600000000s));
  ASSERT_TRUE(fs().updateBasicAttributes(path, record));
  auto after = fs().basicAttributes(path);
  EXPECT_EQ(after->creationDate(), before);
  EXPECT_EQ(after->lastModifiedDate(), at(1600000000s));
}

TEST_F(AttributeWriteTest, ADotNamedItemCannotBeMadeVisibleAndNothingElseIsWritten) {
  Path hidden(dir.write(".profile", "x"));
  const auto before = fs().basicAttributes(hidden)->lastModifiedDate();
  MutableBasicAttributes record(*fs().basicAttributes(hidden));
  ASSERT_TRUE(record.isInvisible());
  record.setInvisible(false);
  record.setLastModifiedDate(at(1600000000s));
  auto status = fs().updateBasicAttributes(hidden, record);
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(EINVAL));
  EXPECT_TRUE(fs().basicAttributes(hidden)->isInvisible());
  EXPECT_EQ(fs().basicAttributes(hidden)->lastModifiedDate(), before);
}

TEST_F(AttributeWriteTest, FailedWriteOnAnImmutableItemChangesNothingAndReportsThePosixError) {
  test::ImmutableItem locked(file);
  if (!locked.ok()) GTEST_SKIP() << "cannot set the immutable flag here" << (test::isPrivileged() ? "" : ": needs root");
  const auto before = darwin::readItemAttributes(file).value();
  EXPECT_TRUE(fs().finderAttributes(path)->isLocked());
  MutableBasicAttributes record(*fs().basicAttributes(path));
  record.setCreationDate(at(1000000000s));
  record.setInvisible(true);
  record.setLastModifiedDate(at(1600000000s));
  auto status = fs().updateBasicAttributes(path, record);
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(EPERM));
  EXPECT_EQ(status.error().message, std::strerror(EPERM));
  const auto after = darwin::readItemAttributes(file).value();
  EXPECT_EQ(after.creationDate, before.creationDate);
  EXPECT_EQ(after.modificationDate, before.modificationDate);
  EXPECT_EQ(after.finderInfo, before.finderInfo);
}

TEST_F(AttributeWriteTest, TypeCodePutsItsBytesAtTheStartOfTheFinderInfo) {
  MutableAppleAttributes record(*fs().finderAttributes(path));
  record.setTypeCode("TEXT");
  ASSERT_TRUE(fs().updateFinderAttributes(path, record));
  auto info = darwin::extendedAttribute(file, "com.apple.FinderInfo");
  ASSERT_TRUE(info);
  ASSERT_GE(info->size(), 4u);
  EXPECT_EQ((std::vector<uint8_t>(info->begin(), info->begin() + 4)), (std::vector<uint8_t>{0x54, 0x45, 0x58, 0x54}));
  EXPECT_EQ(fs().finderAttributes(path)->typeCode(), "TEXT");

  MutableAppleAttributes clear(*fs().finderAttributes(path));
  clear.setTypeCode(std::nullopt);
  ASSERT_TRUE(fs().updateFinderAttributes(path, clear));
  EXPECT_FALSE(fs().finderAttributes(path)->typeCode());
}

TEST_F(AttributeWriteTest, FailedCodeWriteIsLoggedAndReachesTheCaller) {
  test::LogCapture log;
  test::ImmutableItem locked(file);
  if (!locked.ok()) GTEST_SKIP() << "cannot set the immutable flag here" << (test::isPrivileged() ? "" : ": needs root");
  MutableAppleAttributes record(*fs().finderAttributes(path));
  record.setCreatorCode("ttxt");
  auto status = fs().updateFinderAttributes(path, record);
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(EPERM));
  EXPECT_NE(log.text().find("failed to save attributes. path=" + file.string() + " error="), std::string::npos);
}

TEST_F(AttributeWriteTest, UnchangedFinderRecordWritesNothing) {
  test::ImmutableItem locked(file);
  if (!locked.ok()) GTEST_SKIP() << "cannot set the immutable flag here" << (test::isPrivileged() ? "" : ": needs root");
  MutableAppleAttributes record(*fs().finderAttributes(path));
  record.setStationary(true);  // never written
  EXPECT_TRUE(fs().updateFinderAttributes(path, record));
}

TEST_F(AttributeWriteTest, PermissionWriteKeepsExecuteSetIdAndStickyBits) {
  ASSERT_EQ(::chmod(file.c_str(), 06755), 0);
  MutablePosixFileAttributes values("root", "root", FilePermissions(0600));
  ASSERT_TRUE(fs().updatePosixAttributes(path, values));
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 06711u);
}

}  // namespace
}  // namespace ml::files
