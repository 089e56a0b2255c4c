#include "shell/preferences/DropKeyFormatter.h"

#include <gtest/gtest.h>

namespace ml::shell {
namespace {

std::string shown(DropKeys keys) { return DropKeyFormatter::string(keys).value(); }

TEST(DropKeyFormatter, GlyphsComeInOptionControlCommandShiftOrderBeforeTheCharacters) {
  EXPECT_EQ(shown({"K", ModifierKeys({ModifierKeys::option, ModifierKeys::command})}), "\u2325\u2318 K");
  EXPECT_EQ(shown({"K", ModifierKeys(15)}), "\u2325\u2303\u2318\u21E7 K");
  EXPECT_EQ(shown({"K", ModifierKeys({ModifierKeys::command, ModifierKeys::shift})}), "\u2318\u21E7 K");
}

TEST(DropKeyFormatter, AbsentOrEmptyModifiersShowTheCharactersAlone) {
  EXPECT_EQ(shown({"K", std::nullopt}), "K");
  EXPECT_EQ(shown({"K", ModifierKeys()}), "K");
  EXPECT_EQ(shown({"K", ModifierKeys(16)}), "K");  // unknown bits have no glyph
}

TEST(DropKeyFormatter, ModifiersWithoutCharactersShowTheGlyphsAlone) {
  EXPECT_EQ(shown({std::nullopt, ModifierKeys::command}), "\u2318");
  EXPECT_EQ(shown({std::nullopt, std::nullopt}), "");
}

TEST(DropKeyFormatter, TheSpaceBarShowsAsSpace) {
  EXPECT_EQ(shown({" ", ModifierKeys()}), "space");
  EXPECT_EQ(shown({" ", ModifierKeys::shift}), "\u21E7 space");
  // Only the first space is named; several characters are joined by "+".
  EXPECT_EQ(shown({"A  B", std::nullopt}), "A+space+ +B");
}

TEST(DropKeyFormatter, NoValueGivesNoText) { EXPECT_EQ(DropKeyFormatter::string(std::nullopt), std::nullopt); }

TEST(DropKeyFormatter, CharactersSplitByCodePointNotByByte) {
  EXPECT_EQ(shown({"\u00C4\u00D6", std::nullopt}), "\u00C4+\u00D6");
  EXPECT_EQ(splitCharacters("a\xC3"), (std::vector<std::string>{"a", "\xC3"}));  // a cut-off sequence stands alone
  EXPECT_EQ(splitCharacters("\xFF\x41"), (std::vector<std::string>{"\xFF", "A"}));
}

}  // namespace
}  // namespace ml::shell
