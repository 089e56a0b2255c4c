#include "info/BasicInfoController.h"

#include <QLabel>
#include <QLineEdit>

#include "PaneTest.h"
#include "files/FinderMetadata.h"
#include "files/Files.h"
#include "files/KnownSizes.h"
#include "files/format/DateExtensions.h"
#include "files/format/FileSizeFormatter.h"
#include "info/UpdateDate.h"
#include "info/state/AcceptChanges.h"
#include "platform/darwin/ExtendedAttributes.h"
#include "platform/foundation/PropertyList.h"

namespace ml::info {
namespace {

using files::Path;
using namespace std::chrono_literals;

class BasicInfoControllerTest : public testing::PaneTest {
 protected:
  BasicInfoControllerTest() {
    pane.setReactor(probe.core);
    pane.setWindow(&window);
  }
  QLineEdit& nameField() { return control<QLineEdit>(pane, "nameField"); }
  QComboBox& popup(const char* name) { return control<QComboBox>(pane, name); }
  QString text(const char* label) { return control<QLabel>(pane, label).text(); }
  void choose(QComboBox& menu, int index) { emit menu.activated(index); }

  QWidget window;
  BasicInfoController pane;
};

TEST_F(BasicInfoControllerTest, TheShownPathFillsNameTitleLocationAndEveryTag) {
  Path a = item("a.txt"), b = item("b.txt");
  using foundation::PlistValue;
  ASSERT_TRUE(darwin::setExtendedAttribute(
      b.url(), *foundation::PropertyList::toBinary(PlistValue(PlistValue::Array{PlistValue("Work"), PlistValue("Red\n6")})),
      files::kUserTagsAttribute));
  pane.update(showing({a, b}, 1));
  EXPECT_EQ(text("tagTokenField"), "Red (Red), Work");
  EXPECT_EQ(nameField().text(), "b.txt");
  EXPECT_EQ(window.windowTitle(), "b.txt");
  EXPECT_TRUE(text("locationField").endsWith(QString::fromStdString(dir.path().string())));
  EXPECT_FALSE(shown(control<QLabel>(pane, "nameModifiedMarker")));
}

TEST_F(BasicInfoControllerTest, NothingShownChangesNothing) {
  Path a = item("a.txt");
  pane.update(showing({a}));
  pane.update(showing({a}, -1));
  EXPECT_EQ(nameField().text(), "a.txt");
}

TEST_F(BasicInfoControllerTest, APendingNameShowsWithItsMarkerWhileTheTitleKeepsTheName) {
  Path a = item("a.txt");
  pane.update(showing({a}, 0, {{EditableField::name, std::string("b.txt")}}));
  EXPECT_EQ(nameField().text(), "b.txt");
  EXPECT_EQ(window.windowTitle(), "a.txt");
  EXPECT_TRUE(shown(control<QLabel>(pane, "nameModifiedMarker")));
}

TEST_F(BasicInfoControllerTest, TheLocationIsTheVolumeFollowedByTheFolder) {
  auto fs = testing::FaultyFileSystem::make();
  fs->volume = "Data";
  pane.update(showing({fs->path(item("a.txt").url())}));
  EXPECT_EQ(text("locationField"), QString::fromStdString("Data" + dir.path().string()));
}

// A name holding a newline shows its mark in the field and the title. The field left as shown
// stands for the name's own bytes, so Apply renames nothing; an edited name is applied.
TEST_F(BasicInfoControllerTest, AnEditedNameIsSentWhenEditingEndsAndTheNameAsShownKeepsItsBytes) {
  pane.update(showing({item("a.txt")}));
  nameField().setText("c.txt");
  nameField().setModified(true);
  emit nameField().editingFinished();
  probe.settle();
  auto edits = probe.recorder->all<FieldUpdated>();
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0].field, EditableField::name);
  EXPECT_EQ(*valueAs<std::string>(edits[0].value), "c.txt");

  const Path newline = item("new\nline.txt");
  InfoWindowState state = showing({newline});
  pane.update(state);
  const QString shown = QString::fromUtf8("new\u21B5line.txt");
  EXPECT_EQ(nameField().text(), shown);
  EXPECT_EQ(window.windowTitle(), shown);
  // Ends editing with `text` and applies the edit it made, as the window's Apply does.
  auto applyEdited = [&](const QString& text) {
    nameField().setText(text);
    nameField().setModified(true);
    emit nameField().editingFinished();
    probe.settle();
    state.react(probe.recorder->all<FieldUpdated>().back());
    auto status = AcceptChanges::apply(state, *probe.core);
    probe.settle();
    EXPECT_TRUE(status) << status.error();
  };
  applyEdited(shown);
  EXPECT_EQ(*valueAs<std::string>(probe.recorder->all<FieldUpdated>().back().value), "new\nline.txt");
  EXPECT_FALSE(state.hasChange(EditableField::name));
  EXPECT_TRUE(std::filesystem::exists(newline.url()));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "new\u21B5line.txt"));

  applyEdited("edited.txt");
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "edited.txt"));
  EXPECT_FALSE(std::filesystem::exists(newline.url()));
}

TEST_F(BasicInfoControllerTest, AnItemWithoutCreationDateDisablesTheCreatedMenu) {
  auto fs = testing::FaultyFileSystem::make();
  fs->withoutCreationDates = true;
  Path a = fs->path(item("a.txt").url());
  popup("modifiedField").setItemText(3, "earlier title");
  pane.update(showing({a}));
  EXPECT_EQ(popup("createdField").itemText(0), "No Created Date");
  EXPECT_EQ(popup("createdField").currentIndex(), 0);
  EXPECT_FALSE(popup("createdField").isEnabled());
  EXPECT_EQ(popup("modifiedField").itemText(3), "earlier title");
  // A later item with a creation date enables it again.
  pane.update(showing({item("b.txt")}));
  EXPECT_TRUE(popup("createdField").isEnabled());
}

TEST_F(BasicInfoControllerTest, APendingModifiedDateShowsInItsMenuAndInTheCopyItems) {
  Path a = item("a.txt");
  const files::Date pending = files::Files::dates(a)->modification - 48h;
  const QString text = QString::fromStdString(files::dates::string(pending));
  pane.update(showing({a}, 0, {{EditableField::modified, pending}}));
  EXPECT_EQ(popup("modifiedField").itemText(0), text);
  EXPECT_TRUE(popup("createdField").itemText(3).startsWith("Copy from Modified Date (" + text));
  EXPECT_TRUE(popup("accessedField").itemText(3).startsWith("Copy from Modified Date (" + text));
  EXPECT_TRUE(shown(control<QLabel>(pane, "modifiedModifiedMarker")));
  EXPECT_FALSE(shown(control<QLabel>(pane, "accessedModifiedMarker")));
}

TEST_F(BasicInfoControllerTest, CopyingTheCreationDateIntoTheModifiedDate) {
  Path a = item("a.txt");
  pane.update(showing({a}));
  choose(popup("modifiedField"), 3);
  probe.settle();
  auto edits = probe.recorder->all<FieldUpdated>();
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0].field, EditableField::modified);
  EXPECT_EQ(*valueAs<files::Date>(edits[0].value), *files::Files::dates(a)->creation);
  EXPECT_EQ(popup("modifiedField").currentIndex(), 0);
}

TEST_F(BasicInfoControllerTest, ChoosingTheShownDateFiresNothingAndIsLogged) {
  test::LogCapture log;
  pane.update(showing({item("a.txt")}));
  choose(popup("modifiedField"), 0);
  probe.settle();
  EXPECT_EQ(probe.recorder->count(), 0u);
  EXPECT_NE(log.text().find("skipping selection of current value"), std::string::npos);
}

TEST_F(BasicInfoControllerTest, NowSetsTheDateToTheCurrentMoment) {
  pane.update(showing({item("a.txt")}));
  const auto before = std::chrono::system_clock::now();
  choose(popup("accessedField"), 2);
  probe.settle();
  auto edits = probe.recorder->all<FieldUpdated>();
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0].field, EditableField::accessed);
  EXPECT_GE(*valueAs<files::Date>(edits[0].value), before);
}

TEST_F(BasicInfoControllerTest, DateMenusOfferTheSheetsButNoClearing) {
  pane.update(showing({item("a.txt")}));
  EXPECT_EQ(popup("createdField").itemData(5, BasicInfoController::kRepresentedKindRole).toString(), "set");
  EXPECT_EQ(popup("createdField").itemData(6, BasicInfoController::kRepresentedKindRole).toString(), "adjust");
  EXPECT_EQ(popup("accessedField").count(), 7);  // clearing an access date is not offered
}

TEST_F(BasicInfoControllerTest, AKnownSizeShowsAtOnceAndAnUnknownOneIsComputed) {
  Path folder(dir.path() / "folder");
  std::filesystem::create_directory(folder.url());
  dir.write("folder/inside.txt", "12345");
  files::knownSizes().set(folder, std::nullopt);
  pane.update(showing({folder}));
  EXPECT_EQ(text("totalSizeField"), "Calculating...");
  ASSERT_TRUE(loop.drainUntil([&] { return text("totalSizeField") != "Calculating..."; }, std::chrono::seconds(10)));
  const auto size = files::knownSizes().get(folder);
  ASSERT_TRUE(size);
  EXPECT_EQ(size->actual, 5);
  EXPECT_EQ(text("totalSizeField").toStdString(), files::FileSizeFormatter().format(*size));

  files::knownSizes().set(folder, files::FileSize{42, 4096});
  pane.update(showing({folder}));
  EXPECT_EQ(text("totalSizeField").toStdString(), files::FileSizeFormatter().format({42, 4096}));
  files::knownSizes().set(folder, std::nullopt);
}

TEST_F(BasicInfoControllerTest, UnknownKindReadsUnknownFileType) {
  auto fs = testing::FaultyFileSystem::make();
  Path a = fs->path(item("a.txt").url());
  pane.update(showing({a}));
  EXPECT_FALSE(text("kindLabel").isEmpty());
  fs->failRead = foundation::Error::posix(ENOENT);
  pane.update(showing({a}));
  EXPECT_EQ(text("kindLabel"), "Unknown File Type");
}

}  // namespace
}  // namespace ml::info
