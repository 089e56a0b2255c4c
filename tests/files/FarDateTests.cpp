#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>

#include "files/FileSystem.h"
#include "files/MutableBasicAttributes.h"
#include "platform/darwin/StorableDates.h"
#include "support/TempDir.h"

namespace ml::files {
namespace {

const FileSystem& fs() { return *FileSystems::defaultFileSystem(); }

// A fresh file in the temporary folder (ext4 on the build machines) and, where there is one,
// on a tmpfs; the folders are removed afterwards.
struct FilesOnEveryFileSystem {
  test::TempDir tmp;
  std::filesystem::path shm = "/dev/shm/ml-dates-" + std::to_string(::getpid());
  std::vector<std::filesystem::path> files{tmp.write("item", "x")};
  std::error_code ec;
  FilesOnEveryFileSystem() {
    if (std::filesystem::create_directory(shm, ec) && std::ofstream(shm / "item") << "x") files.push_back(shm / "item");
  }
  ~FilesOnEveryFileSystem() { std::filesystem::remove_all(shm, ec); }
};

timespec timeOf(const std::filesystem::path& item, bool modification, bool change = false) {
  struct stat st {};
  EXPECT_EQ(::lstat(item.c_str(), &st), 0);
  return change ? st.st_ctim : modification ? st.st_mtim : st.st_atim;
}
Date dateOf(const timespec& t) { return darwin::dateOf(t.tv_sec, t.tv_nsec); }

// Dates of 1901, 2100 and 2400 are read with their nanoseconds, written back unchanged, and a
// change of one date leaves the other exactly as it was.
TEST(FarDates, ReadAndWrittenBackExactlyWhereTheFileSystemKeepsThem) {
  FilesOnEveryFileSystem items;
  for (const auto& file : items.files) {
    const auto range = darwin::storableDates(file);
    ASSERT_TRUE(range) << range.error();
    for (const timespec era : {timespec{-2147472000, 500000000}, timespec{4102444800, 7}, timespec{13569465600, 123456789}}) {
      SCOPED_TRACE(file.string() + " " + std::to_string(era.tv_sec));
      const timespec set[2] = {{era.tv_sec + 60, 1}, era};
      ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), set, 0), 0);
      if (dateOf(timeOf(file, true)) != dateOf(era)) {
        EXPECT_FALSE(range->contains(dateOf(era)));  // the probe knew the file system clamps it
        continue;
      }
      const Path path(file);
      MutableBasicAttributes record(*fs().basicAttributes(path));
      EXPECT_EQ(record.lastModifiedDate(), dateOf(era));
      EXPECT_EQ(record.lastAccessedDate(), dateOf(set[0]));
      record.setHasChanges(true);  // written back unchanged
      ASSERT_TRUE(fs().updateBasicAttributes(path, record));
      EXPECT_EQ(dateOf(timeOf(file, true)), dateOf(era));

      const timespec accessed{era.tv_sec + 3600, 999999999};
      record.setLastAccessedDate(dateOf(accessed));
      ASSERT_TRUE(fs().updateBasicAttributes(path, record));
      EXPECT_EQ(dateOf(timeOf(file, false)), dateOf(accessed));
      EXPECT_EQ(dateOf(timeOf(file, true)), dateOf(era));
    }
  }
}

// A date the file system would clamp is refused with ERANGE before any part of the update is
// written (dates, flags, creation date: not even the change time moves); one it keeps is kept.
TEST(FarDates, DateOutsideTheFileSystemsRangeIsRefusedBeforeAnythingIsWritten) {
  FilesOnEveryFileSystem items;
  const Date beyondAnyTimestamp = darwin::dateOf(INT64_MAX, 999999999) + std::chrono::seconds(1);
  for (const auto& file : items.files) {
    SCOPED_TRACE(file);
    const Path path(file);
    const auto range = darwin::storableDates(file);
    ASSERT_TRUE(range) << range.error();
    EXPECT_FALSE(range->contains(beyondAnyTimestamp));
    for (const Date asked : {darwin::dateOf(253402214400, 0) /* 9999-12-31 */, beyondAnyTimestamp}) {
      MutableBasicAttributes record(*fs().basicAttributes(path));
      const auto creationBefore = record.creationDate();
      const bool invisibleBefore = record.isInvisible();
      record.setInvisible(!invisibleBefore);
      record.setCreationDate(darwin::dateOf(1000000000, 0));
      record.setLastModifiedDate(asked);
      const Date changedBefore = dateOf(timeOf(file, true, true));
      const auto status = fs().updateBasicAttributes(path, record);
      if (range->contains(asked)) {
        ASSERT_TRUE(status) << status.error();
        EXPECT_EQ(fs().basicAttributes(path)->lastModifiedDate(), asked);
        continue;
      }
      ASSERT_FALSE(status);
      EXPECT_TRUE(status.error().isPosix(ERANGE));
      EXPECT_NE(status.error().message.find("is outside what this item's volume can store"), std::string::npos);
      EXPECT_EQ(dateOf(timeOf(file, true, true)), changedBefore);
      const auto now = fs().basicAttributes(path);
      EXPECT_EQ(now->isInvisible(), invisibleBefore);
      EXPECT_EQ(now->creationDate(), creationBefore);
    }
  }
}

}  // namespace
}  // namespace ml::files
