#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ByteWriter.h"
#include "StderrCapture.h"
#include "crashreporter/unwind/DwarfPrimitives.h"
#include "crashreporter/unwind/GnuEhPointerReader.h"
#include "crashreporter/unwind/LocalMemoryWindow.h"

namespace ml::crash {
namespace {

using test::ByteWriter;
using test::StderrCapture;

constexpr uint64_t kBase = 0x40000;

LocalMemoryWindow windowOf(const std::vector<uint8_t>& bytes) { return LocalMemoryWindow(bytes.data(), kBase, bytes.size()); }

TEST(DwarfLeb128, TenByteUlebDecodesAndElevenBytesAreRefused) {
  std::vector<uint8_t> ten = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01};
  auto window = windowOf(ten);
  uint64_t value = 0, size = 0;
  ASSERT_EQ(tlcrash_async_dwarf_read_uleb128(window, kBase, 0, &value, &size), TLCRASH_ESUCCESS);
  EXPECT_EQ(value, UINT64_MAX);
  EXPECT_EQ(size, 10u);

  std::vector<uint8_t> eleven(10, 0x80);
  eleven.push_back(0x01);
  auto window11 = windowOf(eleven);
  StderrCapture err;
  EXPECT_EQ(tlcrash_async_dwarf_read_uleb128(window11, kBase, 0, &value, &size), TLCRASH_ENOTSUP);
  EXPECT_TRUE(err.contains("ULEB128 is larger than the maximum supported size of 64 bits"));
}

TEST(DwarfLeb128, UnterminatedValueAtWindowEndIsInvalid) {
  std::vector<uint8_t> bytes = {0x80, 0x80};
  auto window = windowOf(bytes);
  uint64_t value, size;
  StderrCapture err;
  EXPECT_EQ(tlcrash_async_dwarf_read_uleb128(window, kBase, 0, &value, &size), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("ULEB128 value did not terminate within mapped memory range"));
}

TEST(DwarfLeb128, SlebExtendsTheSign) {
  std::vector<uint8_t> bytes = {0x7F, 0x3F, 0x80, 0x7F};
  auto window = windowOf(bytes);
  int64_t value = 0;
  uint64_t size = 0;
  ASSERT_EQ(tlcrash_async_dwarf_read_sleb128(window, kBase, 0, &value, &size), TLCRASH_ESUCCESS);
  EXPECT_EQ(value, -1);
  ASSERT_EQ(tlcrash_async_dwarf_read_sleb128(window, kBase, 1, &value, &size), TLCRASH_ESUCCESS);
  EXPECT_EQ(value, 63);
  ASSERT_EQ(tlcrash_async_dwarf_read_sleb128(window, kBase + 2, 0, &value, &size), TLCRASH_ESUCCESS);
  EXPECT_EQ(value, -128);
  EXPECT_EQ(size, 2u);
}

TEST(DwarfLeb128, TaskReadersReadLiveMemoryAndRefuseOverflow) {
  std::vector<uint8_t> bytes = {0xE5, 0x8E, 0x26};  // 624485
  uint64_t value = 0, size = 0;
  ASSERT_EQ(tlcrash_async_dwarf_read_task_uleb128(tlcrash_async_task_self(), reinterpret_cast<uint64_t>(bytes.data()), 0, &value, &size),
            TLCRASH_ESUCCESS);
  EXPECT_EQ(value, 624485u);
  EXPECT_EQ(size, 3u);
  StderrCapture err;
  EXPECT_EQ(tlcrash_async_dwarf_read_task_uleb128(tlcrash_async_task_self(), UINT64_MAX, 1, &value, &size), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("Applying the  offset of 0x1 to base address ffffffffffffffff exceeds TL_VM_ADDRESS_MAX"));
  int64_t signed_value = 0;
  EXPECT_EQ(tlcrash_async_dwarf_read_task_sleb128(tlcrash_async_task_self(), 0, 0, &signed_value, &size), TLCRASH_EINVAL);
}

TEST(DwarfUintmax, ReadsTheFourWidthsAndRefusesOthers) {
  ByteWriter w;
  w.u8(0xAB).u16(0x1234).u32(0xDEADBEEF).u64(0x0102030405060708);
  auto window = windowOf(w.bytes());
  uint64_t value = 0;
  ASSERT_EQ(tlcrash_async_dwarf_read_uintmax64(window, &tlcrash_async_byteorder_direct, kBase, 0, 1, &value), TLCRASH_ESUCCESS);
  EXPECT_EQ(value, 0xABu);
  ASSERT_EQ(tlcrash_async_dwarf_read_uintmax64(window, &tlcrash_async_byteorder_direct, kBase, 1, 2, &value), TLCRASH_ESUCCESS);
  EXPECT_EQ(value, 0x1234u);
  ASSERT_EQ(tlcrash_async_dwarf_read_uintmax64(window, &tlcrash_async_byteorder_direct, kBase, 3, 4, &value), TLCRASH_ESUCCESS);
  EXPECT_EQ(value, 0xDEADBEEFu);
  ASSERT_EQ(tlcrash_async_dwarf_read_uintmax64(window, &tlcrash_async_byteorder_swapped, kBase, 7, 8, &value), TLCRASH_ESUCCESS);
  EXPECT_EQ(value, 0x0807060504030201u);
  StderrCapture err;
  EXPECT_EQ(tlcrash_async_dwarf_read_uintmax64(window, &tlcrash_async_byteorder_direct, kBase, 0, 3, &value), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("Unhandled data width 3"));
  EXPECT_EQ(tlcrash_async_dwarf_read_uintmax64(window, &tlcrash_async_byteorder_direct, kBase, 10, 8, &value), TLCRASH_EINVAL);
}

TEST(GnuEhPointer, OmitIsNotFoundWithoutReading) {
  LocalMemoryWindow window(nullptr, kBase, 0);
  gnu_ehptr_reader<uint64_t> reader(&tlcrash_async_byteorder_direct);
  uint64_t value, size;
  StderrCapture err;
  EXPECT_EQ(reader.read(window, kBase, 0, DW_EH_PE_omit, &value, &size), TLCRASH_ENOTFOUND);
  EXPECT_TRUE(err.contains("Skipping decoding of DW_EH_PE_omit pointer"));
}

TEST(GnuEhPointer, UnsupportedBasesAndFormatsAreRefused) {
  ByteWriter w;
  w.u64(0);
  auto window = windowOf(w.bytes());
  gnu_ehptr_reader<uint64_t> reader(&tlcrash_async_byteorder_direct);
  uint64_t value, size;
  StderrCapture err;
  EXPECT_EQ(reader.read(window, kBase, 0, 0x60, &value, &size), TLCRASH_ENOTSUP);
  EXPECT_EQ(reader.read(window, kBase, 0, 0x70, &value, &size), TLCRASH_ENOTSUP);
  EXPECT_TRUE(err.contains("Unsupported pointer base encoding of 0x60"));
  EXPECT_EQ(reader.read(window, kBase, 0, 0x05, &value, &size), TLCRASH_ENOTSUP);
  EXPECT_TRUE(err.contains("Unknown pointer encoding of type 0x5"));
  EXPECT_EQ(reader.read(window, kBase, 0, DW_EH_PE_datarel | DW_EH_PE_sdata4, &value, &size), TLCRASH_ENOTSUP);
  EXPECT_TRUE(err.contains("Cannot decode DW_EH_PE_datarel value with TLCRASH_ASYNC_DWARF_INVALID_BASE_ADDR data_base"));
  EXPECT_EQ(reader.read(window, kBase, 0, DW_EH_PE_aligned, &value, &size), TLCRASH_ENOTSUP);
}

TEST(GnuEhPointer, PcRelativeValueIsAddedToItsOwnAddress) {
  ByteWriter w;
  w.u32(0).u32(static_cast<uint32_t>(-16));
  auto window = windowOf(w.bytes());
  gnu_ehptr_reader<uint64_t> reader(&tlcrash_async_byteorder_direct);
  uint64_t value = 0, size = 0;
  ASSERT_EQ(reader.read(window, kBase, 4, DW_EH_PE_pcrel | DW_EH_PE_sdata4, &value, &size), TLCRASH_ESUCCESS);
  EXPECT_EQ(value, kBase + 4 - 16);
  EXPECT_EQ(size, 4u);
}

TEST(GnuEhPointer, IndirectPointerIsReadFromTheTask) {
  // A pc-relative value at address A that points at a slot holding the real pointer, both shown
  // at their real addresses.
  struct {
    int32_t encoded;
    uint32_t padding;
    uint64_t slot;
  } memory{0, 0, 0x1122334455667788};
  auto at = reinterpret_cast<uint64_t>(&memory.encoded);
  memory.encoded = static_cast<int32_t>(reinterpret_cast<uint64_t>(&memory.slot) - at);
  auto window = LocalMemoryWindow::ofLocal(&memory.encoded, sizeof(memory.encoded));
  gnu_ehptr_reader<uint64_t> reader(&tlcrash_async_byteorder_direct);
  uint64_t value = 0, size = 0;
  ASSERT_EQ(reader.read(window, at, 0, DW_EH_PE_indirect | DW_EH_PE_pcrel | DW_EH_PE_sdata4, &value, &size), TLCRASH_ESUCCESS);
  EXPECT_EQ(value, 0x1122334455667788u);
  EXPECT_EQ(size, 4u);
}

TEST(GnuEhPointer, FormatsDecodeWithTheirWidthsAndSigns) {
  ByteWriter w;
  w.u16(0xFFFE).u32(0xFFFFFFF0).u64(UINT64_MAX - 1).uleb(300).sleb(-300).u32(0x12345678).u32(0x9ABCDEF0);
  auto window = windowOf(w.bytes());
  gnu_ehptr_reader<uint64_t> r64(&tlcrash_async_byteorder_direct);
  gnu_ehptr_reader<uint32_t> r32(&tlcrash_async_byteorder_direct);
  uint64_t v = 0, size = 0;
  uint32_t v32 = 0;
  ASSERT_EQ(r64.read(window, kBase, 0, DW_EH_PE_udata2, &v, &size), TLCRASH_ESUCCESS);
  EXPECT_EQ(v, 0xFFFEu);
  ASSERT_EQ(r64.read(window, kBase, 0, DW_EH_PE_sdata2, &v, &size), TLCRASH_ESUCCESS);
  EXPECT_EQ(v, static_cast<uint64_t>(-2));
  ASSERT_EQ(r64.read(window, kBase, 2, DW_EH_PE_sdata4, &v, &size), TLCRASH_ESUCCESS);
  EXPECT_EQ(v, static_cast<uint64_t>(-16));
  ASSERT_EQ(r32.read(window, kBase, 6, DW_EH_PE_udata8, &v32, &size), TLCRASH_ESUCCESS);
  EXPECT_EQ(v32, 0xFFFFFFFEu) << "the 32-bit form keeps the low 32 bits";
  ASSERT_EQ(r64.read(window, kBase, 14, DW_EH_PE_uleb128, &v, &size), TLCRASH_ESUCCESS);
  EXPECT_EQ(v, 300u);
  EXPECT_EQ(size, 2u);
  ASSERT_EQ(r64.read(window, kBase, 16, DW_EH_PE_sleb128, &v, &size), TLCRASH_ESUCCESS);
  EXPECT_EQ(v, static_cast<uint64_t>(-300));
  ASSERT_EQ(r32.read(window, kBase, 18, DW_EH_PE_absptr, &v32, &size), TLCRASH_ESUCCESS);
  EXPECT_EQ(v32, 0x12345678u);
  EXPECT_EQ(size, 4u);
  ASSERT_EQ(r64.read(window, kBase, 18, DW_EH_PE_absptr, &v, &size), TLCRASH_ESUCCESS);
  EXPECT_EQ(v, 0x9ABCDEF012345678u);
  StderrCapture err;
  EXPECT_EQ(r64.read(window, kBase, 20, DW_EH_PE_absptr, &v, &size), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("Failed to read value at 0x"));
}

TEST(GnuEhPointer, AlignedValueIsReadAtTheNextWordOfItsImageAddress) {
  ByteWriter w;
  w.u8(0xEE).zeros(3).u32(0x11111111).u64(0x2222222233333333);
  auto window = windowOf(w.bytes());
  gnu_ehptr_reader<uint64_t> reader(&tlcrash_async_byteorder_direct);
  // The section sits at image address 0x1004: offset 4 is 8-aligned in the image.
  reader.set_frame_section_base(kBase, 0x1004);
  uint64_t v = 0, size = 0;
  ASSERT_EQ(reader.read(window, kBase, 1, DW_EH_PE_aligned, &v, &size), TLCRASH_ESUCCESS);
  EXPECT_EQ(v, 0x3333333311111111u) << "offset 1 + a gap of 3 = offset 4";
  EXPECT_EQ(size, 11u);
}

}  // namespace
}  // namespace ml::crash
