#include <fcntl.h>
#include <stdlib.h>
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

// A fresh folder on the file system of `base`, removed with its contents afterwards.
struct FolderOn {
  std::filesystem::path path;
  explicit FolderOn(const std::filesystem::path& base) {
    std::string name = (base / "ml-dates-XXXXXX").string();
    if (::mkdtemp(name.data())) path = name;
  }
  ~FolderOn() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
};

// The temporary folder (ext4 on the build machines) and, where there is one, a tmpfs.
std::vector<std::filesystem::path> bases() {
  std::vector<std::filesystem::path> out{std::filesystem::temp_directory_path()};
  if (::access("/dev/shm", W_OK) == 0) out.emplace_back("/dev/shm");
  return out;
}

struct Times {
  timespec modification, access, change;
};

Times timesOf(const std::filesystem::path& item) {
  struct stat st {};
  EXPECT_EQ(::lstat(item.c_str(), &st), 0);
  return {st.st_mtim, st.st_atim, st.st_ctim};
}

bool same(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

Date dateOf(const timespec& t) { return darwin::dateOf(t.tv_sec, t.tv_nsec); }

// Dates of 1901, 2100 and 2400 are read with their nanoseconds, written back unchanged, and a
// change of one date leaves the other exactly as it was.
TEST(FarDates, ReadAndWrittenBackExactlyWhereTheFileSystemKeepsThem) {
  const timespec eras[] = {{-2147472000, 500000000}, {4102444800, 7}, {13569465600, 123456789}};
  for (const auto& base : bases()) {
    FolderOn folder(base);
    ASSERT_FALSE(folder.path.empty()) << base;
    const auto file = folder.path / "item";
    std::ofstream(file) << "x";
    const auto range = darwin::storableDates(file);
    ASSERT_TRUE(range) << range.error();
    for (const auto& era : eras) {
      SCOPED_TRACE(base.string() + " " + std::to_string(era.tv_sec));
      const timespec set[2] = {{era.tv_sec + 60, 1}, era};
      ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), set, 0), 0);
      if (!same(timesOf(file).modification, era)) {
        EXPECT_FALSE(range->contains(dateOf(era)));  // the probe knew the file system clamps it
        continue;
      }
      const Path path(file);
      const auto view = fs().basicAttributes(path);
      ASSERT_TRUE(view);
      EXPECT_EQ(view->lastModifiedDate(), dateOf(era));
      EXPECT_EQ(view->lastAccessedDate(), dateOf(set[0]));

      MutableBasicAttributes unchanged(*view);
      unchanged.setHasChanges(true);
      ASSERT_TRUE(fs().updateBasicAttributes(path, unchanged));
      EXPECT_TRUE(same(timesOf(file).modification, era));
      EXPECT_TRUE(same(timesOf(file).access, set[0]));

      MutableBasicAttributes accessOnly(*view);
      const timespec accessed{era.tv_sec + 3600, 999999999};
      accessOnly.setLastAccessedDate(dateOf(accessed));
      ASSERT_TRUE(fs().updateBasicAttributes(path, accessOnly));
      EXPECT_TRUE(same(timesOf(file).access, accessed));
      EXPECT_TRUE(same(timesOf(file).modification, era));

      MutableBasicAttributes modified(*fs().basicAttributes(path));
      const timespec later{era.tv_sec + 86400, 3};
      modified.setLastModifiedDate(dateOf(later));
      ASSERT_TRUE(fs().updateBasicAttributes(path, modified));
      EXPECT_EQ(fs().basicAttributes(path)->lastModifiedDate(), dateOf(later));
      EXPECT_TRUE(same(timesOf(file).access, accessed));
    }
  }
}

// A date the file system would clamp is refused with ERANGE before any part of the update is
// written (dates, flags, creation date: not even the change time moves); one it keeps is kept.
TEST(FarDates, DateOutsideTheFileSystemsRangeIsRefusedBeforeAnythingIsWritten) {
  const Date lastDayOf9999 = darwin::dateOf(253402214400, 0);
  const Date beyondAnyTimestamp = darwin::dateOf(INT64_MAX, 999999999) + std::chrono::seconds(1);
  for (const auto& base : bases()) {
    SCOPED_TRACE(base);
    FolderOn folder(base);
    const auto file = folder.path / "item";
    std::ofstream(file) << "x";
    const Path path(file);
    const auto range = darwin::storableDates(file);
    ASSERT_TRUE(range) << range.error();

    for (const Date asked : {lastDayOf9999, beyondAnyTimestamp}) {
      MutableBasicAttributes record(*fs().basicAttributes(path));
      const auto creationBefore = record.creationDate();
      const bool invisibleBefore = record.isInvisible();
      record.setInvisible(!invisibleBefore);
      record.setCreationDate(darwin::dateOf(1000000000, 0));
      record.setLastModifiedDate(asked);
      const Times before = timesOf(file);
      const auto status = fs().updateBasicAttributes(path, record);
      if (range->contains(asked)) {
        ASSERT_TRUE(status) << status.error();
        EXPECT_EQ(fs().basicAttributes(path)->lastModifiedDate(), asked);
        continue;
      }
      ASSERT_FALSE(status);
      EXPECT_TRUE(status.error().isPosix(ERANGE));
      EXPECT_NE(status.error().message.find("is outside what this item's volume can store"), std::string::npos)
          << status.error().message;
      const Times after = timesOf(file);
      EXPECT_TRUE(same(after.modification, before.modification));
      EXPECT_TRUE(same(after.change, before.change));
      const auto now = fs().basicAttributes(path);
      EXPECT_EQ(now->isInvisible(), invisibleBefore);
      EXPECT_EQ(now->creationDate(), creationBefore);
    }
    EXPECT_FALSE(range->contains(beyondAnyTimestamp));
  }
}

}  // namespace
}  // namespace ml::files
