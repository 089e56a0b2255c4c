#include "platform/darwin/ExtendedAttributes.h"

#include <sys/xattr.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/darwin/SizedRead.h"
#include "support/TempDir.h"

namespace ml::darwin {
namespace {

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

class ExtendedAttributesTest : public testing::Test {
 protected:
  test::TempDir dir;
  std::filesystem::path file = dir.write("item.txt", "data");
};

TEST_F(ExtendedAttributesTest, WrittenAttributeReadsBackAndIsTheUserNamespaceAttribute) {
  const Bytes value = bytesOf("\x01\x02\0\xFF hello");
  ASSERT_TRUE(setExtendedAttribute(file, value, "com.apple.FinderInfo"));
  EXPECT_EQ(readExtendedAttribute(file, "com.apple.FinderInfo").value(), value);

  // The same bytes under the Linux name.
  char raw[64];
  const ssize_t n = ::getxattr(file.c_str(), "user.com.apple.FinderInfo", raw, sizeof raw);
  ASSERT_EQ(n, static_cast<ssize_t>(value.size()));
  EXPECT_EQ(std::memcmp(raw, value.data(), value.size()), 0);

  // Replacing keeps one attribute with the new value.
  ASSERT_TRUE(setExtendedAttribute(file, bytesOf("x"), "com.apple.FinderInfo"));
  EXPECT_EQ(extendedAttribute(file, "com.apple.FinderInfo"), bytesOf("x"));
}

TEST_F(ExtendedAttributesTest, EmptyAttributeReadsAsEmptyBytesNotAbsent) {
  ASSERT_TRUE(setExtendedAttribute(file, {}, "empty"));
  auto read = readExtendedAttribute(file, "empty");
  ASSERT_TRUE(read);
  ASSERT_TRUE(read.value().has_value());
  EXPECT_TRUE(read.value()->empty());
}

TEST_F(ExtendedAttributesTest, MissingAttributeReadsAsAbsentNotAsAnError) {
  auto read = readExtendedAttribute(file, "com.apple.metadata:kMDItemFinderComment");
  ASSERT_TRUE(read);
  EXPECT_FALSE(read.value().has_value());
  EXPECT_EQ(extendedAttribute(file, "nothing"), std::nullopt);
}

TEST_F(ExtendedAttributesTest, ReadOfAMissingFileIsAPosixError) {
  auto read = readExtendedAttribute(dir.path() / "gone", "x");
  ASSERT_FALSE(read);
  EXPECT_TRUE(read.error().isPosix(ENOENT));
  EXPECT_EQ(extendedAttribute(dir.path() / "gone", "x"), std::nullopt);
}

TEST_F(ExtendedAttributesTest, RemoveDeletesAndRemovingAMissingOneReportsThePosixErrorWithItsText) {
  ASSERT_TRUE(setExtendedAttribute(file, bytesOf("v"), "doomed"));
  ASSERT_TRUE(removeExtendedAttribute(file, "doomed"));
  EXPECT_EQ(extendedAttribute(file, "doomed"), std::nullopt);

  auto again = removeExtendedAttribute(file, "doomed");
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().domain, "NSPOSIXErrorDomain");
  EXPECT_EQ(again.error().code, ENODATA);
  EXPECT_EQ(again.error().message, std::strerror(ENODATA));
}

TEST_F(ExtendedAttributesTest, WriteToAMissingFileReportsThePosixError) {
  auto status = setExtendedAttribute(dir.path() / "gone", bytesOf("v"), "x");
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(ENOENT));
  EXPECT_EQ(status.error().message, std::strerror(ENOENT));
}

TEST_F(ExtendedAttributesTest, ListShowsUserAttributesWithoutThePrefix) {
  ASSERT_TRUE(setExtendedAttribute(file, bytesOf("a"), "com.apple.FinderInfo"));
  ASSERT_TRUE(setExtendedAttribute(file, bytesOf("b"), "com.apple.ResourceFork"));
  // An attribute of another namespace (root may write trusted.*) is not one of ours.
  ::setxattr(file.c_str(), "trusted.other", "c", 1, 0);
  auto names = listExtendedAttributes(file);
  ASSERT_TRUE(names);
  auto sorted = names.value();
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{"com.apple.FinderInfo", "com.apple.ResourceFork"}));
}

TEST_F(ExtendedAttributesTest, SymbolicLinkIsFollowedToItsTarget) {
  std::filesystem::create_symlink(file, dir.path() / "link");
  ASSERT_TRUE(setExtendedAttribute(dir.path() / "link", bytesOf("via link"), "x"));
  EXPECT_EQ(extendedAttribute(file, "x"), bytesOf("via link"));
}

TEST_F(ExtendedAttributesTest, NameWithAnEmbeddedNulIsRefused) {
  auto status = setExtendedAttribute(file, bytesOf("v"), std::string_view("a\0b", 3));
  ASSERT_FALSE(status);
  EXPECT_TRUE(status.error().isPosix(EINVAL));
}

// The attribute shrinks between the size query and the read: the bytes are those the read
// returned, not a zero-padded buffer of the first size.
TEST(SizedRead, ValueThatShrankBetweenQueryAndReadIsNotPadded) {
  int calls = 0;
  auto result = sizedRead([&](uint8_t* buffer, size_t size) -> ssize_t {
    ++calls;
    if (!buffer) return 10;
    EXPECT_EQ(size, 10u);
    std::memcpy(buffer, "abcdef", 6);
    return 6;
  });
  ASSERT_TRUE(result);
  EXPECT_EQ(result.value(), bytesOf("abcdef"));
  EXPECT_EQ(calls, 2);
}

TEST(SizedRead, ValueThatGrewIsQueriedAgain) {
  int sizeQueries = 0;
  auto result = sizedRead([&](uint8_t* buffer, size_t size) -> ssize_t {
    if (!buffer) return ++sizeQueries == 1 ? 3 : 5;
    if (size < 5) {
      errno = ERANGE;
      return -1;
    }
    std::memcpy(buffer, "12345", 5);
    return 5;
  });
  ASSERT_TRUE(result);
  EXPECT_EQ(result.value(), bytesOf("12345"));
  EXPECT_EQ(sizeQueries, 2);
}

TEST(SizedRead, ValueThatNeverStopsGrowingEndsWithRangeError) {
  ssize_t size = 1;
  auto result = sizedRead([&](uint8_t* buffer, size_t) -> ssize_t {
    if (!buffer) return size++;
    errno = ERANGE;
    return -1;
  });
  ASSERT_FALSE(result);
  EXPECT_TRUE(result.error().isPosix(ERANGE));
}

}  // namespace
}  // namespace ml::darwin
