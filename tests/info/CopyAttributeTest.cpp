#include "info/CopyAttribute.h"

#include "InfoCommandTest.h"
#include "appkit/Pasteboard.h"
#include "files/Files.h"
#include "files/format/DateExtensions.h"
#include "platform/darwin/ExtendedAttributes.h"
#include "support/ResourceForkBuilder.h"

namespace ml::info {
namespace {

using files::Path;

class CopyAttributeTest : public testing::InfoCommandTest {
 protected:
  CopyAttributeTest() { fs->volume = "Data"; }

  // A 'vers' resource: version numbers, region, then the short and long version strings.
  static std::vector<uint8_t> versResource(const std::string& shortVersion, const std::string& longVersion) {
    std::vector<uint8_t> data = {1, 0x20, 0x80, 0, 0, 0};
    data.push_back(static_cast<uint8_t>(shortVersion.size()));
    data.insert(data.end(), shortVersion.begin(), shortVersion.end());
    data.push_back(static_cast<uint8_t>(longVersion.size()));
    data.insert(data.end(), longVersion.begin(), longVersion.end());
    return data;
  }
  void giveResourceFork(const Path& path, const std::vector<uint8_t>& vers) {
    auto fork = test::buildResourceFork({{"vers", {{1, std::nullopt, vers}}}});
    ASSERT_TRUE(darwin::setExtendedAttribute(path.url(), fork, "com.apple.ResourceFork"));
  }

  std::shared_ptr<testing::FaultyFileSystem> fs = testing::FaultyFileSystem::make();
  Path item = Path(dir.write("a.txt", "hello"));
};

TEST_F(CopyAttributeTest, HfsStylePathsKeepTheRootComponent) {
  Path users = fs->path("/Users/a");
  EXPECT_EQ(copyableText(CopyableAttribute::path, users), "/Users/a");
  EXPECT_EQ(copyableText(CopyableAttribute::hfsPath, users), "Data:/:Users:a");
  EXPECT_EQ(copyableText(CopyableAttribute::parent, users), "/Users");
  EXPECT_EQ(copyableText(CopyableAttribute::hfsParent, users), "Data:/:Users");
}

TEST_F(CopyAttributeTest, TheRootsParentIsTheRootAndItsHfsParentTheVolumeAlone) {
  Path root = fs->path("/");
  EXPECT_EQ(copyableText(CopyableAttribute::parent, root), "/");
  EXPECT_EQ(copyableText(CopyableAttribute::hfsParent, root), "Data");
}

TEST_F(CopyAttributeTest, BothVersionEntriesCopyTheSameText) {
  giveResourceFork(item, versResource("1.0", "1.0, Copyright Example"));
  auto shortText = copyableText(CopyableAttribute::shortVersion, item);
  ASSERT_TRUE(shortText);
  EXPECT_EQ(shortText, copyableText(CopyableAttribute::longVersion, item));
}

TEST_F(CopyAttributeTest, NoResourceForkMeansNoVersionText) {
  EXPECT_FALSE(copyableText(CopyableAttribute::shortVersion, item));
}

TEST_F(CopyAttributeTest, SizeIsTheActualByteCount) {
  EXPECT_EQ(copyableText(CopyableAttribute::sizeInfo, item), "5 bytes");
  fs->failRead = foundation::Error::posix(ENOENT);
  EXPECT_EQ(copyableText(CopyableAttribute::sizeInfo, fs->path(item.url())), "Unknown File Size");
}

TEST_F(CopyAttributeTest, DatesUseTheMediumStyles) {
  auto dates = files::Files::dates(item);
  EXPECT_EQ(copyableText(CopyableAttribute::modifiedDate, item), files::dates::string(dates->modification));
  EXPECT_EQ(copyableText(CopyableAttribute::accessedDate, item), files::dates::string(dates->access));
}

TEST_F(CopyAttributeTest, NoBackupDateMeansNoText) {
  EXPECT_FALSE(copyableText(CopyableAttribute::backupDate, item));
}

TEST_F(CopyAttributeTest, ForkSizesNameBothForksOfAFile) {
  auto text = copyableText(CopyableAttribute::forkSizes, item);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->rfind("Data fork: ", 0), 0u);
  EXPECT_NE(text->find("resource fork: none"), std::string::npos);
  EXPECT_FALSE(copyableText(CopyableAttribute::forkSizes, Path(dir.path())));
}

TEST_F(CopyAttributeTest, TheCommandPutsTheTextOnTheClipboard) {
  appkit::Pasteboard::setString("before");
  show({item});
  run(std::make_shared<CopyAttribute>(CopyableAttribute::path));
  EXPECT_EQ(appkit::Pasteboard::string(), item.description());
}

TEST_F(CopyAttributeTest, AnAttributeWithoutTextLeavesTheClipboardAlone) {
  appkit::Pasteboard::setString("before");
  show({item});
  run(std::make_shared<CopyAttribute>(CopyableAttribute::backupDate));
  run(std::make_shared<CopyAttribute>(CopyableAttribute::creator));
  EXPECT_EQ(appkit::Pasteboard::string(), "before");
}

TEST(CopyableAttributeTest, TagsMapToAttributesByPosition) {
  EXPECT_EQ(copyableAttribute(0), CopyableAttribute::kindDescription);
  EXPECT_EQ(copyableAttribute(14), CopyableAttribute::hfsParent);
  EXPECT_FALSE(copyableAttribute(15));
  EXPECT_FALSE(copyableAttribute(-1));
}

}  // namespace
}  // namespace ml::info
