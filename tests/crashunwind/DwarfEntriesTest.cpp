// CIE and FDE parsing over hand-built sections.
#include <gtest/gtest.h>

#include "ByteWriter.h"
#include "CfiBuilder.h"
#include "StderrCapture.h"
#include "crashreporter/unwind/DwarfCieInfo.h"
#include "crashreporter/unwind/DwarfFdeInfo.h"
#include "crashreporter/unwind/LocalMemoryWindow.h"

namespace ml::crash {
namespace {

using test::ByteWriter;
using test::CfiBuilder;
using test::CieSpec;
using test::FdeSpec;
using test::StderrCapture;

constexpr uint64_t kBase = 0x200000;
const tlcrash_async_byteorder_t* kLE = &tlcrash_async_byteorder_direct;

tlcrash_error_t parseCie(const std::vector<uint8_t>& bytes, size_t at, tlcrash_async_dwarf_cie_info_t* info) {
  LocalMemoryWindow window(bytes.data(), kBase, bytes.size());
  gnu_ehptr_reader<uint64_t> pointers(kLE);
  return tlcrash_async_dwarf_cie_info_init(info, window, kLE, &pointers, kBase + at);
}

tlcrash_error_t parseFde(const std::vector<uint8_t>& bytes, size_t at, tlcrash_async_dwarf_fde_info_t* info,
                         bool debug_frame = false) {
  LocalMemoryWindow window(bytes.data(), kBase, bytes.size());
  return tlcrash_async_dwarf_fde_info_init<uint64_t>(info, window, kLE, kBase + at, debug_frame);
}

TEST(DwarfCie, ParsesPersonalityLsdaAndPointerEncoding) {
  CfiBuilder cfi(kBase);
  CieSpec spec;
  spec.augmentation = "zPLR";
  spec.personality_encoding = DW_EH_PE_udata8;
  spec.personality = 0xCAFEF00D;
  spec.lsda_encoding = DW_EH_PE_pcrel | DW_EH_PE_sdata4;
  spec.pointer_encoding = DW_EH_PE_pcrel | DW_EH_PE_sdata4;
  spec.instructions = {0x0C, 0x07, 0x08, 0x90, 0x01};  // def_cfa rsp+8; offset r16 at cfa-8
  size_t at = cfi.cie(spec);
  tlcrash_async_dwarf_cie_info_t info;
  ASSERT_EQ(parseCie(cfi.bytes(), at, &info), TLCRASH_ESUCCESS);
  EXPECT_EQ(info.cie_offset, 4u);
  EXPECT_EQ(info.cie_id, 0u);
  EXPECT_EQ(info.cie_version, 1);
  EXPECT_EQ(info.code_alignment_factor, 1u);
  EXPECT_EQ(info.data_alignment_factor, -8);
  EXPECT_EQ(info.return_address_register, 16u);
  EXPECT_TRUE(info.has_eh_augmentation);
  EXPECT_TRUE(info.has_personality_address);
  EXPECT_EQ(info.personality_address, 0xCAFEF00Du);
  EXPECT_TRUE(info.has_lsda_encoding);
  EXPECT_EQ(info.lsda_encoding, DW_EH_PE_pcrel | DW_EH_PE_sdata4);
  EXPECT_TRUE(info.has_pointer_encoding);
  EXPECT_EQ(info.pointer_encoding, DW_EH_PE_pcrel | DW_EH_PE_sdata4);
  // length(4) id(4) version(1) "zPLR\0"(5) caf(1) daf(1) ra(1) augmentation length(1) data(1+8+1+1)
  EXPECT_EQ(info.initial_instructions_offset, 29u);
  EXPECT_EQ(info.initial_instructions_length, info.cie_length - 25);
  EXPECT_FALSE(info.signal_frame);
}

TEST(DwarfCie, UnknownAugmentationLetterStopsTheWalkButSucceeds) {
  CfiBuilder cfi(kBase);
  CieSpec spec;
  spec.augmentation = "zXR";  // the builder writes no data for 'X', one byte for 'R'
  spec.instructions = {0x0C, 0x07, 0x08};
  size_t at = cfi.cie(spec);
  tlcrash_async_dwarf_cie_info_t info;
  StderrCapture err;
  ASSERT_EQ(parseCie(cfi.bytes(), at, &info), TLCRASH_ESUCCESS);
  EXPECT_TRUE(err.contains("Unknown augmentation entry of X; terminating parsing early"));
  EXPECT_FALSE(info.has_pointer_encoding);
  // The declared data length still places the instructions: after the 'R' byte.
  EXPECT_EQ(info.initial_instructions_offset, 4u + 4 + 1 + 4 + 3 + 1 + 1);
}

TEST(DwarfCie, SignalFrameAndEmptyAugmentation) {
  CfiBuilder cfi(kBase);
  CieSpec signal;
  signal.augmentation = "zRS";
  size_t a = cfi.cie(signal);
  CieSpec plain;
  plain.augmentation = "";
  plain.version = 3;
  size_t b = cfi.cie(plain);
  tlcrash_async_dwarf_cie_info_t info;
  ASSERT_EQ(parseCie(cfi.bytes(), a, &info), TLCRASH_ESUCCESS);
  EXPECT_TRUE(info.signal_frame);
  ASSERT_EQ(parseCie(cfi.bytes(), b, &info), TLCRASH_ESUCCESS);
  EXPECT_FALSE(info.has_eh_augmentation);
  EXPECT_EQ(info.cie_version, 3);
  EXPECT_EQ(info.initial_instructions_offset, b + 4 + 4 + 1 + 1 + 3);
}

TEST(DwarfCie, VersionFourReadsAddressAndSegmentSize) {
  CfiBuilder cfi(kBase, /*debug_frame=*/true);
  CieSpec spec;
  spec.augmentation = "";
  spec.version = 4;
  size_t at = cfi.cie(spec);
  tlcrash_async_dwarf_cie_info_t info;
  ASSERT_EQ(parseCie(cfi.bytes(), at, &info), TLCRASH_ESUCCESS);
  EXPECT_EQ(info.cie_id, 0xFFFFFFFFu);
  EXPECT_EQ(info.address_size, 8);
  EXPECT_EQ(info.segment_size, 0);
}

TEST(DwarfCie, RejectsBadVersionsIdsAndAugmentations) {
  tlcrash_async_dwarf_cie_info_t info;
  {
    CfiBuilder cfi(kBase);
    CieSpec spec;
    spec.version = 2;
    cfi.cie(spec);
    StderrCapture err;
    EXPECT_EQ(parseCie(cfi.bytes(), 0, &info), TLCRASH_EINVAL);
    EXPECT_TRUE(err.contains("CIE version is not one of 1 (eh_frame) or 3 (DWARF3) or 4 (DWARF4): 2"));
  }
  {
    CfiBuilder cfi(kBase);
    CieSpec spec;
    spec.augmentation = "eh";
    cfi.cie(spec);
    StderrCapture err;
    EXPECT_EQ(parseCie(cfi.bytes(), 0, &info), TLCRASH_ENOTSUP);
    EXPECT_TRUE(err.contains("Unknown augmentation string prefix of e, cannot parse CIE"));
  }
  {
    ByteWriter w;
    w.u32(12).u32(7).u8(1).u8(0).u8(1).u8(0x78).u8(16).u8(0);
    StderrCapture err;
    EXPECT_EQ(parseCie(w.bytes(), 0, &info), TLCRASH_EINVAL);
    EXPECT_TRUE(err.contains("CIE id is not one of 0 (eh_frame) or UINT?_MAX (debug_frame): 7"));
  }
}

TEST(DwarfCie, DeclaredLengthShorterThanTheHeaderIsRejected) {
  ByteWriter w;
  w.u32(4).u32(0).u8(1).str("zR").uleb(1).sleb(-8).uleb(16).uleb(1).u8(0);
  tlcrash_async_dwarf_cie_info_t info;
  StderrCapture err;
  EXPECT_EQ(parseCie(w.bytes(), 0, &info), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("declared to be less than the actual read length"));
}

TEST(DwarfCie, SixtyFourBitFormReadsTheLongLengthAndId) {
  ByteWriter w;
  w.u32(0xFFFFFFFF).u64(0).u64(0).u8(3).str("").uleb(1).sleb(-8).uleb(16).u8(0x0C).u8(7).u8(8);
  w.bytes()[4] = static_cast<uint8_t>(w.size() - 12);
  tlcrash_async_dwarf_cie_info_t info;
  ASSERT_EQ(parseCie(w.bytes(), 0, &info), TLCRASH_ESUCCESS);
  EXPECT_EQ(info.cie_offset, 12u);
  EXPECT_EQ(info.initial_instructions_offset, 12u + 8 + 1 + 1 + 3);
  EXPECT_EQ(info.initial_instructions_length, 3u);
}

TEST(DwarfCie, HeaderOutsideTheWindowIsInvalid) {
  ByteWriter w;
  w.u16(0);
  tlcrash_async_dwarf_cie_info_t info;
  StderrCapture err;
  EXPECT_EQ(parseCie(w.bytes(), 0, &info), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("header lies outside the mapped range"));
}

TEST(DwarfFde, ParsesRangeAndInstructionsOfAPcRelativeFde) {
  CfiBuilder cfi(kBase);
  CieSpec cie;
  cie.pointer_encoding = DW_EH_PE_pcrel | DW_EH_PE_sdata4;
  size_t c = cfi.cie(cie);
  FdeSpec fde;
  fde.pc_start = kBase - 0x1000;
  fde.pc_range = 0x40;
  fde.instructions = {0x41, 0x0E, 0x10};  // advance 1; def_cfa_offset 16
  size_t f = cfi.fde(c, fde);
  tlcrash_async_dwarf_fde_info_t info;
  ASSERT_EQ(parseFde(cfi.bytes(), f, &info), TLCRASH_ESUCCESS);
  EXPECT_EQ(info.fde_offset, f + 4);
  EXPECT_EQ(info.cie_offset, c);
  EXPECT_EQ(info.pc_start, kBase - 0x1000);
  EXPECT_EQ(info.pc_end, kBase - 0x1000 + 0x40);
  // length, CIE pointer, pc_start, range (4 each), augmentation length (1).
  EXPECT_EQ(info.instructions_offset, f + 17);
  EXPECT_EQ(info.instructions_length, info.fde_length - 13);
}

TEST(DwarfFde, AugmentationDataIsSkipped) {
  CfiBuilder cfi(kBase);
  CieSpec cie;
  cie.augmentation = "zLR";
  size_t c = cfi.cie(cie);
  FdeSpec fde;
  fde.pc_start = 0x5000;
  fde.pc_range = 0x10;
  fde.augmentation_data = std::vector<uint8_t>(8, 0xAA);  // an LSDA pointer
  fde.instructions = {0x41};
  size_t f = cfi.fde(c, fde);
  tlcrash_async_dwarf_fde_info_t info;
  ASSERT_EQ(parseFde(cfi.bytes(), f, &info), TLCRASH_ESUCCESS);
  // length(4) pointer(4) start(8) range(8) augmentation length(1) data(8)
  EXPECT_EQ(info.instructions_offset, f + 33);
  EXPECT_EQ(info.instructions_length, info.fde_length - 29);
}

TEST(DwarfFde, CiePointerBeforeTheSectionIsRejected) {
  ByteWriter w;
  w.u32(20).u32(100).u64(0).u64(0);
  tlcrash_async_dwarf_fde_info_t info;
  StderrCapture err;
  EXPECT_EQ(parseFde(w.bytes(), 0, &info), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("CIE offset 0x64 would place the CIE value outside of the .eh_frame section"));
}

TEST(DwarfFde, DebugFrameCiePointerIsASectionOffset) {
  CfiBuilder cfi(kBase, /*debug_frame=*/true);
  CieSpec cie;
  cie.augmentation = "";
  cie.version = 3;
  size_t c = cfi.cie(cie);
  FdeSpec fde;
  fde.pc_start = 0x7000;
  fde.pc_range = 0x20;
  size_t f = cfi.fde(c, fde);
  tlcrash_async_dwarf_fde_info_t info;
  ASSERT_EQ(parseFde(cfi.bytes(), f, &info, /*debug_frame=*/true), TLCRASH_ESUCCESS);
  EXPECT_EQ(info.cie_offset, c);
  EXPECT_EQ(info.pc_start, 0x7000u);
  EXPECT_EQ(info.pc_end, 0x7020u);
  EXPECT_EQ(info.instructions_offset, f + 24);
}

TEST(DwarfFde, RangePastTheAddressSpaceIsRejected) {
  CfiBuilder cfi(kBase);
  size_t c = cfi.cie(CieSpec{});
  FdeSpec fde;
  fde.pc_start = UINT64_MAX - 4;
  fde.pc_range = 8;
  size_t f = cfi.fde(c, fde);
  tlcrash_async_dwarf_fde_info_t info;
  StderrCapture err;
  EXPECT_EQ(parseFde(cfi.bytes(), f, &info), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("FDE address_length + initial_location exceeds UINT64_MAX"));
}

TEST(DwarfFde, LengthShorterThanItsFieldsIsRejected) {
  CfiBuilder cfi(kBase);
  size_t c = cfi.cie(CieSpec{});
  FdeSpec fde;
  fde.pc_start = 0x1000;
  fde.pc_range = 8;
  size_t f = cfi.fde(c, fde);
  cfi.writer().patch32(f, 8);
  tlcrash_async_dwarf_fde_info_t info;
  StderrCapture err;
  EXPECT_EQ(parseFde(cfi.bytes(), f, &info), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("FDE length of 0x8declared to be less than the actual read length of 0x"));
}

}  // namespace
}  // namespace ml::crash
