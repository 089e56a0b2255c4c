// FDE search: the linear scan of a call frame section and the .eh_frame_hdr table.
#include <gtest/gtest.h>

#include "ByteWriter.h"
#include "CfiBuilder.h"
#include "ShownBytes.h"
#include "StderrCapture.h"
#include "crashreporter/unwind/DwarfFrameReader.h"
#include "crashreporter/unwind/EhFrameHeader.h"
#include "crashreporter/unwind/LocalMemoryWindow.h"

namespace ml::crash {
namespace {

using test::ByteWriter;
using test::CfiBuilder;
using test::CieSpec;
using test::FdeSpec;
using test::StderrCapture;

constexpr uint64_t kBase = 0x300000;
const tlcrash_async_byteorder_t* kLE = &tlcrash_async_byteorder_direct;

// Two CIEs, three FDEs: [0x1000,0x1010), [0x2000,0x2100) and [0x3000,0x3008).
CfiBuilder sampleSection(bool debug_frame = false) {
  CfiBuilder cfi(kBase, debug_frame);
  CieSpec cie;
  if (debug_frame) {
    cie.augmentation = "";
    cie.version = 3;
  }
  size_t a = cfi.cie(cie);
  cfi.fde(a, FdeSpec{0x1000, 0x10, {}, {}});
  size_t b = cfi.cie(cie);
  cfi.fde(b, FdeSpec{0x2000, 0x100, {}, {}});
  cfi.fde(a, FdeSpec{0x3000, 0x8, {}, {}});
  return cfi;
}

// The search over `bytes` shown through a window of kind `Window`; the sections below use absolute
// addresses, so they read the same wherever the window shows them.
template <class Window>
tlcrash_error_t find(const std::vector<uint8_t>& bytes, uint64_t pc, tlcrash_async_dwarf_fde_info_t* info,
                     bool debug_frame = false, int64_t hint = 0) {
  test::ShownBytes<Window> shown(bytes);
  dwarf_frame_reader<Window> reader;
  reader.init(&shown.window(), kLE, true, debug_frame);
  return reader.find_fde(hint, pc, info);
}

// The scan runs the same over every kind of memory window.
template <class Window>
class DwarfFindFde : public ::testing::Test {};
TYPED_TEST_SUITE(DwarfFindFde, test::MemoryWindowKinds, test::MemoryWindowName);

TYPED_TEST(DwarfFindFde, SkipsCiesAndTakesTheFdeHoldingThePc) {
  CfiBuilder cfi = sampleSection();
  cfi.terminator();
  tlcrash_async_dwarf_fde_info_t info;
  ASSERT_EQ(find<TypeParam>(cfi.bytes(), 0x2000, &info), TLCRASH_ESUCCESS);
  EXPECT_EQ(info.pc_start, 0x2000u);
  ASSERT_EQ(find<TypeParam>(cfi.bytes(), 0x20FF, &info), TLCRASH_ESUCCESS);
  EXPECT_EQ(info.pc_start, 0x2000u);
  ASSERT_EQ(find<TypeParam>(cfi.bytes(), 0x3007, &info), TLCRASH_ESUCCESS);
  EXPECT_EQ(info.pc_start, 0x3000u);
}

TYPED_TEST(DwarfFindFde, EndAddressIsExclusiveAndMissesEndAtTheTerminatorOrSectionEnd) {
  CfiBuilder terminated = sampleSection();
  terminated.terminator();
  terminated.writer().u32(0xFFFF);  // garbage after the terminator is never read
  tlcrash_async_dwarf_fde_info_t info;
  EXPECT_EQ(find<TypeParam>(terminated.bytes(), 0x1010, &info), TLCRASH_ENOTFOUND);
  CfiBuilder open = sampleSection();
  EXPECT_EQ(find<TypeParam>(open.bytes(), 0x0FFF, &info), TLCRASH_ENOTFOUND);
}

TYPED_TEST(DwarfFindFde, DebugFrameUsesAllOnesCieIds) {
  CfiBuilder cfi = sampleSection(/*debug_frame=*/true);
  tlcrash_async_dwarf_fde_info_t info;
  ASSERT_EQ(find<TypeParam>(cfi.bytes(), 0x3004, &info, true), TLCRASH_ESUCCESS);
  EXPECT_EQ(info.pc_start, 0x3000u);
}

TYPED_TEST(DwarfFindFde, HintOutsideTheSectionIsInvalid) {
  CfiBuilder cfi = sampleSection();
  tlcrash_async_dwarf_fde_info_t info;
  StderrCapture err;
  EXPECT_EQ(find<TypeParam>(cfi.bytes(), 0x1000, &info, false, static_cast<int64_t>(cfi.bytes().size())), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("FDE base address + offset falls outside the mapped range"));
  EXPECT_EQ(find<TypeParam>(cfi.bytes(), 0x1000, &info, false, -4), TLCRASH_EINVAL);
}

TYPED_TEST(DwarfFindFde, EntryRunningPastTheWindowStopsTheSearch) {
  CfiBuilder cfi = sampleSection();
  cfi.writer().u32(0x100).u32(4);  // an FDE whose body is not there
  tlcrash_async_dwarf_fde_info_t info;
  EXPECT_NE(find<TypeParam>(cfi.bytes(), 0x9999, &info), TLCRASH_ESUCCESS);
  ByteWriter truncated;
  truncated.u16(4);
  StderrCapture err;
  EXPECT_EQ(find<TypeParam>(truncated.bytes(), 0x1000, &info), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("header lies outside the mapped range"));
}

// A .eh_frame_hdr shown at `hdr_base` over the sample section at kBase.
std::vector<uint8_t> headerFor(uint64_t hdr_base, const std::vector<std::pair<uint64_t, uint64_t>>& table,
                               uint8_t table_encoding = DW_EH_PE_datarel | DW_EH_PE_sdata4) {
  ByteWriter w;
  w.u8(1).u8(DW_EH_PE_pcrel | DW_EH_PE_sdata4).u8(DW_EH_PE_udata4).u8(table_encoding);
  w.u32(static_cast<uint32_t>(kBase - (hdr_base + 4)));
  w.u32(static_cast<uint32_t>(table.size()));
  for (auto [location, fde] : table) {
    w.u32(static_cast<uint32_t>(location - hdr_base));
    w.u32(static_cast<uint32_t>(fde - hdr_base));
  }
  return w.bytes();
}

TEST(EhFrameHeader, BinarySearchFindsTheGreatestEntryNotAbovePc) {
  constexpr uint64_t hdr = kBase - 0x100;
  auto bytes = headerFor(hdr, {{0x1000, kBase + 0x10}, {0x2000, kBase + 0x20}, {0x3000, kBase + 0x30}, {0x4000, kBase + 0x40}});
  LocalMemoryWindow window(bytes.data(), hdr, bytes.size());
  eh_frame_hdr_reader<LocalMemoryWindow, uint64_t> reader(kLE);
  ASSERT_EQ(reader.init(&window), TLCRASH_ESUCCESS);
  EXPECT_EQ(reader.eh_frame_address(), kBase);
  EXPECT_EQ(reader.fde_count(), 4u);
  uint64_t fde = 0;
  EXPECT_EQ(reader.find_fde_address(0x0FFF, &fde), TLCRASH_ENOTFOUND);
  ASSERT_EQ(reader.find_fde_address(0x1000, &fde), TLCRASH_ESUCCESS);
  EXPECT_EQ(fde, kBase + 0x10);
  ASSERT_EQ(reader.find_fde_address(0x2FFF, &fde), TLCRASH_ESUCCESS);
  EXPECT_EQ(fde, kBase + 0x20);
  ASSERT_EQ(reader.find_fde_address(0x3000, &fde), TLCRASH_ESUCCESS);
  EXPECT_EQ(fde, kBase + 0x30);
  ASSERT_EQ(reader.find_fde_address(0xFFFFFF, &fde), TLCRASH_ESUCCESS);
  EXPECT_EQ(fde, kBase + 0x40);
}

TEST(EhFrameHeader, TableLeadsToTheFdeThatTheScanFinds) {
  CfiBuilder cfi = sampleSection();
  cfi.terminator();
  // Collect the FDEs' addresses by scanning, then index them.
  std::vector<std::pair<uint64_t, uint64_t>> table;
  LocalMemoryWindow section(cfi.bytes().data(), kBase, cfi.bytes().size());
  dwarf_frame_reader<LocalMemoryWindow> frames;
  frames.init(&section, kLE, true, false);
  for (uint64_t pc : {0x1000, 0x2000, 0x3000}) {
    tlcrash_async_dwarf_fde_info_t info;
    ASSERT_EQ(frames.find_fde(0, pc, &info), TLCRASH_ESUCCESS);
    table.emplace_back(pc, kBase + info.fde_offset - 4);
  }
  constexpr uint64_t hdr = kBase + 0x10000;
  auto bytes = headerFor(hdr, table);
  LocalMemoryWindow window(bytes.data(), hdr, bytes.size());
  eh_frame_hdr_reader<LocalMemoryWindow, uint64_t> reader(kLE);
  ASSERT_EQ(reader.init(&window), TLCRASH_ESUCCESS);

  uint64_t fde = 0;
  tlcrash_async_dwarf_fde_info_t info;
  ASSERT_EQ(reader.find_fde_address(0x2050, &fde), TLCRASH_ESUCCESS);
  ASSERT_EQ(frames.fde_for_pc(fde, 0x2050, &info), TLCRASH_ESUCCESS);
  EXPECT_EQ(info.pc_start, 0x2000u);
  // A pc in the gap after an entry's function is not covered by that entry's FDE.
  ASSERT_EQ(reader.find_fde_address(0x1010, &fde), TLCRASH_ESUCCESS);
  EXPECT_EQ(frames.fde_for_pc(fde, 0x1010, &info), TLCRASH_ENOTFOUND);
  // An address that holds a CIE is no FDE.
  EXPECT_EQ(frames.fde_for_pc(kBase, 0x1000, &info), TLCRASH_ENOTFOUND);
}

TEST(EhFrameHeader, TableLongerThanTheWindowIsRejected) {
  constexpr uint64_t hdr = kBase - 0x100;
  auto bytes = headerFor(hdr, {{0x1000, kBase}});
  bytes[8] = 200;  // fde_count
  LocalMemoryWindow window(bytes.data(), hdr, bytes.size());
  eh_frame_hdr_reader<LocalMemoryWindow, uint64_t> reader(kLE);
  StderrCapture err;
  EXPECT_EQ(reader.init(&window), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("The .eh_frame_hdr table of 200 entries lies outside the mapped range"));
}

TEST(EhFrameHeader, VariableSizeTableIsNotSearchable) {
  constexpr uint64_t hdr = kBase - 0x100;
  auto bytes = headerFor(hdr, {}, DW_EH_PE_uleb128);
  LocalMemoryWindow window(bytes.data(), hdr, bytes.size());
  eh_frame_hdr_reader<LocalMemoryWindow, uint64_t> reader(kLE);
  ASSERT_EQ(reader.init(&window), TLCRASH_ESUCCESS);
  EXPECT_FALSE(reader.has_table());
  EXPECT_EQ(reader.eh_frame_address(), kBase);
  uint64_t fde;
  EXPECT_EQ(reader.find_fde_address(0x1000, &fde), TLCRASH_ENOTSUP);
}

TEST(EhFrameHeader, UnknownVersionIsUnsupported) {
  auto bytes = headerFor(kBase, {});
  bytes[0] = 2;
  LocalMemoryWindow window(bytes.data(), kBase, bytes.size());
  eh_frame_hdr_reader<LocalMemoryWindow, uint64_t> reader(kLE);
  EXPECT_EQ(reader.init(&window), TLCRASH_ENOTSUP);
}

}  // namespace
}  // namespace ml::crash
