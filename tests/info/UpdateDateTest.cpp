#include "info/UpdateDate.h"

#include "InfoCommandTest.h"
#include "files/Files.h"

namespace ml::info {
namespace {

using files::Path;
using testing::FakeDateSheet;
using namespace std::chrono_literals;

class UpdateDateTest : public testing::InfoCommandTest {
 protected:
  Path item = Path(dir.write("a.txt", "x"));
};

TEST_F(UpdateDateTest, AdjustOpensTheAdjusterOnTheItemsDate) {
  show({item});
  run(std::make_shared<UpdateDate>(EditableField::modified, true));
  auto sheets = window->sheets();
  ASSERT_EQ(sheets.size(), 1u);
  EXPECT_EQ(sheets[0]->kind, FakeDateSheet::Kind::adjuster);
  EXPECT_EQ(sheets[0]->type, TimestampType::Modified);
  EXPECT_EQ(sheets[0]->date, files::Files::dates(item)->modification);
  EXPECT_TRUE(sheets[0]->ended);
}

TEST_F(UpdateDateTest, SetOpensThePickerForTheField) {
  show({item});
  run(std::make_shared<UpdateDate>(EditableField::accessed, false));
  auto sheets = window->sheets();
  ASSERT_EQ(sheets.size(), 1u);
  EXPECT_EQ(sheets[0]->kind, FakeDateSheet::Kind::picker);
  EXPECT_EQ(sheets[0]->field, EditableField::accessed);
  EXPECT_EQ(sheets[0]->date, files::Files::dates(item)->access);
}

TEST_F(UpdateDateTest, TheChosenDateBecomesAPendingEdit) {
  show({item});
  run(std::make_shared<UpdateDate>(EditableField::modified, false));
  const auto chosen = files::Files::dates(item)->modification - 24h;
  window->sheets().at(0)->callback(chosen);
  probe().settle();
  const auto state = probe().state();
  ASSERT_TRUE(state.hasChange(EditableField::modified));
  EXPECT_EQ(*valueAs<files::Date>(*state.change(EditableField::modified)), chosen);
}

TEST_F(UpdateDateTest, ChoosingTheDateTheItemHasDropsThePendingEdit) {
  show({item});
  window->probe.core->fire(FieldUpdated(EditableField::modified, files::Date{}));
  run(std::make_shared<UpdateDate>(EditableField::modified, true));
  window->sheets().at(0)->callback(files::Files::dates(item)->modification);
  probe().settle();
  EXPECT_FALSE(probe().state().hasChange(EditableField::modified));
}

TEST_F(UpdateDateTest, ASheetWithoutADateAsksForARedrawAndKeepsTheEdits) {
  show({item});
  window->probe.core->fire(FieldUpdated(EditableField::name, std::string("b.txt")));
  run(std::make_shared<UpdateDate>(EditableField::created, false));
  if (window->sheets().empty()) GTEST_SKIP() << "this file system keeps no creation dates";
  window->sheets().at(0)->callback(std::nullopt);
  probe().settle();
  EXPECT_EQ(probe().recorder->all<InterfaceInvalidated>().size(), 1u);
  EXPECT_TRUE(probe().state().hasChange(EditableField::name));
  EXPECT_FALSE(probe().state().hasChange(EditableField::created));
}

TEST_F(UpdateDateTest, TheSheetsEndIsAnnouncedOnTheGlobalStore) {
  show({item});
  run(std::make_shared<UpdateDate>(EditableField::modified, true));
  auto sheet = window->sheets().at(0);
  sheet->ended();
  settleGlobal();
  auto closed = closedWindows->controllers();
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_EQ(closed[0], sheet);
}

TEST_F(UpdateDateTest, NoCreationDateMeansNoSheet) {
  auto fs = testing::FaultyFileSystem::make();
  fs->withoutCreationDates = true;
  show({fs->path(item.url())});
  run(std::make_shared<UpdateDate>(EditableField::created, true));
  EXPECT_TRUE(window->sheets().empty());
}

TEST_F(UpdateDateTest, OtherFieldsAndVanishedItemsOpenNoSheet) {
  show({item});
  run(std::make_shared<UpdateDate>(EditableField::name, true));
  std::filesystem::remove(item.url());
  run(std::make_shared<UpdateDate>(EditableField::modified, true));
  EXPECT_TRUE(window->sheets().empty());
}

TEST_F(UpdateDateTest, AnAnswerAfterTheWindowHasGoneIsDropped) {
  show({item});
  run(std::make_shared<UpdateDate>(EditableField::modified, false));
  auto sheet = window->sheets().at(0);
  std::weak_ptr<store::Core<InfoWindowState>> store = window->probe.core;
  const auto recorder = window->probe.recorder;
  const auto recorded = recorder->all<FieldUpdated>().size();
  window.reset();  // the window and its store go
  settle();
  // The open sheet holds the store weakly: it keeps nothing of the closed window alive.
  EXPECT_TRUE(store.expired());
  sheet->callback(files::Date{});  // must not reach a store that is gone
  settle();
  EXPECT_TRUE(store.expired());
  EXPECT_EQ(recorder->all<FieldUpdated>().size(), recorded);
}

}  // namespace
}  // namespace ml::info
