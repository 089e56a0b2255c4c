// Applying a call frame row to the current frame's registers.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "ByteWriter.h"
#include "StderrCapture.h"
#include "crashreporter/unwind/CpuType.h"
#include "crashreporter/unwind/DwarfCfaApply.h"
#include "crashreporter/unwind/DwarfCfaProgram.h"
#include "crashreporter/unwind/LocalMemoryWindow.h"

namespace ml::crash {
namespace {

using test::ByteWriter;
using test::StderrCapture;

const tlcrash_async_byteorder_t* kLE = &tlcrash_async_byteorder_direct;

// A call frame program in a buffer shown at its own address, so that the expression rules,
// which keep target addresses, read back from the same bytes.
class Row {
 public:
  explicit Row(std::vector<uint8_t> code, uint64_t return_address_register = 16)
      : code_(std::move(code)), window_(LocalMemoryWindow::ofLocal(code_.data(), code_.size())) {
    cie_.code_alignment_factor = 1;
    cie_.data_alignment_factor = -8;
    cie_.return_address_register = return_address_register;
  }

  tlcrash_error_t apply(const tlcrash_async_thread_state_t& current, tlcrash_async_thread_state_t* next) {
    tlcrash_error_t err = state_.eval_program(&window_, 0, 0, &cie_, nullptr, kLE, window_.base_address(), 0, code_.size());
    if (err != TLCRASH_ESUCCESS) return err;
    return state_.apply_state(tlcrash_async_task_self(), &window_, &cie_, &current, kLE, next);
  }

 private:
  std::vector<uint8_t> code_;
  LocalMemoryWindow window_;
  tlcrash_async_dwarf_cie_info_t cie_{};
  dwarf_cfa_state<uint64_t> state_;
};

tlcrash_async_thread_state_t frameAt(const void* sp) {
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeX86_64);
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_X86_64_RSP, reinterpret_cast<uint64_t>(sp));
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_X86_64_RIP, 0x401000);
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_X86_64_RAX, 0xAAAA);
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_X86_64_RBX, 0xBBBB);
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_X86_64_R14, 0xEEEE);
  return state;
}

TEST(DwarfCfaApply, OffsetRulesRecoverSavedRegistersAndTheCaller) {
  std::array<uint64_t, 4> stack = {0x7FFF0010 /* saved rbp */, 0x402222 /* return address */, 0, 0};
  ByteWriter code;
  code.u8(DW_CFA_def_cfa).uleb(7).uleb(16).u8(DW_CFA_offset | 16).uleb(1).u8(DW_CFA_offset | 6).uleb(2);
  Row row(code.bytes());
  auto current = frameAt(stack.data());
  tlcrash_async_thread_state_t next;
  ASSERT_EQ(row.apply(current, &next), TLCRASH_ESUCCESS);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_X86_64_RSP), reinterpret_cast<uint64_t>(&stack[2]));
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_X86_64_RIP), 0x402222u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_X86_64_RBP), 0x7FFF0010u);
  EXPECT_TRUE(tlcrash_async_thread_state_has_reg(&next, TLCRASH_X86_64_RBX)) << "callee-saved registers carry over";
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_X86_64_RBX), 0xBBBBu);
  EXPECT_FALSE(tlcrash_async_thread_state_has_reg(&next, TLCRASH_X86_64_RAX)) << "volatile registers are unknown";
}

TEST(DwarfCfaApply, ValueRegisterAndSameValueRules) {
  std::array<uint64_t, 2> stack = {0, 0x403333};
  ByteWriter code;
  code.u8(DW_CFA_def_cfa).uleb(7).uleb(16).u8(DW_CFA_offset | 16).uleb(1);
  code.u8(DW_CFA_val_offset).uleb(12).uleb(1);   // r12 = CFA - 8
  code.u8(DW_CFA_register).uleb(13).uleb(14);    // r13 in r14
  code.u8(DW_CFA_same_value).uleb(3);            // rbx
  Row row(code.bytes());
  auto current = frameAt(stack.data());
  tlcrash_async_thread_state_t next;
  ASSERT_EQ(row.apply(current, &next), TLCRASH_ESUCCESS);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_X86_64_R12), reinterpret_cast<uint64_t>(&stack[1]));
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_X86_64_R13), 0xEEEEu);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_X86_64_RBX), 0xBBBBu);
}

TEST(DwarfCfaApply, ExpressionRulesSeeTheCfaOnTheirStack) {
  std::array<uint64_t, 4> stack = {0, 0x404444, 0x5555, 0};
  ByteWriter code;
  code.u8(DW_CFA_def_cfa_expression).uleb(2).u8(0x77).sleb(16);  // CFA = rsp + 16
  code.u8(DW_CFA_expression).uleb(16).uleb(2).u8(0x38).u8(0x1C); // rip at CFA - 8
  code.u8(DW_CFA_val_expression).uleb(3).uleb(1).u8(0x06);       // rbx = [CFA]
  Row row(code.bytes());
  auto current = frameAt(stack.data());
  tlcrash_async_thread_state_t next;
  ASSERT_EQ(row.apply(current, &next), TLCRASH_ESUCCESS);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_X86_64_RSP), reinterpret_cast<uint64_t>(&stack[2]));
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_X86_64_RIP), 0x404444u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_X86_64_RBX), 0x5555u);
}

TEST(DwarfCfaApply, MissingPcComesFromTheReturnAddressRegister) {
  ByteWriter code;
  code.u8(DW_CFA_def_cfa).uleb(7).uleb(8);
  Row viaRbx(code.bytes(), /*return_address_register=*/3);
  std::array<uint64_t, 2> stack{};
  auto current = frameAt(stack.data());
  tlcrash_async_thread_state_t next;
  ASSERT_EQ(viaRbx.apply(current, &next), TLCRASH_ESUCCESS);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_X86_64_RIP), 0xBBBBu);

  Row viaColumn16(code.bytes());
  StderrCapture err;
  EXPECT_EQ(viaColumn16.apply(current, &next), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("Return address register value references an unsupported DWARF register: 0x10"));
}

TEST(DwarfCfaApply, UndefinedReturnAddressEndsTheStackQuietly) {
  ByteWriter code;
  code.u8(DW_CFA_def_cfa).uleb(7).uleb(8).u8(DW_CFA_undefined).uleb(16).u8(DW_CFA_undefined).uleb(3);
  Row outermost(code.bytes());
  std::array<uint64_t, 2> stack{};
  auto current = frameAt(stack.data());
  tlcrash_async_thread_state_t next;
  StderrCapture err;
  ASSERT_EQ(outermost.apply(current, &next), TLCRASH_ESUCCESS);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&next, TLCRASH_X86_64_RIP), 0u) << "no caller";
  EXPECT_FALSE(err.contains("unsupported DWARF register"));
}

TEST(DwarfCfaApply, CfaRuleProblemsAreReported) {
  std::array<uint64_t, 2> stack{};
  auto current = frameAt(stack.data());
  tlcrash_async_thread_state_t next;
  StderrCapture err;
  Row undefined(std::vector<uint8_t>{DW_CFA_offset | 16, 1});
  EXPECT_EQ(undefined.apply(current, &next), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("No canonical frame address specified in the CFA state; can't apply state"));
  Row unknown(std::vector<uint8_t>{DW_CFA_def_cfa, 16, 8});
  EXPECT_EQ(unknown.apply(current, &next), TLCRASH_ENOTSUP);
  EXPECT_TRUE(err.contains("CFA rule references an unsupported DWARF register: 0x10"));
  Row absent(std::vector<uint8_t>{DW_CFA_def_cfa, 6, 8});
  EXPECT_EQ(absent.apply(current, &next), TLCRASH_ENOTFOUND);
  EXPECT_TRUE(err.contains("CFA rule references a register that is not available from the current thread state: rbp"));
}

TEST(DwarfCfaApply, UnreadableSaveSlotFails) {
  auto current = frameAt(reinterpret_cast<void*>(0x10));
  ByteWriter code;
  code.u8(DW_CFA_def_cfa).uleb(7).uleb(16).u8(DW_CFA_offset | 16).uleb(1);
  Row row(code.bytes());
  tlcrash_async_thread_state_t next;
  StderrCapture err;
  EXPECT_EQ(row.apply(current, &next), TLCRASH_ENOTFOUND);
  EXPECT_TRUE(err.contains("Failed to read offset(N) register value: 8"));
}

TEST(DwarfCfaApply, RuleForAnUnmappedRegisterOtherThanTheReturnAddressFails) {
  std::array<uint64_t, 2> stack{};
  auto current = frameAt(stack.data());
  ByteWriter code;
  code.u8(DW_CFA_def_cfa).uleb(7).uleb(16).u8(DW_CFA_offset_extended).uleb(17).uleb(1);
  Row row(code.bytes());
  tlcrash_async_thread_state_t next;
  StderrCapture err;
  EXPECT_EQ(row.apply(current, &next), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("Register rule references an unsupported DWARF register: 0x11"));
}

}  // namespace
}  // namespace ml::crash
