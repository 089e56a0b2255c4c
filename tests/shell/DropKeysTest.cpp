#include "shell/coding/DropKeys.h"

#include <gtest/gtest.h>

#include <sstream>

#include "shell/DropKeyBindings.h"
#include "shell/coding/ModifierKeys.h"

namespace ml::shell {
namespace {

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(ModifierKeysMembers, IterationOrderIsOptionControlCommandShift) {
  EXPECT_EQ(ModifierKeys(15).members(),
            (std::vector<ModifierKeys>{ModifierKeys::option, ModifierKeys::control, ModifierKeys::command,
                                       ModifierKeys::shift}));
  EXPECT_TRUE(ModifierKeys(16).members().empty());
  EXPECT_EQ(ModifierKeys(5).members(), (std::vector<ModifierKeys>{ModifierKeys::command, ModifierKeys::shift}));
}

TEST(ModifierKeysMembers, PlatformKeysMapCtrlToCommandAltToOptionMetaToControl) {
  appkit::PlatformModifiers flags;
  flags.control = true;
  EXPECT_EQ(ModifierKeys::fromPlatform(flags), ModifierKeys::command);
  flags = {};
  flags.alt = true;
  EXPECT_EQ(ModifierKeys::fromPlatform(flags), ModifierKeys::option);
  flags = {};
  flags.meta = true;
  EXPECT_EQ(ModifierKeys::fromPlatform(flags), ModifierKeys::control);
  flags = {true, true, true, true};
  EXPECT_EQ(ModifierKeys::fromPlatform(flags).rawValue(), 15);
  EXPECT_TRUE(ModifierKeys::fromPlatform({}).isEmpty());
}

TEST(DropKeysCoding, AbsentFieldsAreNotWritten) {
  EXPECT_EQ(DropKeys{}.toJson().dump(), "{}");
  EXPECT_EQ((DropKeys{"L", ModifierKeys::option}).toJson().dump(), "{\"characters\":\"L\",\"modifiers\":2}");
}

TEST(DropKeysCoding, ModifiersAloneDecodeWithAbsentCharacters) {
  auto keys = DropKeys::fromJson(nlohmann::json::parse("{\"modifiers\":5}"));
  ASSERT_TRUE(keys.ok());
  EXPECT_EQ(keys->characters, std::nullopt);
  EXPECT_EQ(keys->modifiers, ModifierKeys({ModifierKeys::command, ModifierKeys::shift}));
}

TEST(DropKeysCoding, WrongMemberTypesAreErrors) {
  EXPECT_FALSE(DropKeys::fromJson(nlohmann::json::parse("{\"characters\":5}")).ok());
  EXPECT_FALSE(DropKeys::fromJson(nlohmann::json::parse("{\"modifiers\":\"5\"}")).ok());
  EXPECT_FALSE(DropKeys::fromJson(nlohmann::json::parse("{\"modifiers\":1.5}")).ok());
  EXPECT_FALSE(DropKeys::fromJson(nlohmann::json::parse("[]")).ok());
}

TEST(DropKeysCoding, EqualityTellsAbsentFromEmptyModifiers) {
  EXPECT_NE((DropKeys{"I", std::nullopt}), (DropKeys{"I", ModifierKeys()}));
  EXPECT_EQ((DropKeys{"I", ModifierKeys()}), (DropKeys{"I", ModifierKeys(0)}));
  EXPECT_EQ((DropKeys{"l", ModifierKeys()}).upperCased(), (DropKeys{"L", ModifierKeys()}));
}

TEST(DropKeysCoding, UpperCasingCoversLettersBeyondAscii) {
  EXPECT_EQ((DropKeys{"\xC3\xA4", ModifierKeys()}).upperCased(), (DropKeys{"\xC3\x84", ModifierKeys()}));  // ä -> Ä
  EXPECT_EQ((DropKeys{"i", ModifierKeys()}).upperCased(), (DropKeys{"I", ModifierKeys()}));
  EXPECT_EQ((DropKeys{" ", ModifierKeys()}).upperCased(), (DropKeys{" ", ModifierKeys()}));
  EXPECT_EQ((DropKeys{"\xFF", ModifierKeys()}).upperCased(), (DropKeys{"\xFF", ModifierKeys()}));  // not UTF-8: kept
}

TEST(DropKeysCoding, PrintedFormNamesBothFields) {
  std::ostringstream printed;
  printed << DropKeys{"L", ModifierKeys({ModifierKeys::option, ModifierKeys::shift})} << ' ' << DropKeys{};
  EXPECT_EQ(printed.str(),
            "DropKeys(characters: \"L\", modifiers: [option, shift]) DropKeys(characters: nil, modifiers: nil)");
}

TEST(DropKeyBindingsCoding, StoredArrayDecodesToAMapOfActions) {
  auto bindings = decodeDropKeyBindings(
      bytes("[\"list\",{\"characters\":\"L\",\"modifiers\":2},\"info\",{\"characters\":\"X\"}]"));
  ASSERT_TRUE(bindings.ok()) << bindings.error();
  ASSERT_EQ(bindings->size(), 2u);
  EXPECT_EQ(bindings->at(DropAction::list), (DropKeys{"L", ModifierKeys::option}));
  EXPECT_EQ(bindings->at(DropAction::info), (DropKeys{"X", std::nullopt}));
}

TEST(DropKeyBindingsCoding, EncodingRoundTripsInDeclarationOrder) {
  DropKeyBindings bindings = {{DropAction::copy, DropKeys{"K", ModifierKeys()}},
                              {DropAction::info, DropKeys{std::nullopt, ModifierKeys::control}}};
  auto data = encodeDropKeyBindings(bindings);
  EXPECT_EQ(std::string(data.begin(), data.end()),
            "[\"info\",{\"modifiers\":8},\"copy\",{\"characters\":\"K\",\"modifiers\":0}]");
  EXPECT_EQ(*decodeDropKeyBindings(data), bindings);
  auto none = encodeDropKeyBindings({});
  EXPECT_EQ(std::string(none.begin(), none.end()), "[]");
}

TEST(DropKeyBindingsCoding, MalformedDataIsAnError) {
  for (std::string_view bad : {"", "{", "{}", "[\"list\"]", "[\"jump\",{}]", "[\"list\",null]", "[5,{}]",
                               "[\"list\",{\"characters\":1}]", "[\"list\",{}", "\xFF\xFE",
                               "[\"list\",{\"modifiers\":9223372036854775808}]"}) {
    auto decoded = decodeDropKeyBindings(bytes(bad));
    EXPECT_FALSE(decoded.ok()) << bad;
    if (!decoded.ok()) {
      EXPECT_EQ(decoded.error().domain, kDropKeysErrorDomain);
    }
  }
}

TEST(DropKeyBindingsCoding, OlderSpaceWordsReadAsTheSpaceBarAndStayReadAlike) {
  // The pane writes back what it read; each read must give the same bindings again.
  auto bindings = decodeDropKeyBindings(bytes("[\"copy\",{\"characters\":\"spacespace\",\"modifiers\":0}]"));
  ASSERT_TRUE(bindings.ok()) << bindings.error();
  EXPECT_EQ(bindings->at(DropAction::copy), (DropKeys{"  ", ModifierKeys()}));
  EXPECT_EQ(*decodeDropKeyBindings(encodeDropKeyBindings(*bindings)), *bindings);
  auto deep = decodeDropKeyBindings(bytes(std::string(100, '[') + std::string(100, ']')));
  ASSERT_FALSE(deep.ok());
  EXPECT_EQ(deep.error().domain, kDropKeysErrorDomain);
}

TEST(DropKeyBindingsChoice, HeldCharactersAreUpperCasedAndModifiersMustMatchExactly) {
  DropKeyBindings bindings = {{DropAction::list, DropKeys{"L", ModifierKeys::option}}};
  EXPECT_EQ(boundAction(bindings, DropKeys{"l", ModifierKeys::option}), DropAction::list);
  EXPECT_EQ(boundAction(bindings, DropKeys{"l", ModifierKeys()}), std::nullopt);
  EXPECT_EQ(boundAction(bindings, DropKeys{"l", std::nullopt}), std::nullopt);
}

TEST(DropKeyBindingsChoice, EqualBindingsResolveInDeclarationOrder) {
  auto bindings = decodeDropKeyBindings(
      bytes("[\"copy\",{\"characters\":\"Q\",\"modifiers\":0},\"rename\",{\"characters\":\"Q\",\"modifiers\":0},"
            "\"list\",{\"characters\":\"Q\",\"modifiers\":0}]"));
  ASSERT_TRUE(bindings.ok());
  EXPECT_EQ(boundAction(*bindings, DropKeys{"q", ModifierKeys()}), DropAction::list);
}

}  // namespace
}  // namespace ml::shell
