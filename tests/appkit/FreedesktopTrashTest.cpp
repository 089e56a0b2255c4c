#include "appkit/FreedesktopTrash.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "appkit/DesktopWorkspace.h"
#include "appkit/trashinfo/TrashInfo.h"
#include "support/TempDir.h"

namespace ml::appkit {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class FreedesktopTrashTest : public ::testing::Test {
 protected:
  FreedesktopTrash makeTrash() {
    FreedesktopTrash::Options options;
    options.homeTrash = home_.path() / "Trash";
    options.mountPoints = [] { return std::vector<fs::path>{}; };
    return FreedesktopTrash(options);
  }

  test::TempDir home_;
  test::TempDir items_;
};

TEST_F(FreedesktopTrashTest, TrashedItemLandsInFilesWithItsTrashInfo) {
  auto item = items_.write("report one.txt", "contents");
  auto trash = makeTrash();

  auto result = trash.trash(item);

  ASSERT_TRUE(result.ok()) << result.error();
  fs::path trashed = home_.path() / "Trash/files/report one.txt";
  EXPECT_EQ(*result, trashed);
  EXPECT_FALSE(fs::exists(item));
  EXPECT_EQ(readFile(trashed), "contents");
  std::string info = readFile(home_.path() / "Trash/info/report one.txt.trashinfo");
  std::string expectedPath = FreedesktopTrash::encodePath(fs::canonical(items_.path()).string() + "/report one.txt");
  std::regex form("\\[Trash Info\\]\nPath=" + std::regex_replace(expectedPath, std::regex("[.^$|()\\[\\]{}*+?\\\\]"), "\\$&") +
                  "\nDeletionDate=\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\n");
  EXPECT_TRUE(std::regex_match(info, form)) << info;
  EXPECT_NE(info.find("report%20one.txt"), std::string::npos);
}

TEST_F(FreedesktopTrashTest, TrashFoldersArePrivate) {
  auto trash = makeTrash();
  ASSERT_TRUE(trash.trash(items_.write("a", "")).ok());
  for (const char* folder : {"Trash", "Trash/files", "Trash/info"}) {
    struct stat info {};
    ASSERT_EQ(::stat((home_.path() / folder).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
  }
}

TEST_F(FreedesktopTrashTest, SecondItemOfTheSameNameGetsAnotherName) {
  auto trash = makeTrash();
  ASSERT_TRUE(trash.trash(items_.write("same.txt", "first")).ok());
  auto second = trash.trash(items_.write("same.txt", "second"));

  ASSERT_TRUE(second.ok());
  EXPECT_EQ(second->filename(), "same.txt.2");
  EXPECT_EQ(readFile(home_.path() / "Trash/files/same.txt"), "first");
  EXPECT_EQ(readFile(home_.path() / "Trash/files/same.txt.2"), "second");
  EXPECT_TRUE(fs::exists(home_.path() / "Trash/info/same.txt.2.trashinfo"));
}

TEST_F(FreedesktopTrashTest, MissingItemFailsAndLeavesNoRecord) {
  auto trash = makeTrash();
  auto result = trash.trash(items_.path() / "nothing-here");

  ASSERT_FALSE(result.ok());
  EXPECT_TRUE(result.error().isPosix(ENOENT)) << result.error();
  EXPECT_TRUE(!fs::exists(home_.path() / "Trash/info") || fs::is_empty(home_.path() / "Trash/info"));
}

TEST_F(FreedesktopTrashTest, FailedMoveRemovesTheReservedRecord) {
  auto trash = makeTrash();
  auto folder = items_.path() / "locked";
  fs::create_directory(folder);
  auto item = items_.write("locked/item", "x");
  ::chmod(folder.c_str(), 0500);  // the item cannot leave its folder
  auto result = trash.trash(item);
  ::chmod(folder.c_str(), 0700);

  if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  ASSERT_FALSE(result.ok());
  EXPECT_TRUE(fs::exists(item));
  EXPECT_TRUE(fs::is_empty(home_.path() / "Trash/info"));
}

TEST_F(FreedesktopTrashTest, SymlinkIsTrashedItselfNotItsTarget) {
  auto target = items_.write("target.txt", "kept");
  fs::create_symlink(target, items_.path() / "link");
  auto trash = makeTrash();

  ASSERT_TRUE(trash.trash(items_.path() / "link").ok());
  EXPECT_TRUE(fs::exists(target));
  EXPECT_TRUE(fs::is_symlink(home_.path() / "Trash/files/link"));
}

TEST_F(FreedesktopTrashTest, ItemInsideTheTrashIsRefused) {
  auto trash = makeTrash();
  auto trashed = trash.trash(items_.write("once", ""));
  ASSERT_TRUE(trashed.ok());

  auto again = trash.trash(*trashed);
  ASSERT_FALSE(again.ok());
  EXPECT_TRUE(fs::exists(*trashed));
}

TEST_F(FreedesktopTrashTest, VeryLongNameIsShortenedToFitItsRecord) {
  std::string name(250, 'n');
  auto trash = makeTrash();
  auto result = trash.trash(items_.write(name, ""));

  ASSERT_TRUE(result.ok()) << result.error();
  EXPECT_LT(result->filename().string().size(), name.size());
  EXPECT_TRUE(fs::exists(home_.path() / "Trash/info" / (result->filename().string() + ".trashinfo")));
}

TEST_F(FreedesktopTrashTest, CountIsZeroWithoutATrashAndCountsItemsAfterwards) {
  auto trash = makeTrash();
  auto none = trash.count();
  ASSERT_TRUE(none.ok());
  EXPECT_EQ(*none, 0);

  ASSERT_TRUE(trash.trash(items_.write("a", "")).ok());
  ASSERT_TRUE(trash.trash(items_.write("b", "")).ok());
  auto two = trash.count();
  ASSERT_TRUE(two.ok());
  EXPECT_EQ(*two, 2);
}

TEST_F(FreedesktopTrashTest, EmptyRemovesItemsRecordsAndReadOnlyFolders) {
  auto trash = makeTrash();
  fs::create_directories(items_.path() / "tree/sub");
  items_.write("tree/sub/file", "x");
  ::chmod((items_.path() / "tree/sub").c_str(), 0500);
  ASSERT_TRUE(trash.trash(items_.path() / "tree").ok());
  ASSERT_TRUE(trash.trash(items_.write("plain", "")).ok());

  auto emptied = trash.empty();

  ASSERT_TRUE(emptied.ok()) << emptied.error();
  EXPECT_TRUE(fs::is_empty(home_.path() / "Trash/files"));
  EXPECT_TRUE(fs::is_empty(home_.path() / "Trash/info"));
  EXPECT_EQ(*trash.count(), 0);
}

TEST_F(FreedesktopTrashTest, EmptyRemovesRecordsWhoseItemIsGone) {
  auto trash = makeTrash();
  ASSERT_TRUE(trash.trash(items_.write("a", "")).ok());
  fs::remove(home_.path() / "Trash/files/a");
  ASSERT_TRUE(trash.empty().ok());
  EXPECT_FALSE(fs::exists(home_.path() / "Trash/info/a.trashinfo"));
}

TEST_F(FreedesktopTrashTest, TopDirectoryTrashesOfMountsAreCountedAndEmptied) {
  test::TempDir volume;
  fs::path own = volume.path() / (".Trash-" + std::to_string(::getuid()));
  fs::create_directories(own / "files");
  fs::create_directories(own / "info");
  std::ofstream(own / "files/x") << "x";
  std::ofstream(own / "info/x.trashinfo") << "[Trash Info]\nPath=x\n";
  FreedesktopTrash::Options options;
  options.homeTrash = home_.path() / "Trash";
  options.mountPoints = [&] { return std::vector<fs::path>{volume.path()}; };
  FreedesktopTrash trash(options);

  EXPECT_EQ(*trash.count(), 1);
  ASSERT_TRUE(trash.empty().ok());
  EXPECT_EQ(*trash.count(), 0);
  EXPECT_FALSE(fs::exists(own / "info/x.trashinfo"));
}

TEST_F(FreedesktopTrashTest, AnyNameIsRecordedSoThatItReadsBackByteForByte) {
  // Not UTF-8, a newline that could start a forged line, "%" and "=" of the record's own syntax.
  auto item = items_.write("caf\xE9\nPath=%41 =x", "contents");
  auto result = makeTrash().trash(item);
  ASSERT_TRUE(result.ok()) << result.error();

  auto record = TrashInfo::parse(readFile(home_.path() / "Trash/info" / (result->filename().string() + ".trashinfo")));
  ASSERT_TRUE(record.ok()) << record.error();
  EXPECT_EQ(record->path, (fs::canonical(items_.path()) / "caf\xE9\nPath=%41 =x").string());
  EXPECT_TRUE(record->deletionDate.has_value());
}

// A trash asked to stop goes on to the end of the item under way, never further: the items not
// begun stay in place without records. An item already in the Trash's files under the name
// chosen, without a record (left by another program), is never replaced.
TEST_F(FreedesktopTrashTest, AStopBetweenItemsAndANameTakenWithoutRecordLoseNothing) {
  auto trash = makeTrash();
  ASSERT_TRUE(trash.trash(items_.write("first", "")).ok());  // makes the Trash's folders
  std::ofstream(home_.path() / "Trash/files/taken") << "someone else's";
  std::vector<fs::path> items{items_.write("taken", "mine"), items_.write("b", ""), items_.write("c", "")};
  int done = 0;
  DesktopWorkspace::RecycleProgress progress{[&] { ++done; }, [&] { return done == 2; }};
  auto [recycled, error] = DesktopWorkspace::recycleNow(trash, items, progress);
  EXPECT_FALSE(error);
  EXPECT_EQ(recycled, (std::vector<fs::path>{items[0], items[1]}));
  EXPECT_EQ(done, 2);
  EXPECT_TRUE(fs::exists(items[2]));
  EXPECT_EQ(readFile(home_.path() / "Trash/files/taken"), "someone else's");
  EXPECT_EQ(readFile(home_.path() / "Trash/files/taken.2"), "mine");
  EXPECT_FALSE(fs::exists(home_.path() / "Trash/info/taken.trashinfo"));
  EXPECT_TRUE(fs::exists(home_.path() / "Trash/info/taken.2.trashinfo"));
  std::size_t records = 0;
  for (const auto& entry : fs::directory_iterator(home_.path() / "Trash/info")) records += entry.is_regular_file();
  EXPECT_EQ(records, 3u);  // first, taken.2, b
}


TEST(TrashInfoReading, OtherWritersFormsAreReadAndRecordsWithoutAnOriginalPathRefused) {
  auto lenient = TrashInfo::parse(
      "# left by another program\r\n[Desktop Entry]\r\nPath=/not/this\r\n[Trash Info]\r\n"
      "DeletionDate = 2026-12-07T13:12:28\r\nPath = Documents/caf\xC3\xA9 raw%25.txt\r\n");
  ASSERT_TRUE(lenient.ok()) << lenient.error();
  EXPECT_EQ(*lenient, (TrashInfo{"Documents/caf\xC3\xA9 raw%.txt", "2026-12-07T13:12:28"}));
  auto undated = TrashInfo::parse("[Trash Info]\nPath=/a\nDeletionDate=yesterday\n");
  ASSERT_TRUE(undated.ok());
  EXPECT_EQ(undated->deletionDate, std::nullopt);

  for (std::string_view bad : {"", "Path=/a\n", "[Trash Info]\nDeletionDate=2026-12-07T13:12:28\n",
                               "[Trash Info]\nPath=/a\nPath=/b\n", "[Trash Info]\nPath=/a%zz\n",
                               "[Trash Info]\nPath=/a%2\n", "[Trash Info]\nPath=/a%00b\n", "[Trash Info]\nPath=\n"}) {
    auto refused = TrashInfo::parse(bad);
    EXPECT_FALSE(refused.ok()) << bad;
    if (!refused.ok()) {
      EXPECT_EQ(refused.error().domain, kTrashInfoErrorDomain);
    }
  }
  EXPECT_FALSE(TrashInfo::parse("[Trash Info]\nPath=/" + std::string(kMaxTrashInfoBytes, 'a') + "\n").ok());
}

TEST(FreedesktopTrashEncoding, PathKeepsUnreservedCharactersAndEscapesTheRest) {
  EXPECT_EQ(FreedesktopTrash::encodePath("/home/u/a b%c\"d\xC3\xA9.txt"), "/home/u/a%20b%25c%22d%C3%A9.txt");
  EXPECT_EQ(FreedesktopTrash::encodePath("/A-z_0.9~"), "/A-z_0.9~");
}

}  // namespace
}  // namespace ml::appkit
