#include "info/CloneCodes.h"

#include "InfoCommandTest.h"
#include "files/MutableAppleAttributes.h"

namespace ml::info {
namespace {

using files::Path;

class CloneCodesTest : public testing::InfoCommandTest {
 protected:
  static void setCodes(const Path& path, std::optional<std::string> type, std::optional<std::string> creator) {
    files::MutableAppleAttributes record(*path.fileSystem().finderAttributes(path));
    record.setTypeCode(std::move(type));
    record.setCreatorCode(std::move(creator));
    ASSERT_TRUE(path.fileSystem().updateFinderAttributes(path, record));
  }
  // Runs the command and answers its panel with `chosen`.
  void clone(std::shared_ptr<CloneCodes> command, const Path& chosen) {
    run(command);
    ASSERT_EQ(panels->count(), 1u);
    EXPECT_EQ(panels->request(0).kind, shell::testing::FakeOpenPanels::Request::Kind::file);
    EXPECT_TRUE(panels->request(0).allowDirectories);
    panels->choose(0, {chosen.url()});
    probe().settle();
  }
  std::optional<std::string> pendingCode(EditableField field) {
    const auto state = probe().state();
    auto value = state.change(field);
    if (!value) return "<none pending>";
    auto text = valueAs<std::string>(*value);
    return text ? std::optional(*text) : std::nullopt;
  }

  Path item = Path(dir.write("shown.txt", "x"));
  Path source = Path(dir.write("source.pdf", "x"));
};

TEST_F(CloneCodesTest, TheCreatorOfTheChosenFileBecomesAPendingEdit) {
  setCodes(source, "PDF ", "prvw");
  show({item});
  clone(std::make_shared<CloneCreator>(), source);
  EXPECT_EQ(pendingCode(EditableField::creatorCode), "prvw");
  EXPECT_EQ(pendingCode(EditableField::typeCode), "<none pending>");
}

TEST_F(CloneCodesTest, TheFileTypeOfTheChosenFileBecomesAPendingEdit) {
  setCodes(source, "PDF ", "prvw");
  show({item});
  clone(std::make_shared<CloneFileType>(), source);
  EXPECT_EQ(pendingCode(EditableField::typeCode), "PDF ");
  EXPECT_EQ(pendingCode(EditableField::creatorCode), "<none pending>");
}

TEST_F(CloneCodesTest, BothCodesArriveTogether) {
  setCodes(source, "PDF ", "prvw");
  show({item});
  clone(std::make_shared<CloneTypeAndCreator>(), source);
  EXPECT_EQ(probe().recorder->all<FieldsUpdated>().size(), 1u);
  EXPECT_EQ(pendingCode(EditableField::typeCode), "PDF ");
  EXPECT_EQ(pendingCode(EditableField::creatorCode), "prvw");
}

TEST_F(CloneCodesTest, AMissingCreatorIsAPendingRemoval) {
  setCodes(item, "TEXT", "ttxt");
  show({item});
  clone(std::make_shared<CloneCreator>(), source);
  ASSERT_TRUE(probe().state().hasChange(EditableField::creatorCode));
  EXPECT_EQ(pendingCode(EditableField::creatorCode), std::nullopt);
}

TEST_F(CloneCodesTest, CloningAMissingCodeOntoAnItemWithoutOneIsNoChange) {
  show({item});
  clone(std::make_shared<CloneCreator>(), source);
  EXPECT_EQ(probe().recorder->all<FieldUpdated>().size(), 1u);
  EXPECT_FALSE(probe().state().hasChange(EditableField::creatorCode));
}

TEST_F(CloneCodesTest, ACancelledPanelChangesNothing) {
  show({item});
  run(std::make_shared<CloneTypeAndCreator>());
  ASSERT_EQ(panels->count(), 1u);
  panels->choose(0, {});
  probe().settle();
  EXPECT_TRUE(probe().recorder->all<FieldUpdated>().empty());
  EXPECT_TRUE(probe().recorder->all<FieldsUpdated>().empty());
}

}  // namespace
}  // namespace ml::info
