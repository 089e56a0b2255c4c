#include <gtest/gtest.h>

#include <fstream>

#include "LogCapture.h"
#include "beacon/core/TLConstants.h"
#include "beacon/core/TLUtilityFile.h"
#include "support/TempDir.h"

namespace ml::beacon {
namespace {

namespace fs = std::filesystem;

std::span<const std::uint8_t> bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TLUtilityFileTest : public ::testing::Test {
 protected:
  test::XdgSandbox sandbox;
  test::LogCapture capture;
};

TEST_F(TLUtilityFileTest, ClientFolderIsUnderTheDataFolderAndExcludedFromBackups) {
  fs::path folder = TLUtilityFile::clientDirectoryURL();
  EXPECT_EQ(folder, sandbox.root() / "XDG_DATA_HOME" / "org.marrowlane.Marrowlane" / std::string(kTLReverseDomainPrefix));
  EXPECT_TRUE(fs::is_directory(folder));
  std::string tag = readAll(folder / "CACHEDIR.TAG");
  EXPECT_EQ(tag.rfind("Signature: 8a477f597d28d172789f06886806bc55", 0), 0u);
}

TEST_F(TLUtilityFileTest, CreatedFileReadsBack) {
  auto url = TLUtilityFile::createFileAtPathComponent("a/b/file.bin", bytes("data"), true, true);
  ASSERT_TRUE(url);
  EXPECT_EQ(*url, TLUtilityFile::clientDirectoryURL() / "a/b/file.bin");
  auto loaded = TLUtilityFile::loadDataForPathComponent("a/b/file.bin");
  ASSERT_TRUE(loaded);
  EXPECT_EQ(std::string(loaded->begin(), loaded->end()), "data");
  EXPECT_TRUE(TLUtilityFile::fileExistsForPathComponent("a/b/file.bin"));
  EXPECT_TRUE(fs::exists(TLUtilityFile::clientDirectoryURL() / "a/b/CACHEDIR.TAG"));
}

TEST_F(TLUtilityFileTest, ExistingFileIsLeftAloneWithoutForceOverwrite) {
  TLUtilityFile::createFileAtPathComponent("f", bytes("first"), false, true);
  auto url = TLUtilityFile::createFileAtPathComponent("f", bytes("second"), false, false);
  ASSERT_TRUE(url);
  EXPECT_EQ(readAll(*url), "first");
  TLUtilityFile::createFileAtPathComponent("f", std::nullopt, false, true);
  EXPECT_EQ(readAll(*url), "");
}

TEST_F(TLUtilityFileTest, ComponentsOutsideTheFolderAreRefused) {
  EXPECT_FALSE(TLUtilityFile::fullURLForPathComponent("../escape"));
  EXPECT_FALSE(TLUtilityFile::fullURLForPathComponent("a/../../escape"));
  EXPECT_FALSE(TLUtilityFile::fullURLForPathComponent("/etc/passwd"));
  EXPECT_FALSE(TLUtilityFile::createFileAtPathComponent("../escape", bytes("x"), false, true));
  EXPECT_FALSE(fs::exists(TLUtilityFile::clientDirectoryURL().parent_path() / "escape"));
  EXPECT_FALSE(TLUtilityFile::deleteItemForPathComponent(".."));
  EXPECT_TRUE(fs::exists(TLUtilityFile::clientDirectoryURL()));
}

TEST_F(TLUtilityFileTest, FailedWriteLogsAndAnswersNothing) {
  TLUtilityFile::createFileAtPathComponent("dir/x", bytes("x"), false, true);
  // "dir" is a folder, so a file cannot be written in its place.
  EXPECT_FALSE(TLUtilityFile::createFileAtPathComponent("dir", bytes("y"), true, true));
  EXPECT_EQ(capture.count(TLLogLevel::error, "Couldn't create new file at path "), 1u);
  EXPECT_FALSE(TLUtilityFile::createFileAtPathComponent("dir", bytes("y"), false, true));
}

TEST_F(TLUtilityFileTest, DeletingRemovesWholeFoldersAndReportsMissingItems) {
  TLUtilityFile::createFileAtPathComponent("crashes/a", bytes("1"), false, true);
  TLUtilityFile::createFileAtPathComponent("crashes/b", bytes("2"), false, true);
  EXPECT_TRUE(TLUtilityFile::deleteItemForPathComponent("crashes"));
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent("crashes"));
  EXPECT_FALSE(TLUtilityFile::deleteItemForPathComponent("crashes"));
  EXPECT_EQ(capture.count(TLLogLevel::debug, "Couldn't remove item at "), 1u);
}

TEST_F(TLUtilityFileTest, DirectoryContentsListEntriesOrAnswerNothing) {
  TLUtilityFile::createFileAtPathComponent("logs/a", bytes("1"), false, true);
  TLUtilityFile::createFileAtPathComponent("logs/b", bytes("2"), false, true);
  auto entries = TLUtilityFile::contentsOfDirectory("logs");
  ASSERT_TRUE(entries);
  EXPECT_EQ(entries->size(), 3u);  // a, b and the folder's CACHEDIR.TAG
  EXPECT_FALSE(TLUtilityFile::contentsOfDirectory(""));
  EXPECT_FALSE(TLUtilityFile::contentsOfDirectory("missing"));
  EXPECT_EQ(capture.count(TLLogLevel::debug, "Couldn't get files in the directory \"missing\": "), 1u);
}

}  // namespace
}  // namespace ml::beacon
