#include "shell/coding/HandOff.h"

#include <gtest/gtest.h>

namespace ml::shell {
namespace {

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(HandOffCoding, PathsAndKeysSurviveTheTrip) {
  HandOff handOff{{"/home/me/a.txt", "/tmp/with space/b"}, DropKeys{"L", ModifierKeys()}};
  auto decoded = HandOff::decode(handOff.encode());
  ASSERT_TRUE(decoded.ok()) << decoded.error();
  EXPECT_EQ(*decoded, handOff);
}

TEST(HandOffCoding, NamesThatAreNotUtf8ArriveByteForByte) {
  HandOff handOff{{"/tmp/caf\xE9 100%", "/tmp/\xC3\xA9\n"}, DropKeys{std::nullopt, ModifierKeys::shift}};
  auto encoded = handOff.encode();
  EXPECT_EQ(std::string(encoded.begin(), encoded.end()),
            "{\"paths\":[\"/tmp/caf%E9 100%25\",\"/tmp/%C3%A9%0A\"],\"keys\":{\"modifiers\":4}}");
  auto decoded = HandOff::decode(encoded);
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(*decoded, handOff);
}

TEST(HandOffCoding, DeeplyNestedMessagesAreRefusedBeforeTheyAreBuilt) {
  // A few megabytes of brackets would otherwise build a tree of hundreds of megabytes.
  const std::size_t depth = 4 * 1024 * 1024;
  std::string nested = "{\"paths\":[],\"x\":" + std::string(depth, '[') + std::string(depth, ']') + "}";
  auto decoded = HandOff::decode(bytes(nested));
  ASSERT_FALSE(decoded.ok());
  EXPECT_EQ(decoded.error().domain, kHandOffErrorDomain);
  EXPECT_NE(decoded.error().message.find("nested"), std::string::npos) << decoded.error();
  // Unknown members of modest depth are still ignored.
  EXPECT_TRUE(HandOff::decode(bytes("{\"paths\":[\"/a\"],\"x\":[[{\"y\":[1]}]]}")).ok());
}

TEST(HandOffCoding, MissingKeysMeanNoneHeld) {
  auto decoded = HandOff::decode(bytes("{\"paths\":[]}"));
  ASSERT_TRUE(decoded.ok());
  EXPECT_TRUE(decoded->paths.empty());
  EXPECT_EQ(decoded->keys, DropKeys{});
}

TEST(HandOffCoding, MalformedHandOffsAreRefused) {
  for (std::string_view bad : {"", "[]", "{}", "{\"paths\":\"/a\"}", "{\"paths\":[1]}", "{\"paths\":[\"relative\"]}",
                               "{\"paths\":[\"/a%0\"]}", "{\"paths\":[\"/a%zz\"]}", "{\"paths\":[\"/a%00b\"]}",
                               "{\"paths\":[\"\"]}", "{\"paths\":[],\"keys\":{\"modifiers\":\"x\"}}",
                               "{\"paths\":[],\"keys\":{\"modifiers\":18446744073709551615}}"}) {
    auto decoded = HandOff::decode(bytes(bad));
    EXPECT_FALSE(decoded.ok()) << bad;
    if (!decoded.ok()) {
      EXPECT_EQ(decoded.error().domain, kHandOffErrorDomain);
    }
  }
}

}  // namespace
}  // namespace ml::shell
