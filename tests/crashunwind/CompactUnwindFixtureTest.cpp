// The compact unwind reader over a section that clang and ld64.lld built from
// fixtures/compact_unwind_fixture.s: lookups land on the real functions, and each function's
// encoding, applied to a stack laid out as its prologue leaves it, gives back the caller.
#include <gtest/gtest.h>

#include <vector>

#include "FixedUnwindImages.h"
#include "crashreporter/unwind/CompactUnwindEntry.h"
#include "crashreporter/unwind/CompactUnwindReader.h"
#include "crashreporter/unwind/CpuType.h"
#include "crashreporter/unwind/DwarfFdeInfo.h"
#include "crashreporter/unwind/FrameCursor.h"
#include "crashreporter/unwind/LocalMemoryWindow.h"
#include "fixtures/CompactUnwindFixture.h"

namespace ml::crash {
namespace {

namespace fx = test::compact_fixture;
using test::FixedUnwindImages;

const uint64_t kHeader = reinterpret_cast<uint64_t>(fx::kImage);

struct Found {
  tlcrash_error_t status;
  uint64_t function = 0;
  uint32_t encoding = 0;
  tlcrash_async_cfe_entry_t entry{};
};

Found lookup(uint64_t function_offset, uint64_t into = 1) {
  LocalMemoryWindow section(fx::kImage + fx::kUnwindInfoOffset, kHeader + fx::kUnwindInfoOffset, fx::kUnwindInfoSize);
  tlcrash_async_cfe_reader_t<LocalMemoryWindow> reader;
  Found found{tlcrash_async_cfe_reader_init(&reader, &section, kTLCrashCpuTypeX86_64)};
  if (found.status != TLCRASH_ESUCCESS) return found;
  found.status = tlcrash_async_cfe_reader_find_pc(&reader, function_offset + into, &found.function, &found.encoding);
  if (found.status == TLCRASH_ESUCCESS) {
    found.status = tlcrash_async_cfe_entry_init(&found.entry, kTLCrashCpuTypeX86_64, found.encoding);
  }
  return found;
}

TEST(CompactUnwindFixture, EveryFunctionIsFoundAtItsStart) {
  for (uint64_t function : {fx::kFrameFunction, fx::kWideFrameFunction, fx::kFramelessFunction, fx::kWideFramelessFunction,
                            fx::kLargeFrameFunction}) {
    Found found = lookup(function, 0);
    ASSERT_EQ(found.status, TLCRASH_ESUCCESS) << std::hex << function;
    EXPECT_EQ(found.function, function);
    found = lookup(function, 1);
    EXPECT_EQ(found.function, function);
  }
  EXPECT_EQ(lookup(fx::kFramelessFunction, static_cast<uint64_t>(-1)).function, fx::kWideFrameFunction);
}

// A stack in this process laid out as a function's prologue leaves it; `words` from the stack
// pointer up, and the register state the prologue leaves.
struct LiveFrame {
  std::vector<uint64_t> words;
  tlcrash_async_thread_state_t state;

  explicit LiveFrame(size_t count) : words(count, 0) {
    tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeX86_64);
    tlcrash_async_thread_state_set_reg(&state, TLCRASH_REG_SP, address(0));
  }
  uint64_t address(size_t index) const { return reinterpret_cast<uint64_t>(words.data() + index); }
};

tlcrash_async_thread_state_t unwind(LiveFrame& frame, uint64_t function, uint64_t into) {
  tlcrash_unwind_image_t image{};
  image.header_address = kHeader;
  image.name = "fixture.dylib";
  image.cpu_type = kTLCrashCpuTypeX86_64;
  image.is_64bit = true;
  image.byteorder = &tlcrash_async_byteorder_direct;
  image.compact_unwind = {kHeader + fx::kUnwindInfoOffset, fx::kUnwindInfoSize};
  FixedUnwindImages images;
  images.add(kHeader + fx::kTextOffset, kHeader + fx::kTextOffset + fx::kTextSize, image);
  tlcrash_async_thread_state_set_reg(&frame.state, TLCRASH_REG_IP, kHeader + function + into);
  tlcrash_async_thread_state_t next;
  EXPECT_EQ(tlframe_cursor_read_compact_unwind(tlcrash_async_task_self(), &images, &frame.state, nullptr, &next), TLFRAME_ESUCCESS);
  return next;
}

TEST(CompactUnwindFixture, FramePointerFunctionRestoresItsPushes) {
  // push rbp; mov rbp, rsp; push rbx; push r12  =>  [sp] r12, [sp+8] rbx, [sp+16] rbp, [sp+24] ret
  Found found = lookup(fx::kFrameFunction);
  ASSERT_EQ(found.entry.type, TLCRASH_ASYNC_CFE_TYPE_FRAME_PTR);
  LiveFrame frame(6);
  frame.words = {0x1212, 0xB0B0, 0x7FFF8000, 0x40CA11, 0, 0};
  tlcrash_async_thread_state_set_reg(&frame.state, TLCRASH_REG_FP, frame.address(2));
  auto caller = unwind(frame, fx::kFrameFunction, 8);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_REG_IP), 0x40CA11u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_REG_SP), frame.address(4));
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_REG_FP), 0x7FFF8000u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_X86_64_RBX), 0xB0B0u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_X86_64_R12), 0x1212u);
}

TEST(CompactUnwindFixture, FramelessFunctionRestoresItsPushesAboveItsLocals) {
  // push rbx; push r14; sub rsp, 24  =>  [sp..sp+24) locals, [sp+24] r14, [sp+32] rbx, [sp+40] ret
  Found found = lookup(fx::kFramelessFunction);
  ASSERT_EQ(found.entry.type, TLCRASH_ASYNC_CFE_TYPE_FRAMELESS_IMMD);
  EXPECT_EQ(found.entry.stack_offset, 48);
  LiveFrame frame(8);
  frame.words = {1, 2, 3, 0x1414, 0xB0B0, 0x40CA22, 0, 0};
  auto caller = unwind(frame, fx::kFramelessFunction, 10);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_REG_IP), 0x40CA22u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_REG_SP), frame.address(6));
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_X86_64_R14), 0x1414u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_X86_64_RBX), 0xB0B0u);
}

TEST(CompactUnwindFixture, LargeFrameReadsItsStackSizeFromTheFunctionsCode) {
  // push r15; sub rsp, 70000  =>  [sp+70000] r15, [sp+70008] ret
  Found found = lookup(fx::kLargeFrameFunction);
  ASSERT_EQ(found.entry.type, TLCRASH_ASYNC_CFE_TYPE_FRAMELESS_INDIRECT);
  LiveFrame frame(70000 / 8 + 4);
  frame.words[70000 / 8] = 0xF0F0;
  frame.words[70000 / 8 + 1] = 0x40CA33;
  auto caller = unwind(frame, fx::kLargeFrameFunction, 10);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_REG_IP), 0x40CA33u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_REG_SP), frame.address(70000 / 8 + 2));
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_X86_64_R15), 0xF0F0u);
}

TEST(CompactUnwindFixture, WideFramesRestoreAllFourRegisters) {
  // push rbp; mov rbp, rsp; push r15; push r14; push r12; push rbx
  LiveFrame frame(8);
  frame.words = {0xB0B0, 0x1212, 0x1414, 0x1515, 0x7FFF8000, 0x40CA55, 0, 0};
  tlcrash_async_thread_state_set_reg(&frame.state, TLCRASH_REG_FP, frame.address(4));
  auto caller = unwind(frame, fx::kWideFrameFunction, 12);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_REG_IP), 0x40CA55u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_X86_64_RBX), 0xB0B0u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_X86_64_R12), 0x1212u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_X86_64_R14), 0x1414u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_X86_64_R15), 0x1515u);

  // push r15; push r14; push r12; push rbx; push rax (a 16-byte aligned frame without locals)
  LiveFrame frameless(8);
  frameless.words = {0xAAAA, 0xB0B0, 0x1212, 0x1414, 0x1515, 0x40CA66, 0, 0};
  caller = unwind(frameless, fx::kWideFramelessFunction, 10);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_REG_IP), 0x40CA66u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_REG_SP), frameless.address(6));
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_X86_64_RBX), 0xB0B0u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_X86_64_R12), 0x1212u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_X86_64_R14), 0x1414u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&caller, TLCRASH_X86_64_R15), 0x1515u);
}

TEST(CompactUnwindFixture, CompactAndDwarfReadersAgreeOnEveryFunction) {
  // The compact entries of the Mach-O image against the DWARF call frame information the
  // assembler wrote from the same directives into the ELF build: for the same frame, both readers
  // must produce the same caller.
  tlcrash_unwind_image_t macho{};
  macho.header_address = kHeader;
  macho.name = "fixture.dylib";
  macho.cpu_type = kTLCrashCpuTypeX86_64;
  macho.is_64bit = true;
  macho.byteorder = &tlcrash_async_byteorder_direct;
  macho.compact_unwind = {kHeader + fx::kUnwindInfoOffset, fx::kUnwindInfoSize};

  // The ELF .eh_frame's pc-relative addresses resolve to its functions when the section sits at
  // its link-time distance from them: `elf_base` plays the load address.
  const uint64_t elf_base = reinterpret_cast<uint64_t>(fx::kElfEhFrame) - fx::kElfEhFrameAddress;
  tlcrash_unwind_image_t elf = macho;
  elf.name = "fixture.so";
  elf.compact_unwind = {0, 0};
  elf.eh_frame = {reinterpret_cast<uint64_t>(fx::kElfEhFrame), sizeof(fx::kElfEhFrame)};

  FixedUnwindImages images;
  images.add(kHeader + fx::kTextOffset, kHeader + fx::kTextOffset + fx::kTextSize, macho);
  images.add(elf_base + fx::kElfFrameFunction, elf_base + fx::kElfLargeFrameFunction + 0x20, elf);

  struct Case {
    uint64_t macho_function;
    uint64_t elf_function;
    uint64_t into;   // the nop after the prologue
    size_t fp_word;  // index of the frame record, or SIZE_MAX
  };
  const Case cases[] = {{fx::kFrameFunction, fx::kElfFrameFunction, 8, 2},
                        {fx::kWideFrameFunction, fx::kElfWideFrameFunction, 12, 4},
                        {fx::kFramelessFunction, fx::kElfFramelessFunction, 10, SIZE_MAX},
                        {fx::kWideFramelessFunction, fx::kElfWideFramelessFunction, 10, SIZE_MAX},
                        {fx::kLargeFrameFunction, fx::kElfLargeFrameFunction, 10, SIZE_MAX}};
  for (const Case& c : cases) {
    LiveFrame frame(70000 / 8 + 8);
    for (size_t i = 0; i < frame.words.size(); ++i) frame.words[i] = 0x500000 + i;
    if (c.fp_word != SIZE_MAX) tlcrash_async_thread_state_set_reg(&frame.state, TLCRASH_REG_FP, frame.address(c.fp_word));
    tlcrash_async_thread_state_t by_compact, by_dwarf;
    tlcrash_async_thread_state_set_reg(&frame.state, TLCRASH_REG_IP, kHeader + c.macho_function + c.into);
    ASSERT_EQ(tlframe_cursor_read_compact_unwind(tlcrash_async_task_self(), &images, &frame.state, nullptr, &by_compact), TLFRAME_ESUCCESS);
    tlcrash_async_thread_state_set_reg(&frame.state, TLCRASH_REG_IP, elf_base + c.elf_function + c.into);
    ASSERT_EQ(tlframe_cursor_read_dwarf_unwind(tlcrash_async_task_self(), &images, &frame.state, nullptr, &by_dwarf), TLFRAME_ESUCCESS);
    for (uint32_t reg : {uint32_t{TLCRASH_REG_IP}, uint32_t{TLCRASH_REG_SP}, uint32_t{TLCRASH_REG_FP}, uint32_t{TLCRASH_X86_64_RBX},
                         uint32_t{TLCRASH_X86_64_R12}, uint32_t{TLCRASH_X86_64_R14}, uint32_t{TLCRASH_X86_64_R15}}) {
      EXPECT_EQ(tlcrash_async_thread_state_get_reg(&by_compact, reg), tlcrash_async_thread_state_get_reg(&by_dwarf, reg))
          << std::hex << "function 0x" << c.macho_function << std::dec << " register " << reg;
    }
  }
}

}  // namespace
}  // namespace ml::crash
