// Item paths from every way in, on real files whose names are not UTF-8 or end in a separator.
#include <gtest/gtest.h>

#include <QUrl>

#include "appkit/ItemPath.h"
#include "appkit/ToolkitFileNames.h"
#include "support/TempDir.h"

namespace ml::appkit {
namespace {

namespace fs = std::filesystem;

TEST(ItemPathTest, EveryWayInGivesTheBytesOfTheItemInOneForm) {
  test::TempDir dir;
  const fs::path latin1 = dir.write("caf\xe9/notes", "x").parent_path();  // a folder named in Latin-1
  const fs::path notes = latin1 / "notes";

  // Written with a trailing separator, "." or "..": the same item.
  EXPECT_EQ(canonicalItemPath(latin1.string() + "/"), latin1);
  EXPECT_EQ(canonicalItemPath(latin1.string() + "/./notes/../notes"), notes);
  EXPECT_EQ(canonicalItemPath("/"), fs::path("/"));
  EXPECT_EQ(itemName(latin1.string() + "//"), fs::path("caf\xe9"));
  EXPECT_EQ(itemName("/"), fs::path());

  // A file URL (command line or drop) keeps the escaped bytes.
  const std::string url = "file://" + dir.path().string() + "/caf%E9/notes";
  EXPECT_EQ(localPathOfFileUrl(url), notes);
  EXPECT_EQ(localPathOfFileUrl("file://localhost" + notes.string()), notes);
  EXPECT_EQ(localPathOfUrl(QUrl(QString::fromStdString(url))), notes);
  EXPECT_EQ(localPathOfFileUrl("file://elsewhere/a"), std::nullopt);
  EXPECT_EQ(localPathOfFileUrl("file:///a%E"), std::nullopt);
  EXPECT_EQ(localPathOfFileUrl("http://host/a"), std::nullopt);

  // The text the toolkit shows for it (a replacement character) maps back to the item.
  const QString shown = displayText(notes);
  EXPECT_TRUE(shown.contains(QChar::ReplacementCharacter));
  EXPECT_EQ(fileSystemPath(shown), notes);
  // Two entries that show alike cannot be told apart: the text is kept as it is.
  dir.write("caf\xe8/notes", "y");
  EXPECT_FALSE(fs::exists(fileSystemPath(shown)));
}

}  // namespace
}  // namespace ml::appkit
