#include "platform/foundation/Uuid.h"

#include <gtest/gtest.h>

#include <set>

namespace ml::foundation {
namespace {

TEST(UuidTest, RandomIsVersionFourWithTheStandardVariant) {
  std::set<Uuid> seen;
  for (int i = 0; i < 1000; ++i) {
    Uuid uuid = Uuid::random();
    EXPECT_EQ(uuid.version(), 4);
    EXPECT_EQ(uuid.bytes()[8] & 0xC0, 0x80);
    seen.insert(uuid);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

TEST(UuidTest, StringIsUpperCaseAndParsesBack) {
  auto parsed = Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->string(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  Uuid random = Uuid::random();
  EXPECT_EQ(Uuid::parse(random.string()), random);
}

TEST(UuidTest, ParseRefusesMalformedText) {
  for (const char* text : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
                           "E621E1F8-C36C-495A-93FC-0C247A3E6E5G", "E621E1F8+C36C-495A-93FC-0C247A3E6E5F",
                           "{E621E1F8-C36C-495A-93FC-0C247A3E6E}"})
    EXPECT_FALSE(Uuid::parse(text).has_value()) << text;
}

}  // namespace
}  // namespace ml::foundation
