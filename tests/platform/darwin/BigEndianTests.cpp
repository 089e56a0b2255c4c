#include "platform/darwin/BigEndian.h"

#include <gtest/gtest.h>

#include <vector>

namespace ml::darwin {
namespace {

TEST(IntegerFromBytes, ByteOrderDecidesWhichByteIsMostSignificant) {
  const std::vector<uint8_t> bytes = {0x01, 0x02};
  EXPECT_EQ(int16FromBytes(bytes, ByteOrder::bigEndian), 258);
  EXPECT_EQ(int16FromBytes(bytes, ByteOrder::littleEndian), 513);
  const std::vector<uint8_t> four = {0xFF, 0xFF, 0xFF, 0xFE};
  EXPECT_EQ(int32FromBytes(four), -2);
}

TEST(IntegerFromBytes, ShortDataReadsOnlyWhatIsThere) {
  EXPECT_EQ(int16FromBytes({}), 0);
  EXPECT_EQ(int32FromBytes({}), 0);
  // Only the one byte inside the span may be read (ASan would catch more).
  auto one = std::make_unique<uint8_t[]>(1);
  one[0] = 0x01;
  EXPECT_EQ(int16FromBytes(std::span<const uint8_t>(one.get(), 1)), 0x0100);
  EXPECT_EQ(int32FromBytes(std::span<const uint8_t>(one.get(), 1), ByteOrder::littleEndian), 1);
}

TEST(CheckedReaders, AnswerNothingForFieldsPastTheEnd) {
  const std::vector<uint8_t> bytes = {0x00, 0x01, 0x02, 0x03, 0x04};
  EXPECT_EQ(readU16BE(bytes, 3), 0x0304);
  EXPECT_EQ(readU16BE(bytes, 4), std::nullopt);
  EXPECT_EQ(readU32BE(bytes, 1), 0x01020304u);
  EXPECT_EQ(readU32BE(bytes, 2), std::nullopt);
  EXPECT_EQ(readU24BE(bytes, 2), 0x020304u);
  EXPECT_EQ(readU8(bytes, 5), std::nullopt);
  EXPECT_EQ(readI16BE(std::vector<uint8_t>{0xFF, 0xFF}, 0), -1);
  EXPECT_EQ(readU32BE(bytes, SIZE_MAX - 1), std::nullopt);  // offset + width would overflow
}

}  // namespace
}  // namespace ml::darwin
