#include <gtest/gtest.h>

#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "crashreporter/FieldPacker.h"

namespace ml::crash {
namespace {

using Bytes = std::vector<uint8_t>;

// Packs one field into an in-memory file and returns the bytes written; also checks that the
// counting run (no file) gives the same size.
Bytes pack(uint32_t field, tlcrash_field_type type, const void* value) {
  int fd = ::memfd_create("pack", 0);
  tlcrash_async_file file;
  tlcrash_async_file_init(&file, fd, 0);
  size_t counted = tlcrash_writer_pack(nullptr, field, type, value);
  size_t written = tlcrash_writer_pack(&file, field, type, value);
  tlcrash_async_file_flush(&file);
  Bytes bytes(static_cast<size_t>(::lseek(fd, 0, SEEK_END)));
  ::pread(fd, bytes.data(), bytes.size(), 0);
  ::close(fd);
  EXPECT_EQ(counted, written);
  EXPECT_EQ(written, bytes.size());
  return bytes;
}

TEST(FieldPacker, VarintsOfBoundaryValues) {
  uint8_t out[10];
  EXPECT_EQ(uint64_pack(0, out), 1u);
  EXPECT_EQ(out[0], 0x00);
  EXPECT_EQ(uint64_pack(300, out), 2u);
  EXPECT_EQ(Bytes(out, out + 2), (Bytes{0xAC, 0x02}));
  EXPECT_EQ(uint64_pack(UINT64_MAX, out), 10u);
  EXPECT_EQ(out[9], 0x01);
}

TEST(FieldPacker, ScalarVectors) {
  bool yes = true;
  EXPECT_EQ(pack(1, TLCRASH_TYPE_BOOL, &yes), (Bytes{0x08, 0x01}));
  uint32_t length = 300;
  EXPECT_EQ(pack(9, TLCRASH_TYPE_MESSAGE, &length), (Bytes{0x4A, 0xAC, 0x02}));
  uint64_t zero = 0;
  EXPECT_EQ(pack(16, TLCRASH_TYPE_UINT64, &zero), (Bytes{0x80, 0x01, 0x00}));
  int32_t minusOne = -1;
  EXPECT_EQ(pack(1, TLCRASH_TYPE_INT32, &minusOne),
            (Bytes{0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}));
  EXPECT_EQ(pack(1, TLCRASH_TYPE_SINT32, &minusOne), (Bytes{0x08, 0x01}));
  int64_t minusTwo = -2;
  EXPECT_EQ(pack(1, TLCRASH_TYPE_SINT64, &minusTwo), (Bytes{0x08, 0x03}));
  uint32_t enumValue = 5;
  EXPECT_EQ(pack(3, TLCRASH_TYPE_ENUM, &enumValue), (Bytes{0x18, 0x05}));
}

TEST(FieldPacker, FixedWidthFieldsCarryTheirWireType) {
  uint32_t fixed32 = 0x04030201;
  EXPECT_EQ(pack(2, TLCRASH_TYPE_FIXED32, &fixed32), (Bytes{0x15, 0x01, 0x02, 0x03, 0x04}));
  double one = 1.0;
  EXPECT_EQ(pack(1, TLCRASH_TYPE_DOUBLE, &one), (Bytes{0x09, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
}

TEST(FieldPacker, StringsAndBytesAreLengthDelimited) {
  EXPECT_EQ(pack(3, TLCRASH_TYPE_STRING, "abc"), (Bytes{0x1A, 0x03, 'a', 'b', 'c'}));
  EXPECT_EQ(pack(3, TLCRASH_TYPE_STRING, ""), (Bytes{0x1A, 0x00}));
  const uint8_t raw[] = {0x00, 0xFF};
  tlcrash_bytes bytes{2, raw};
  EXPECT_EQ(pack(4, TLCRASH_TYPE_BYTES, &bytes), (Bytes{0x22, 0x02, 0x00, 0xFF}));
}

TEST(FieldPacker, CountingRunNeedsNoFile) {
  std::string text(200, 'x');
  EXPECT_EQ(tlcrash_writer_pack(nullptr, 1, TLCRASH_TYPE_STRING, text.c_str()), 1u + 2u + 200u);
}

TEST(FieldPackerDeathTest, UnknownTypeAborts) {
  uint32_t value = 0;
  EXPECT_DEATH(tlcrash_writer_pack(nullptr, 1, static_cast<tlcrash_field_type>(17), &value), "Unhandled field type 17");
}

}  // namespace
}  // namespace ml::crash
