// The compact unwind reader over hand-built sections: the two-level lookup, entry decoding and
// application.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "CompactUnwindBuilder.h"
#include "FixedUnwindImages.h"
#include "StderrCapture.h"
#include "crashreporter/unwind/CompactUnwindEntry.h"
#include "crashreporter/unwind/CompactUnwindReader.h"
#include "crashreporter/unwind/CpuType.h"
#include "crashreporter/unwind/FrameCursor.h"
#include "crashreporter/unwind/LocalMemoryWindow.h"

namespace ml::crash {
namespace {

using test::CompactUnwindBuilder;
using test::FixedUnwindImages;
using test::StderrCapture;

constexpr uint32_t kFrameless24RbxR12 = 0x02030000 | (2u << 10);  // mode 2, size 3 words, 2 registers, permutation 0

struct Lookup {
  tlcrash_error_t status;
  uint64_t function = 0;
  uint32_t encoding = 0;
};

Lookup find(const std::vector<uint8_t>& section, uint64_t pc, uint32_t cpu = kTLCrashCpuTypeX86_64) {
  LocalMemoryWindow window(section.data(), 0x1000, section.size());
  tlcrash_async_cfe_reader_t<LocalMemoryWindow> reader;
  Lookup result{tlcrash_async_cfe_reader_init(&reader, &window, cpu)};
  if (result.status != TLCRASH_ESUCCESS) return result;
  result.status = tlcrash_async_cfe_reader_find_pc(&reader, pc, &result.function, &result.encoding);
  return result;
}

CompactUnwindBuilder twoPages() {
  CompactUnwindBuilder b;
  b.common = {0x01000000, 0x02010000};
  b.pages.push_back({0x1000, false, {{0x1000, 0xA}, {0x1100, 0xB}, {0x1200, 0xC}}, {}});
  b.pages.push_back({0x2000, true, {{0x2000, 0}, {0x2040, 1}, {0x2080, 2}, {0x20C0, 3}}, {0x0D, 0x0E}});
  b.sentinel = 0x3000;
  return b;
}

TEST(CompactUnwindReader, InitChecksCpuHeaderAndVersion) {
  auto section = twoPages().build();
  StderrCapture err;
  EXPECT_EQ(find(section, 0x1000, 18).status, TLCRASH_ENOTSUP);
  EXPECT_TRUE(err.contains("Unsupported CPU type: 18"));
  std::vector<uint8_t> short_section(section.begin(), section.begin() + 20);
  EXPECT_EQ(find(short_section, 0x1000).status, TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("Could not map the unwind info section header"));
  auto v2 = twoPages();
  v2.version = 2;
  EXPECT_EQ(find(v2.build(), 0x1000).status, TLCRASH_ENOTSUP);
  EXPECT_TRUE(err.contains("Unsupported CFE version: 2"));
}

TEST(CompactUnwindReader, RegularPageFindsTheFunctionHoldingThePc) {
  auto section = twoPages().build();
  Lookup at = find(section, 0x1100);
  ASSERT_EQ(at.status, TLCRASH_ESUCCESS);
  EXPECT_EQ(at.function, 0x1100u);
  EXPECT_EQ(at.encoding, 0xBu);
  Lookup before = find(section, 0x10FF);
  ASSERT_EQ(before.status, TLCRASH_ESUCCESS);
  EXPECT_EQ(before.function, 0x1000u);
  EXPECT_EQ(find(section, 0x1FFF).encoding, 0xCu);
}

TEST(CompactUnwindReader, PcBelowTheFirstFunctionIsNotFound) {
  auto section = twoPages().build();
  StderrCapture err;
  EXPECT_EQ(find(section, 0x0FFF).status, TLCRASH_ENOTFOUND);
  EXPECT_TRUE(err.contains("Could not find a first level CFE entry for pc=fff"));
}

TEST(CompactUnwindReader, CompressedPageSelectsCommonThenOwnEncodings) {
  auto section = twoPages().build();
  EXPECT_EQ(find(section, 0x2000).encoding, 0x01000000u);
  EXPECT_EQ(find(section, 0x2041).encoding, 0x02010000u);
  Lookup own = find(section, 0x2080);
  ASSERT_EQ(own.status, TLCRASH_ESUCCESS);
  EXPECT_EQ(own.encoding, 0x0Du) << "index equal to the common count is the page's first own encoding";
  EXPECT_EQ(own.function, 0x2080u);
  Lookup last = find(section, 0x2FFF);
  EXPECT_EQ(last.function, 0x20C0u);
  EXPECT_EQ(last.encoding, 0x0Eu);
}

TEST(CompactUnwindReader, EncodingIndexPastThePageTableIsInvalid) {
  auto b = twoPages();
  b.pages[1].entries.push_back({0x2100, 9});
  StderrCapture err;
  EXPECT_EQ(find(b.build(), 0x2100).status, TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("Encoding index lies outside the second level encoding table"));
}

TEST(CompactUnwindReader, TablesOutsideTheSectionAreInvalid) {
  auto section = twoPages().build();
  StderrCapture err;
  auto bad_common = section;
  bad_common[8] = 0xFF;  // common count
  EXPECT_EQ(find(bad_common, 0x1000).status, TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("The declared common table lies outside the mapped CFE range"));
  auto bad_index = section;
  bad_index[24] = 0xFF;  // index count
  EXPECT_EQ(find(bad_index, 0x1000).status, TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("The declared entries table lies outside the mapped CFE range"));
  auto bad_page = section;
  bad_page[28 + 8 + 4] = 0xF0;  // first index entry's page offset
  EXPECT_EQ(find(bad_page, 0x1000).status, TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("The second-level page header lies outside the mapped CFE range"));
  std::vector<uint8_t> truncated(section.begin(), section.end() - 4);
  EXPECT_EQ(find(truncated, 0x2080).status, TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("CFE compressed encodings table lies outside the mapped CFE range"));
}

TEST(CompactUnwindReader, EmptyIndexAndUnknownPageKinds) {
  CompactUnwindBuilder sentinel_only;
  StderrCapture err;
  EXPECT_EQ(find(sentinel_only.build(), 0x1000).status, TLCRASH_ENOTFOUND);
  auto none = sentinel_only.build();
  none[24] = 0;  // no index entries at all
  EXPECT_EQ(find(none, 0x1000).status, TLCRASH_ENOTFOUND);
  EXPECT_TRUE(err.contains("CFE index contains no entries"));
  auto odd = twoPages().build();
  const size_t first_page = 28 + 8 + 36;
  odd[first_page] = 7;
  EXPECT_EQ(find(odd, 0x1000).status, TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("Unsupported second-level CFE table kind: 0x7"));
}

TEST(CompactUnwindRegisters, PermutationsRoundTripForEveryCount) {
  for (uint32_t count = 1; count <= 6; ++count) {
    // Every ordered choice of `count` distinct registers from 1..6.
    std::vector<uint32_t> regs(count);
    std::function<void(uint32_t, uint32_t)> choose = [&](uint32_t depth, uint32_t used) {
      if (depth == count) {
        uint32_t permutation = tlcrash_async_cfe_register_encode(regs.data(), count);
        uint32_t decoded[6];
        ASSERT_EQ(tlcrash_async_cfe_register_decode(permutation, count, decoded), TLCRASH_ESUCCESS);
        for (uint32_t i = 0; i < count; ++i) ASSERT_EQ(decoded[i], regs[i]) << "count " << count << " permutation " << permutation;
        return;
      }
      for (uint32_t r = 1; r <= 6; ++r) {
        if (used & (1u << r)) continue;
        regs[depth] = r;
        choose(depth + 1, used | (1u << r));
      }
    };
    choose(0, 0);
  }
}

TEST(CompactUnwindRegisters, BadCountsAndPermutationsAreRefused) {
  uint32_t regs[6];
  StderrCapture err;
  EXPECT_EQ(tlcrash_async_cfe_register_decode(0, 7, regs), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("Register permutation decoding attempted with an unsupported count of 7"));
  EXPECT_EQ(tlcrash_async_cfe_register_decode(6, 1, regs), TLCRASH_EINVAL) << "digit 6 of six registers";
  EXPECT_EQ(tlcrash_async_cfe_register_decode(0, 0, regs), TLCRASH_ESUCCESS);
  uint32_t reg;
  EXPECT_EQ(tlcrash_async_map_register_name(7, &reg, kTLCrashCpuTypeX86_64), TLCRASH_EINVAL);
  EXPECT_EQ(tlcrash_async_map_register_name(1, &reg, kTLCrashCpuTypeArm64), TLCRASH_ENOTSUP);
  ASSERT_EQ(tlcrash_async_map_register_name(2, &reg, kTLCrashCpuTypeX86), TLCRASH_ESUCCESS);
  EXPECT_EQ(reg, TLCRASH_X86_ECX);
}

TEST(CompactUnwindEntry, DecodesTheX86_64Modes) {
  tlcrash_async_cfe_entry_t entry;
  ASSERT_EQ(tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeX86_64, 0x01020000 | 0b110000001), TLCRASH_ESUCCESS);
  EXPECT_EQ(entry.type, TLCRASH_ASYNC_CFE_TYPE_FRAME_PTR);
  EXPECT_EQ(entry.stack_offset, -16);
  ASSERT_EQ(entry.register_count, 3u);
  EXPECT_EQ(entry.register_list[0], TLCRASH_X86_64_RBX);
  EXPECT_EQ(entry.register_list[1], kTLCrashRegInvalid);
  EXPECT_EQ(entry.register_list[2], TLCRASH_X86_64_RBP);

  ASSERT_EQ(tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeX86_64, kFrameless24RbxR12), TLCRASH_ESUCCESS);
  EXPECT_EQ(entry.type, TLCRASH_ASYNC_CFE_TYPE_FRAMELESS_IMMD);
  EXPECT_EQ(entry.stack_offset, 24);
  ASSERT_EQ(entry.register_count, 2u);
  EXPECT_EQ(entry.register_list[0], TLCRASH_X86_64_RBX);
  EXPECT_EQ(entry.register_list[1], TLCRASH_X86_64_R12);

  ASSERT_EQ(tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeX86_64, 0x03120000 | (2u << 13)), TLCRASH_ESUCCESS);
  EXPECT_EQ(entry.type, TLCRASH_ASYNC_CFE_TYPE_FRAMELESS_INDIRECT);
  EXPECT_EQ(entry.stack_offset, 0x12);
  EXPECT_EQ(entry.stack_adjust, 16u);

  ASSERT_EQ(tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeX86_64, 0x04000123), TLCRASH_ESUCCESS);
  EXPECT_EQ(entry.type, TLCRASH_ASYNC_CFE_TYPE_DWARF);
  EXPECT_EQ(entry.stack_offset, 0x123);
  ASSERT_EQ(tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeX86_64, 0), TLCRASH_ESUCCESS);
  EXPECT_EQ(entry.type, TLCRASH_ASYNC_CFE_TYPE_NONE);

  StderrCapture err;
  EXPECT_EQ(tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeX86_64, 0x05000000), TLCRASH_ENOTSUP);
  EXPECT_TRUE(err.contains("Unexpected entry mode of 5000000"));
  EXPECT_EQ(tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeX86_64, 0x01000007), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("Failed to map register value of 7"));
}

TEST(CompactUnwindEntry, X86UsesFourByteWords) {
  tlcrash_async_cfe_entry_t entry;
  ASSERT_EQ(tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeX86, 0x01030000 | 0b001), TLCRASH_ESUCCESS);
  EXPECT_EQ(entry.stack_offset, -12);
  EXPECT_EQ(entry.register_list[0], TLCRASH_X86_EBX);
  ASSERT_EQ(tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeX86, 0x02050000), TLCRASH_ESUCCESS);
  EXPECT_EQ(entry.stack_offset, 20);
}

TEST(CompactUnwindEntry, Arm64DecodesButDoesNotApply) {
  tlcrash_async_cfe_entry_t entry;
  ASSERT_EQ(tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeArm64, 0x04000000 | 0b10001), TLCRASH_ESUCCESS);
  EXPECT_EQ(entry.type, TLCRASH_ASYNC_CFE_TYPE_FRAME_PTR);
  ASSERT_EQ(entry.register_count, 4u);
  EXPECT_EQ(entry.register_list[0], TLCRASH_ARM64_X27);
  EXPECT_EQ(entry.register_list[3], TLCRASH_ARM64_X20);
  EXPECT_EQ(entry.stack_offset, -32);
  ASSERT_EQ(tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeArm64, 0x02003000), TLCRASH_ESUCCESS);
  EXPECT_EQ(entry.type, TLCRASH_ASYNC_CFE_TYPE_FRAMELESS_IMMD);
  EXPECT_EQ(entry.stack_offset, 48);
  EXPECT_EQ(entry.return_address_register, TLCRASH_ARM64_LR);
  ASSERT_EQ(tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeArm64, 0x03000040), TLCRASH_ESUCCESS);
  EXPECT_EQ(entry.type, TLCRASH_ASYNC_CFE_TYPE_DWARF);
  tlcrash_async_thread_state_t current, next;
  tlcrash_async_thread_state_init(&current, kTLCrashCpuTypeX86_64);
  tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeArm64, 0x02003000);
  EXPECT_EQ(tlcrash_async_cfe_entry_apply(tlcrash_async_task_self(), 0, &current, &entry, &next), TLCRASH_ENOTSUP);
}

tlcrash_async_thread_state_t frameAt(const void* sp, const void* fp) {
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeX86_64);
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_REG_IP, 0x401000);
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_REG_SP, reinterpret_cast<uint64_t>(sp));
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_REG_FP, reinterpret_cast<uint64_t>(fp));
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_X86_64_RAX, 1);
  return state;
}

TEST(CompactUnwindEntry, FrameModeRestoresSlotsBelowTheFramePointer) {
  // [fp-16] rbx slot, [fp-8] empty slot, [fp] saved rbp, [fp+8] return address... with the
  // register area at fp - 24: rbx, (empty), rbp.
  std::array<uint64_t, 6> stack = {0xB0B0, 0xEEEE, 0x8888, 0x7FF00, 0x404040, 0};
  tlcrash_async_cfe_entry_t entry;
  ASSERT_EQ(tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeX86_64, 0x01030000 | 0b110000001), TLCRASH_ESUCCESS);
  auto current = frameAt(&stack[0], &stack[3]);
  tlcrash_async_thread_state_t next;
  ASSERT_EQ(tlcrash_async_cfe_entry_apply(tlcrash_async_task_self(), 0, &current, &entry, &next), TLCRASH_ESUCCESS);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_REG_IP), 0x404040u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_REG_SP), reinterpret_cast<uint64_t>(&stack[5]));
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_X86_64_RBX), 0xB0B0u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_X86_64_RBP), 0x8888u) << "the third slot, after the frame record";
  EXPECT_FALSE(tlcrash_async_thread_state_has_reg(&next, TLCRASH_X86_64_RAX));
}

TEST(CompactUnwindEntry, FramelessModeRestoresTheWordsBelowTheReturnAddress) {
  std::array<uint64_t, 4> stack = {0x1B1B, 0x1212, 0x405050, 0};
  tlcrash_async_cfe_entry_t entry;
  ASSERT_EQ(tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeX86_64, kFrameless24RbxR12), TLCRASH_ESUCCESS);
  auto current = frameAt(&stack[0], nullptr);
  tlcrash_async_thread_state_t next;
  ASSERT_EQ(tlcrash_async_cfe_entry_apply(tlcrash_async_task_self(), 0, &current, &entry, &next), TLCRASH_ESUCCESS);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_REG_SP), reinterpret_cast<uint64_t>(&stack[3]));
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_REG_IP), 0x405050u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_X86_64_RBX), 0x1B1Bu);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_X86_64_R12), 0x1212u);
}

TEST(CompactUnwindEntry, ApplyNeedsItsPointerRegisters) {
  tlcrash_async_cfe_entry_t entry;
  tlcrash_async_thread_state_t current, next;
  tlcrash_async_thread_state_init(&current, kTLCrashCpuTypeX86_64);
  StderrCapture err;
  tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeX86_64, 0x01000000);
  EXPECT_EQ(tlcrash_async_cfe_entry_apply(tlcrash_async_task_self(), 0, &current, &entry, &next), TLCRASH_ENOTFOUND);
  EXPECT_TRUE(err.contains("Can't apply FRAME_PTR unwind type without a valid frame pointer"));
  tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeX86_64, kFrameless24RbxR12);
  EXPECT_EQ(tlcrash_async_cfe_entry_apply(tlcrash_async_task_self(), 0, &current, &entry, &next), TLCRASH_ENOTFOUND);
  EXPECT_TRUE(err.contains("Can't apply FRAME_IMMD unwind type without a valid stack pointer"));
  tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeX86_64, 0x04000000);
  EXPECT_EQ(tlcrash_async_cfe_entry_apply(tlcrash_async_task_self(), 0, &current, &entry, &next), TLCRASH_ENOTSUP);
  auto unreadable = frameAt(reinterpret_cast<void*>(0x100), nullptr);
  tlcrash_async_cfe_entry_init(&entry, kTLCrashCpuTypeX86_64, kFrameless24RbxR12);
  EXPECT_EQ(tlcrash_async_cfe_entry_apply(tlcrash_async_task_self(), 0, &unreadable, &entry, &next), TLCRASH_ENOTFOUND);
  EXPECT_TRUE(err.contains("Failed to read return address from 0x110"));
}

TEST(CompactUnwindFrame, DwarfEntriesAreLeftToTheNextReader) {
  CompactUnwindBuilder b;
  b.pages.push_back({0x100, false, {{0x100, 0x04000010}, {0x200, 0}}, {}});
  b.sentinel = 0x300;
  auto section = b.build();
  tlcrash_unwind_image_t image{};
  image.header_address = 0x400000;
  image.name = "hand-built";
  image.cpu_type = kTLCrashCpuTypeX86_64;
  image.is_64bit = true;
  image.byteorder = &tlcrash_async_byteorder_direct;
  image.compact_unwind = {reinterpret_cast<uint64_t>(section.data()), section.size()};
  FixedUnwindImages images;
  images.add(0x400000, 0x401000, image);
  std::array<uint64_t, 2> stack{};
  auto current = frameAt(stack.data(), nullptr);
  tlcrash_async_thread_state_set_reg(&current, TLCRASH_REG_IP, 0x400150);
  tlcrash_async_thread_state_t next;
  StderrCapture err;
  EXPECT_EQ(tlframe_cursor_read_compact_unwind(tlcrash_async_task_self(), &images, &current, nullptr, &next), TLFRAME_ENOFRAME);
  EXPECT_TRUE(err.contains("Failed to apply CFE encoding 0x4000010 for PC 0x400150: 4"));
  tlcrash_async_thread_state_set_reg(&current, TLCRASH_REG_IP, 0x400250);
  EXPECT_EQ(tlframe_cursor_read_compact_unwind(tlcrash_async_task_self(), &images, &current, nullptr, &next), TLFRAME_ENOFRAME)
      << "an encoding of 0 has no unwind information";
  tlcrash_async_thread_state_set_reg(&current, TLCRASH_REG_IP, 0x400050);
  EXPECT_EQ(tlframe_cursor_read_compact_unwind(tlcrash_async_task_self(), &images, &current, nullptr, &next), TLFRAME_ENOTSUP);
  EXPECT_EQ(images.readers(), 0);
}

}  // namespace
}  // namespace ml::crash
