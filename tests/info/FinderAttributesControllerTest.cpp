#include "info/FinderAttributesController.h"

#include <QCheckBox>
#include <QLabel>

#include "PaneTest.h"
#include "files/Files.h"
#include "files/MutableAppleAttributes.h"
#include "files/format/FileSizeFormatter.h"
#include "info/AttachedComment.h"
#include "platform/darwin/ExtendedAttributes.h"
#include "support/ResourceForkBuilder.h"

namespace ml::info {
namespace {

using files::Path;

class FinderAttributesControllerTest : public testing::PaneTest {
 protected:
  FinderAttributesControllerTest() { pane.setReactor(probe.core); }
  QString text(const char* name) { return control<QLabel>(pane, name).text(); }
  QComboBox& code(const char* name) { return control<QComboBox>(pane, name); }
  static void giveFork(const Path& path, const std::vector<test::ForkType>& types) {
    ASSERT_TRUE(darwin::setExtendedAttribute(path.url(), test::buildResourceFork(types), "com.apple.ResourceFork"));
  }
  static std::vector<uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }
  FinderAttributesController pane;
};

TEST_F(FinderAttributesControllerTest, AFileWithoutCodesShowsDashesInDisabledControls) {
  pane.update(showing({item("a.txt")}));
  EXPECT_EQ(code("typeCodeField").currentText(), "----");
  EXPECT_EQ(code("creatorCodeField").currentText(), "----");
  EXPECT_FALSE(code("typeCodeField").isEnabled());
  EXPECT_FALSE(code("creatorCodeField").isEnabled());
  EXPECT_FALSE(shown(control<QLabel>(pane, "typeCodeChangedMarker")));
  EXPECT_FALSE(shown(control<QLabel>(pane, "creatorCodeChangedMarker")));
}

TEST_F(FinderAttributesControllerTest, PendingCodesShowWithTheirMarkers) {
  pane.update(showing({item("a.txt")}, 0, {{EditableField::typeCode, std::string("PDF ")}, {EditableField::creatorCode, std::nullopt}}));
  EXPECT_EQ(code("typeCodeField").currentText(), "PDF ");
  EXPECT_EQ(code("creatorCodeField").currentText(), "----");
  EXPECT_TRUE(shown(control<QLabel>(pane, "typeCodeChangedMarker")));
  EXPECT_TRUE(shown(control<QLabel>(pane, "creatorCodeChangedMarker")));
}

TEST_F(FinderAttributesControllerTest, AFolderHidesForkSizesAndVersionUntilAFileIsShown) {
  pane.update(showing({Path(dir.path())}));
  EXPECT_FALSE(shown(control<QLabel>(pane, "dataForkSizeField")));
  EXPECT_FALSE(shown(control<QLabel>(pane, "versionField")));
  pane.update(showing({item("a.txt", "12345")}));
  EXPECT_TRUE(shown(control<QLabel>(pane, "dataForkSizeField")));
  EXPECT_TRUE(shown(control<QLabel>(pane, "resourceForkSizeLabel")));
  EXPECT_TRUE(text("dataForkSizeField").contains("5"));
}

TEST_F(FinderAttributesControllerTest, AFileWithoutResourceForkSaysSo) {
  pane.update(showing({item("a.txt")}));
  EXPECT_EQ(text("versionField"), "<no version information available>");
  EXPECT_EQ(text("resourceForkSizeField"), "No resource fork");
}

TEST_F(FinderAttributesControllerTest, TheVersionResourceIsShownAsMacRomanText) {
  Path a = item("a.txt");
  // "1.0" and the long version "1.0 \xA9 Example" (0xA9 is the copyright sign in Mac OS Roman).
  std::vector<uint8_t> vers = {1, 0, 0x80, 0, 0, 0, 3, '1', '.', '0'};
  const std::string longVersion = "1.0 \xA9 Example";
  vers.push_back(static_cast<uint8_t>(longVersion.size()));
  vers.insert(vers.end(), longVersion.begin(), longVersion.end());
  giveFork(a, {{"vers", {{1, std::nullopt, vers}}}});
  pane.update(showing({a}));
  EXPECT_EQ(text("versionField"), QString::fromUtf8("1.0 \u00A9 Example"));
}

// Showing the item writes nothing; the copier, beside the panes, copies the comment once.
TEST_F(FinderAttributesControllerTest, AnAttachedCommentBecomesTheFinderCommentOnce) {
  test::LogCapture log;
  Path a = item("a.txt");
  giveFork(a, {{"CEKI", {{1, std::nullopt, bytes("from the fork")}}}});
  pane.update(showing({a}));
  loop.drain();
  EXPECT_FALSE(files::Files::comment(a));
  AttachedCommentCopier copier;
  copier.update(showing({a}));
  ASSERT_TRUE(loop.drainUntil([&] { return files::Files::comment(a) == "from the fork"; }, std::chrono::seconds(10)));
  pane.update(showing({a}));
  EXPECT_EQ(text("commentsField"), "from the fork");
  EXPECT_NE(log.text().find("copying attached comments to finder metadata since attached comments are no longer "
                            "supported. path=" + a.description()),
            std::string::npos);
  // A redraw copies nothing; shown again later, the item has a comment of its own.
  ASSERT_TRUE(files::Files::setComment(a, std::nullopt));
  copier.update(showing({a}));
  loop.drain();
  EXPECT_FALSE(files::Files::comment(a));
  ASSERT_TRUE(files::Files::setComment(a, std::string("edited since")));
  copier.update(showing({item("b.txt")}));
  copier.update(showing({a}));
  loop.drain();
  EXPECT_EQ(files::Files::comment(a), "edited since");
}

TEST_F(FinderAttributesControllerTest, AnAttachedCommentThatIsNotUtf8IsLeftAlone) {
  Path a = item("a.txt");
  giveFork(a, {{"CEKI", {{1, std::nullopt, {0xff, 0xfe, 0x41}}}}});
  AttachedCommentCopier copier;
  copier.update(showing({a}));
  loop.drain();
  EXPECT_FALSE(files::Files::comment(a));
}

// Nothing writes the lock, name-lock or stationery flag back, so their boxes only show them.
TEST_F(FinderAttributesControllerTest, TheFlagsNothingWritesAreShownButCannotBeToggled) {
  Path a = item("a.txt");
  pane.update(showing({a}));
  for (const char* name : {"lockedCheckbox", "nameLockedCheckbox", "stationaryCheckbox"}) {
    auto& box = control<QCheckBox>(pane, name);
    EXPECT_FALSE(box.isEnabled()) << name;
    box.click();
    EXPECT_FALSE(box.isChecked()) << name;
  }
  probe.settle();
  EXPECT_TRUE(probe.recorder->all<FieldUpdated>().empty());
  // A pending edit made elsewhere still shows, marked, until it is dropped.
  pane.update(showing({a}, 0, {{EditableField::fileLocked, true}}));
  EXPECT_TRUE(control<QCheckBox>(pane, "lockedCheckbox").isChecked());
  EXPECT_TRUE(shown(control<QLabel>(pane, "lockedMarker")));
  pane.update(showing({a}));
  EXPECT_FALSE(control<QCheckBox>(pane, "lockedCheckbox").isChecked());
  EXPECT_FALSE(shown(control<QLabel>(pane, "lockedMarker")));
}

// The data fork field holds the data fork alone, the resource fork field the fork; a folder shown
// next has no codes, and none of the file's stay behind.
TEST_F(FinderAttributesControllerTest, EachForkHasItsOwnSizeAndAFolderShowsNoCodes) {
  Path a = item("a.txt", std::string(1000, 'd'));
  ASSERT_TRUE(darwin::setExtendedAttribute(a.url(), std::vector<uint8_t>(286, 1), "com.apple.ResourceFork"));
  files::MutableAppleAttributes codes(*a.fileSystem().finderAttributes(a));
  codes.setTypeCode("TEXT");
  codes.setCreatorCode("ttxt");
  ASSERT_TRUE(a.fileSystem().updateFinderAttributes(a, codes));
  pane.update(showing({a}));
  const auto finder = a.fileSystem().finderAttributes(a);
  files::FileSizeFormatter formatter;
  EXPECT_EQ(text("dataForkSizeField").toStdString(), formatter.format(finder->dataSize()));
  EXPECT_EQ(finder->dataSize().actual, 1000);
  EXPECT_EQ(text("resourceForkSizeField").toStdString(), formatter.format(*finder->resourceSize()));
  EXPECT_EQ(code("typeCodeField").currentText(), "TEXT");
  EXPECT_EQ(code("creatorCodeField").currentText(), "ttxt");

  pane.update(showing({Path(dir.path())}));
  EXPECT_EQ(code("typeCodeField").currentText(), "----");
  EXPECT_EQ(code("creatorCodeField").currentText(), "----");
  EXPECT_FALSE(code("typeCodeField").isEnabled());
}

TEST_F(FinderAttributesControllerTest, TheBackupMenuReadsNoBackupDate) {
  pane.update(showing({item("a.txt")}));
  EXPECT_EQ(control<QComboBox>(pane, "backupDatePopup").itemText(0), "No Backup Date");
  EXPECT_EQ(control<QComboBox>(pane, "backupDatePopup").count(), 1);
}

}  // namespace
}  // namespace ml::info
