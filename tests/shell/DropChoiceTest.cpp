#include <gtest/gtest.h>

#include "ShellFixture.h"
#include "shell/DropActions.h"
#include "shell/DropKeyBindings.h"

namespace ml::shell {
namespace {

namespace fs = std::filesystem;

using testing::ShellTest;

class DropChoiceTest : public ShellTest {
 protected:
  void bind(const DropKeyBindings& bindings) { preferences.set("dropkeys", foundation::PlistValue(encodeDropKeyBindings(bindings))); }
  DropAction choose(std::optional<std::string> characters, ModifierKeys modifiers) {
    return chooseDropAction(DropKeys{std::move(characters), modifiers}, preferences);
  }
};

TEST_F(DropChoiceTest, NoKeyHeldUsesTheDropActionPreferenceOrInfo) {
  EXPECT_EQ(choose(std::nullopt, ModifierKeys()), DropAction::info);
  preferences.set("dropAction", "copy");
  EXPECT_EQ(choose(std::nullopt, ModifierKeys()), DropAction::copy);
  preferences.set("dropAction", "Copy");
  EXPECT_EQ(choose(std::nullopt, ModifierKeys()), DropAction::info);
}

TEST_F(DropChoiceTest, LettersAloneGiveTheirBuiltInActions) {
  EXPECT_EQ(choose("i", ModifierKeys()), DropAction::info);
  EXPECT_EQ(choose("l", ModifierKeys()), DropAction::list);
  EXPECT_EQ(choose("r", ModifierKeys()), DropAction::rename);
  EXPECT_EQ(choose("m", ModifierKeys()), DropAction::move);
  EXPECT_EQ(choose("c", ModifierKeys()), DropAction::copy);
  EXPECT_EQ(choose("g", ModifierKeys()), DropAction::group);
  EXPECT_EQ(choose(std::nullopt, ModifierKeys::command), DropAction::ask);
}

TEST_F(DropChoiceTest, StoredBindingWinsOverTheBuiltInOne) {
  bind({{DropAction::copy, DropKeys{"L", ModifierKeys()}}});
  EXPECT_EQ(choose("l", ModifierKeys()), DropAction::copy);
}

TEST_F(DropChoiceTest, OptionAndLBoundToListGiveList) {
  bind({{DropAction::list, DropKeys{"L", ModifierKeys::option}}});
  EXPECT_EQ(choose("l", ModifierKeys::option), DropAction::list);
}

TEST_F(DropChoiceTest, ShiftAndIMatchOnlyAUserBinding) {
  preferences.set("dropAction", "move");
  EXPECT_EQ(choose("i", ModifierKeys::shift), DropAction::move);
  bind({{DropAction::rename, DropKeys{"I", ModifierKeys::shift}}});
  EXPECT_EQ(choose("i", ModifierKeys::shift), DropAction::rename);
}

TEST_F(DropChoiceTest, TwoLettersHeldMatchNoBuiltInBinding) {
  EXPECT_EQ(choose("li", ModifierKeys()), DropAction::info);
}

TEST_F(DropChoiceTest, UnreadableBindingsCountAsNone) {
  preferences.set("dropkeys", foundation::PlistValue(foundation::PlistValue::Data{'{', 'x'}));
  EXPECT_EQ(choose("l", ModifierKeys()), DropAction::list);
  preferences.set("dropkeys", "not data");
  EXPECT_EQ(choose("l", ModifierKeys()), DropAction::list);
}

TEST_F(DropChoiceTest, EachSupportedDropActionFiresItsCommand) {
  delegate();
  std::vector<files::Path> items = {path("/tmp/a"), path("/tmp/b")};
  executeDropAction(delegate().reactor(), DropAction::info, items);
  executeDropAction(delegate().reactor(), DropAction::list, items);
  ASSERT_TRUE(waitFor([&] { return count(infoWindows) == 1 && count(listWindows) == 1; }));
  EXPECT_EQ(infoWindows[0]->items, items);
  EXPECT_EQ(listWindows[0]->items, items);
}

TEST_F(DropChoiceTest, UnsupportedDropActionsOpenNothing) {
  delegate();
  for (auto action : {DropAction::group, DropAction::alias, DropAction::similar, DropAction::ask}) {
    executeDropAction(delegate().reactor(), action, {path("/tmp/a")});
  }
  settle();
  EXPECT_EQ(panels->count(), 0u);
  EXPECT_EQ(count(infoWindows) + count(listWindows), 0u);
  EXPECT_TRUE(alerts->shown().empty());
}

TEST_F(DropChoiceTest, StartupActionsOpenAnEmptyListOrTheFindWindow) {
  delegate();
  executeStartupAction(delegate().reactor(), StartupAction::none);
  executeStartupAction(delegate().reactor(), StartupAction::newList);
  executeStartupAction(delegate().reactor(), StartupAction::find);
  ASSERT_TRUE(waitFor([&] { return count(listWindows) == 1 && count(findWindows) == 1; }));
  EXPECT_TRUE(listWindows[0]->items.empty());
  EXPECT_TRUE(listWindows[0]->shown);
}

}  // namespace
}  // namespace ml::shell
