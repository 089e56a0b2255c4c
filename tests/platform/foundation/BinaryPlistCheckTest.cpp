#include "platform/foundation/BinaryPlistCheck.h"

#include <gtest/gtest.h>

#include "platform/foundation/PropertyList.h"

namespace ml::foundation {
namespace {

// Builds a binary property list of `objects` (each its encoded bytes, references one byte wide)
// with object `top` at the top.
std::vector<std::uint8_t> bplist(const std::vector<std::vector<std::uint8_t>>& objects, std::uint8_t top = 0) {
  std::vector<std::uint8_t> out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
  std::vector<std::uint8_t> offsets;
  for (const auto& object : objects) {
    offsets.push_back(static_cast<std::uint8_t>(out.size()));
    out.insert(out.end(), object.begin(), object.end());
  }
  std::uint8_t table = static_cast<std::uint8_t>(out.size());
  out.insert(out.end(), offsets.begin(), offsets.end());
  std::vector<std::uint8_t> trailer(32, 0);
  trailer[6] = 1;   // offset width
  trailer[7] = 1;   // reference width
  trailer[15] = static_cast<std::uint8_t>(objects.size());
  trailer[23] = top;
  trailer[31] = table;
  out.insert(out.end(), trailer.begin(), trailer.end());
  return out;
}

TEST(BinaryPlistCheckTest, AcceptsWhatWeWrite) {
  PlistValue value(PlistValue::Dictionary{{"a", PlistValue(PlistValue::Array{PlistValue(1), PlistValue("x")})},
                                          {"b", PlistValue("x")}});
  auto bytes = PropertyList::toBinary(value);
  ASSERT_TRUE(bytes.ok());
  EXPECT_EQ(checkBinaryPlist(*bytes), "");
}

TEST(BinaryPlistCheckTest, AcceptsSharedStringKeys) {
  // {"k": ["k"]}, the key object reused as a value and referenced from two levels.
  auto bytes = bplist({{0xD1, 1, 2}, {0x51, 'k'}, {0xA1, 1}});
  EXPECT_EQ(checkBinaryPlist(bytes), "");
  EXPECT_TRUE(PropertyList::parse(bytes).ok());
}

TEST(BinaryPlistCheckTest, RefusesReferenceCycles) {
  auto bytes = bplist({{0xA1, 1}, {0xA1, 0}});
  EXPECT_EQ(checkBinaryPlist(bytes), "reference cycle");
  EXPECT_FALSE(PropertyList::parse(bytes).ok());
  EXPECT_EQ(checkBinaryPlist(bplist({{0xA1, 0}})), "reference cycle");
}

TEST(BinaryPlistCheckTest, RefusesReferencesAndOffsetsOutOfRange) {
  EXPECT_EQ(checkBinaryPlist(bplist({{0xA1, 7}})), "reference out of range");
  auto bytes = bplist({{0xA0}});
  bytes[bytes.size() - 32 - 1] = 200;  // the only offset points past the objects
  EXPECT_EQ(checkBinaryPlist(bytes), "object offset out of range");
  EXPECT_EQ(checkBinaryPlist(bplist({{0xA0}}, 3)), "top object out of range");
}

TEST(BinaryPlistCheckTest, RefusesLengthsPastTheObjectArea) {
  EXPECT_EQ(checkBinaryPlist(bplist({{0x5F, 0x10, 0xFF, 'a'}})), "truncated string or data");
  EXPECT_EQ(checkBinaryPlist(bplist({{0xAF, 0x13, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}})),
            "truncated container");
}

TEST(BinaryPlistCheckTest, RefusesNonStringDictionaryKeys) {
  EXPECT_EQ(checkBinaryPlist(bplist({{0xD1, 1, 1}, {0x10, 5}})), "dictionary key is not a string");
}

TEST(BinaryPlistCheckTest, RefusesDeepNestingAndExponentialExpansion) {
  std::vector<std::vector<std::uint8_t>> chain;
  for (int i = 0; i < 40; ++i) chain.push_back({0xA1, static_cast<std::uint8_t>(i + 1)});
  chain.push_back({0xA0});
  EXPECT_EQ(checkBinaryPlist(bplist(chain), BinaryPlistLimits{16, 1000}), "nested too deeply");
  EXPECT_EQ(checkBinaryPlist(bplist(chain), BinaryPlistLimits{64, 1000}), "");

  // Each level holds the next one twice: 2^40 nodes once expanded, from 41 objects.
  std::vector<std::vector<std::uint8_t>> doubling;
  for (int i = 0; i < 40; ++i)
    doubling.push_back({0xA2, static_cast<std::uint8_t>(i + 1), static_cast<std::uint8_t>(i + 1)});
  doubling.push_back({0x10, 1});
  EXPECT_EQ(checkBinaryPlist(bplist(doubling)), "expands into too many objects");
  EXPECT_FALSE(PropertyList::parse(bplist(doubling)).ok());
}

}  // namespace
}  // namespace ml::foundation

namespace ml::foundation {
namespace {

TEST(BinaryPlistCheckTest, RefusesStringsHoldingNul) {
  EXPECT_EQ(checkBinaryPlist(bplist({{0x53, 'a', 0, 'b'}})), "string holds a NUL character");
  EXPECT_EQ(checkBinaryPlist(bplist({{0x62, 0, 'a', 0, 0}})), "string holds a NUL character");
  EXPECT_EQ(checkBinaryPlist(bplist({{0x62, 0, 'a', 0x4E, 0x2D}})), "");
}

}  // namespace
}  // namespace ml::foundation
