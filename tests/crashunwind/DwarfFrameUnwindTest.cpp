// The DWARF frame reader over images a test describes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "ByteWriter.h"
#include "CfiBuilder.h"
#include "FixedUnwindImages.h"
#include "StderrCapture.h"
#include "crashreporter/unwind/CpuType.h"
#include "crashreporter/unwind/DwarfCfaProgram.h"
#include "crashreporter/unwind/FrameCursor.h"

namespace ml::crash {
namespace {

using test::ByteWriter;
using test::CfiBuilder;
using test::CieSpec;
using test::FdeSpec;
using test::FixedUnwindImages;
using test::StderrCapture;

constexpr uint64_t kFunction = 0x401000;

// One function at kFunction of 0x10 bytes: push rbp at +0 (CFA rsp+16, rbp saved from +1 on).
std::vector<uint8_t> section(bool debug_frame) {
  CfiBuilder cfi(0, debug_frame);
  CieSpec cie;
  cie.instructions = {DW_CFA_def_cfa, 7, 8, DW_CFA_offset | 16, 1};
  if (debug_frame) {
    cie.augmentation = "";
    cie.version = 3;
  }
  size_t c = cfi.cie(cie);
  FdeSpec fde;
  fde.pc_start = kFunction;
  fde.pc_range = 0x10;
  fde.instructions = {DW_CFA_advance_loc | 1, DW_CFA_def_cfa_offset, 16, DW_CFA_offset | 6, 2};
  cfi.fde(c, fde);
  cfi.terminator();
  return cfi.bytes();
}

tlcrash_unwind_image_t imageWith(const std::vector<uint8_t>* eh_frame, const std::vector<uint8_t>* debug_frame) {
  tlcrash_unwind_image_t image{};
  image.header_address = 0x400000;
  image.name = "fixture";
  image.cpu_type = kTLCrashCpuTypeX86_64;
  image.is_64bit = true;
  image.byteorder = &tlcrash_async_byteorder_direct;
  if (eh_frame != nullptr) image.eh_frame = {reinterpret_cast<uint64_t>(eh_frame->data()), eh_frame->size()};
  if (debug_frame != nullptr) image.debug_frame = {reinterpret_cast<uint64_t>(debug_frame->data()), debug_frame->size()};
  return image;
}

tlcrash_async_thread_state_t frameAt(uint64_t pc, const void* sp) {
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeX86_64);
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_REG_IP, pc);
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_REG_SP, reinterpret_cast<uint64_t>(sp));
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_REG_FP, 0x1234);
  return state;
}

std::array<uint64_t, 4> g_stack = {0x7FF0 /* saved rbp */, 0x405555 /* return address */, 0, 0};

TEST(DwarfFrameUnwind, EhFrameGivesTheCallersRegisters) {
  auto eh = section(false);
  FixedUnwindImages images;
  images.add(0x400000, 0x410000, imageWith(&eh, nullptr));
  auto current = frameAt(kFunction + 5, g_stack.data());
  tlcrash_async_thread_state_t next;
  ASSERT_EQ(tlframe_cursor_read_dwarf_unwind(tlcrash_async_task_self(), &images, &current, nullptr, &next), TLFRAME_ESUCCESS);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_REG_IP), 0x405555u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_REG_FP), 0x7FF0u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_REG_SP), reinterpret_cast<uint64_t>(&g_stack[2]));
  EXPECT_EQ(images.readers(), 0);
}

TEST(DwarfFrameUnwind, DebugFrameIsUsedWhenThereIsNoEhFrame) {
  auto debug = section(true);
  FixedUnwindImages images;
  images.add(0x400000, 0x410000, imageWith(nullptr, &debug));
  auto current = frameAt(kFunction + 5, g_stack.data());
  tlcrash_async_thread_state_t next;
  ASSERT_EQ(tlframe_cursor_read_dwarf_unwind(tlcrash_async_task_self(), &images, &current, nullptr, &next), TLFRAME_ESUCCESS);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_REG_IP), 0x405555u);
}

TEST(DwarfFrameUnwind, ImageWithoutCallFrameSectionsHasNoFrames) {
  FixedUnwindImages images;
  images.add(0x400000, 0x410000, imageWith(nullptr, nullptr));
  auto current = frameAt(kFunction + 5, g_stack.data());
  tlcrash_async_thread_state_t next;
  EXPECT_EQ(tlframe_cursor_read_dwarf_unwind(tlcrash_async_task_self(), &images, &current, nullptr, &next), TLFRAME_ENOFRAME);
}

TEST(DwarfFrameUnwind, PcOutsideEveryFdeOrImageIsNotSupported) {
  auto eh = section(false);
  FixedUnwindImages images;
  images.add(0x400000, 0x410000, imageWith(&eh, nullptr));
  tlcrash_async_thread_state_t next;
  auto outside = frameAt(kFunction + 0x10, g_stack.data());
  EXPECT_EQ(tlframe_cursor_read_dwarf_unwind(tlcrash_async_task_self(), &images, &outside, nullptr, &next), TLFRAME_ENOTSUP);
  auto elsewhere = frameAt(0x900000, g_stack.data());
  StderrCapture err;
  EXPECT_EQ(tlframe_cursor_read_dwarf_unwind(tlcrash_async_task_self(), &images, &elsewhere, nullptr, &next), TLFRAME_ENOTSUP);
  EXPECT_TRUE(err.contains("Could not find a loaded image for the current frame pc: 0x900000"));
  EXPECT_EQ(images.readers(), 0);
}

TEST(DwarfFrameUnwind, ReturnAddressAtTheEndOfItsFunctionBelongsToThatFunction) {
  // A call that is the function's last instruction returns to the first byte after it.
  auto eh = section(false);
  FixedUnwindImages images;
  images.add(0x400000, 0x410000, imageWith(&eh, nullptr));
  auto caller = frameAt(kFunction + 0x10, g_stack.data());
  auto callee = frameAt(0x408000, g_stack.data());
  tlcrash_async_thread_state_t next;
  ASSERT_EQ(tlframe_cursor_read_dwarf_unwind(tlcrash_async_task_self(), &images, &caller, &callee, &next), TLFRAME_ESUCCESS);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_REG_IP), 0x405555u);
}

TEST(DwarfFrameUnwind, RowOfACallersFrameIsTheOneInForceAtTheCall) {
  // A return address of +1 means the call was the instruction at +0, before the push: the row
  // that starts at +1 is not yet in force for this frame.
  auto eh = section(false);
  FixedUnwindImages images;
  images.add(0x400000, 0x410000, imageWith(&eh, nullptr));
  std::array<uint64_t, 2> stack = {0x406666, 0};
  auto caller = frameAt(kFunction + 1, stack.data());
  auto callee = frameAt(0x408000, stack.data());
  tlcrash_async_thread_state_t next;
  ASSERT_EQ(tlframe_cursor_read_dwarf_unwind(tlcrash_async_task_self(), &images, &caller, &callee, &next), TLFRAME_ESUCCESS);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_REG_IP), 0x406666u) << "CFA rsp+8, not rsp+16";
}

TEST(DwarfFrameUnwind, FrameWithoutPcIsCorrupt) {
  FixedUnwindImages images;
  auto current = frameAt(kFunction, g_stack.data());
  tlcrash_async_thread_state_clear_reg(&current, TLCRASH_REG_IP);
  tlcrash_async_thread_state_t next;
  EXPECT_EQ(tlframe_cursor_read_dwarf_unwind(tlcrash_async_task_self(), &images, &current, nullptr, &next), TLFRAME_EBADFRAME);
}

TEST(DwarfFrameUnwind, EhFrameHeaderTableLeadsToTheFde) {
  auto eh = section(false);
  // The FDE follows the CIE; find it by its length field.
  uint32_t cie_length;
  std::memcpy(&cie_length, eh.data(), 4);
  uint64_t fde_address = reinterpret_cast<uint64_t>(eh.data()) + 4 + cie_length;
  // The header's table is relative to the header itself, so its buffer is placed first.
  std::vector<uint8_t> header(4 + 8 + 4 + 16);
  const auto hdr_address = reinterpret_cast<uint64_t>(header.data());
  ByteWriter w;
  w.u8(1).u8(DW_EH_PE_udata8).u8(DW_EH_PE_udata4).u8(DW_EH_PE_datarel | DW_EH_PE_sdata8);
  w.u64(reinterpret_cast<uint64_t>(eh.data())).u32(1);
  w.u64(kFunction - hdr_address).u64(fde_address - hdr_address);
  ASSERT_EQ(w.size(), header.size());
  std::copy(w.bytes().begin(), w.bytes().end(), header.begin());
  auto image = imageWith(&eh, nullptr);
  image.eh_frame_hdr = {hdr_address, header.size()};

  FixedUnwindImages images;
  images.add(0x400000, 0x410000, image);
  auto current = frameAt(kFunction + 5, g_stack.data());
  tlcrash_async_thread_state_t next;
  ASSERT_EQ(tlframe_cursor_read_dwarf_unwind(tlcrash_async_task_self(), &images, &current, nullptr, &next), TLFRAME_ESUCCESS);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_REG_IP), 0x405555u);
  // The table's only entry does not cover a pc past the function: no FDE.
  auto outside = frameAt(kFunction + 0x20, g_stack.data());
  EXPECT_EQ(tlframe_cursor_read_dwarf_unwind(tlcrash_async_task_self(), &images, &outside, nullptr, &next), TLFRAME_ENOTSUP);
}

}  // namespace
}  // namespace ml::crash
