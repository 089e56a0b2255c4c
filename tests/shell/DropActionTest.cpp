#include "shell/DropAction.h"

#include <gtest/gtest.h>

#include <sstream>

#include "shell/StartupAction.h"

namespace ml::shell {
namespace {

DropKeys keys(std::optional<std::string> characters, std::optional<ModifierKeys> modifiers) {
  return DropKeys{std::move(characters), modifiers};
}

TEST(DropActionDefaults, SingleLetterWithEmptyModifiersGivesItsAction) {
  EXPECT_EQ(defaultAction(keys("i", ModifierKeys())), DropAction::info);
  EXPECT_EQ(defaultAction(keys("L", ModifierKeys())), DropAction::list);
  EXPECT_EQ(defaultAction(keys("r", ModifierKeys())), DropAction::rename);
  EXPECT_EQ(defaultAction(keys("M", ModifierKeys())), DropAction::move);
  EXPECT_EQ(defaultAction(keys("c", ModifierKeys())), DropAction::copy);
  EXPECT_EQ(defaultAction(keys("G", ModifierKeys())), DropAction::group);
  EXPECT_EQ(defaultAction(keys("a", ModifierKeys())), DropAction::alias);
  EXPECT_EQ(defaultAction(keys("S", ModifierKeys())), DropAction::similar);
}

TEST(DropActionDefaults, LetterNeedsModifiersPresentAndEmpty) {
  EXPECT_EQ(defaultAction(keys("I", std::nullopt)), std::nullopt);
  EXPECT_EQ(defaultAction(keys("I", ModifierKeys::shift)), std::nullopt);
  EXPECT_EQ(defaultAction(keys("I", ModifierKeys::command)), std::nullopt);
}

TEST(DropActionDefaults, CommandAloneAsks) {
  EXPECT_EQ(defaultAction(keys(std::nullopt, ModifierKeys::command)), DropAction::ask);
  EXPECT_EQ(defaultAction(keys(std::nullopt, ModifierKeys({ModifierKeys::command, ModifierKeys::shift}))), std::nullopt);
  EXPECT_EQ(defaultAction(keys(std::nullopt, std::nullopt)), std::nullopt);
  EXPECT_EQ(defaultAction(keys(std::nullopt, ModifierKeys())), std::nullopt);
}

TEST(DropActionDefaults, SeveralCharactersOrOtherKeysGiveNothing) {
  EXPECT_EQ(defaultAction(keys("ab", ModifierKeys())), std::nullopt);
  EXPECT_EQ(defaultAction(keys("LI", ModifierKeys())), std::nullopt);
  EXPECT_EQ(defaultAction(keys("x", ModifierKeys())), std::nullopt);
  EXPECT_EQ(defaultAction(keys("", ModifierKeys())), std::nullopt);
}

TEST(DropActionDefaults, BuiltInKeysAreTheInitialsAndCommandForAsk) {
  EXPECT_EQ(defaultKey(DropAction::info), keys("I", std::nullopt));
  EXPECT_EQ(defaultKey(DropAction::similar), keys("S", std::nullopt));
  EXPECT_EQ(defaultKey(DropAction::ask), keys(std::nullopt, ModifierKeys::command));
}

TEST(DropActionValues, TagsFollowDeclarationOrder) {
  EXPECT_EQ(dropActionFromTag(0), DropAction::info);
  EXPECT_EQ(dropActionFromTag(4), DropAction::copy);
  EXPECT_EQ(dropActionFromTag(8), DropAction::ask);
  EXPECT_EQ(dropActionFromTag(9), std::nullopt);
  EXPECT_EQ(dropActionFromTag(-1), std::nullopt);
}

TEST(DropActionValues, RawValuesAreCaseSensitiveCaseNames) {
  for (DropAction action : kAllDropActions) EXPECT_EQ(dropActionFromRawValue(rawValue(action)), action);
  EXPECT_EQ(dropActionFromRawValue("Info"), std::nullopt);
  EXPECT_EQ(dropActionFromRawValue(""), std::nullopt);
  std::ostringstream printed;
  printed << DropAction::list;
  EXPECT_EQ(printed.str(), "list");
}

TEST(DropActionValues, OnlyTheFirstFiveAreCarriedOut) {
  EXPECT_TRUE(isSupported(DropAction::copy));
  EXPECT_FALSE(isSupported(DropAction::group));
  EXPECT_FALSE(isSupported(DropAction::ask));
}

TEST(StartupActionValues, RawValuesRoundTripAndOthersAreAbsent) {
  for (auto action : {StartupAction::none, StartupAction::newList, StartupAction::find}) {
    EXPECT_EQ(startupActionFromRawValue(rawValue(action)), action);
  }
  EXPECT_EQ(startupActionFromRawValue("newlist"), std::nullopt);
}

}  // namespace
}  // namespace ml::shell
