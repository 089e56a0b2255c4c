// Register sets of one frame: layout, names, DWARF numbering and callee-saved registers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <ucontext.h>

#include "StderrCapture.h"
#include "crashreporter/unwind/CpuType.h"
#include "crashreporter/unwind/ThreadState.h"

namespace ml::crash {
namespace {

using test::StderrCapture;

TEST(ThreadState, InitSetsUpEachArchitectureAndRefusesOthers) {
  tlcrash_async_thread_state_t state;
  ASSERT_EQ(tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeX86_64), TLCRASH_ESUCCESS);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg_count(&state), 21u);
  EXPECT_EQ(tlcrash_async_thread_state_get_greg_size(&state), 8u);
  EXPECT_EQ(tlcrash_async_thread_state_get_stack_direction(&state), TLCRASH_ASYNC_STACK_DIRECTION_DOWN);
  EXPECT_EQ(state.x86_state.flavor, 4);
  EXPECT_EQ(state.x86_state.count, 42);
  EXPECT_EQ(state.x86_exc_state.flavor, 6);
  EXPECT_EQ(state.valid_regs, 0u);
  ASSERT_EQ(tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeX86), TLCRASH_ESUCCESS);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg_count(&state), 16u);
  EXPECT_EQ(tlcrash_async_thread_state_get_greg_size(&state), 4u);
  EXPECT_EQ(state.x86_state.count, 16);
  EXPECT_EQ(state.x86_exc_state.count, 3);
  EXPECT_EQ(tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeArm64), TLCRASH_ENOTSUP);
}

TEST(ThreadState, RegistersKeepTheirValuesAndValidity) {
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeX86_64);
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_X86_64_R13, 0x1122334455667788);
  EXPECT_TRUE(tlcrash_async_thread_state_has_reg(&state, TLCRASH_X86_64_R13));
  EXPECT_EQ(state.x86_state.uts.ts64.r13, 0x1122334455667788u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&state, TLCRASH_X86_64_R13), 0x1122334455667788u);
  tlcrash_async_thread_state_clear_reg(&state, TLCRASH_X86_64_R13);
  EXPECT_FALSE(tlcrash_async_thread_state_has_reg(&state, TLCRASH_X86_64_R13));
  EXPECT_FALSE(tlcrash_async_thread_state_has_reg(&state, 40));
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&state, 40), 0u);
}

TEST(ThreadState, X86ValuesAreCutToTheirWidthAndTrapnoLivesInTheExceptionState) {
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeX86);
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_X86_EAX, 0x1FFFFFFFF);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&state, TLCRASH_X86_EAX), 0xFFFFFFFFu);
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_X86_TRAPNO, 0x12345);
  EXPECT_EQ(state.x86_exc_state.ues.es32.trapno, 0x2345u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&state, TLCRASH_X86_TRAPNO), 0x2345u);
  EXPECT_STREQ(tlcrash_async_thread_state_get_reg_name(&state, TLCRASH_X86_TRAPNO), "trapno");
  EXPECT_STREQ(tlcrash_async_thread_state_get_reg_name(&state, TLCRASH_X86_EBX), "ebx");
}

TEST(ThreadState, NamesFollowTheRegisterNumbers) {
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeX86_64);
  const char* expected[] = {"rip", "rbp", "rsp", "rax", "rbx", "rcx", "rdx", "rdi", "rsi", "r8", "r9",
                            "r10", "r11", "r12", "r13", "r14", "r15", "rflags", "cs", "fs", "gs"};
  for (uint32_t reg = 0; reg < 21; ++reg) EXPECT_STREQ(tlcrash_async_thread_state_get_reg_name(&state, reg), expected[reg]);
  StderrCapture err;
  EXPECT_EQ(tlcrash_async_thread_state_get_reg_name(&state, 21), nullptr);
  EXPECT_TRUE(err.contains("Missing register name for register id: 21"));
}

TEST(ThreadState, ClearingVolatileRegistersKeepsTheCalleeSavedOnes) {
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeX86_64);
  for (uint32_t reg = 0; reg < 21; ++reg) tlcrash_async_thread_state_set_reg(&state, reg, reg);
  tlcrash_async_thread_state_clear_volatile_regs(&state);
  std::string kept;
  for (uint32_t reg = 0; reg < 21; ++reg) {
    if (tlcrash_async_thread_state_has_reg(&state, reg)) kept += std::string(tlcrash_async_thread_state_get_reg_name(&state, reg)) + " ";
  }
  EXPECT_EQ(kept, "rbp rsp rbx r12 r13 r14 r15 ");

  tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeX86);
  for (uint32_t reg = 0; reg < 16; ++reg) tlcrash_async_thread_state_set_reg(&state, reg, reg);
  tlcrash_async_thread_state_clear_volatile_regs(&state);
  kept.clear();
  for (uint32_t reg = 0; reg < 16; ++reg) {
    if (tlcrash_async_thread_state_has_reg(&state, reg)) kept += std::string(tlcrash_async_thread_state_get_reg_name(&state, reg)) + " ";
  }
  EXPECT_EQ(kept, "ebp esp ebx esi edi ");
}

TEST(ThreadState, DwarfNumbersMapBothWays) {
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeX86_64);
  uint32_t reg = 0;
  uint64_t dwarf = 0;
  ASSERT_TRUE(tlcrash_async_thread_state_map_dwarf_to_reg(&state, 7, &reg));
  EXPECT_EQ(reg, TLCRASH_X86_64_RSP);
  ASSERT_TRUE(tlcrash_async_thread_state_map_dwarf_to_reg(&state, 55, &reg));
  EXPECT_EQ(reg, TLCRASH_X86_64_GS);
  EXPECT_FALSE(tlcrash_async_thread_state_map_dwarf_to_reg(&state, 16, &reg)) << "the return address column has no register";
  EXPECT_FALSE(tlcrash_async_thread_state_map_reg_to_dwarf(&state, TLCRASH_X86_64_RIP, &dwarf));
  ASSERT_TRUE(tlcrash_async_thread_state_map_reg_to_dwarf(&state, TLCRASH_X86_64_RDX, &dwarf));
  EXPECT_EQ(dwarf, 1u);

  tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeX86);
  ASSERT_TRUE(tlcrash_async_thread_state_map_dwarf_to_reg(&state, 8, &reg));
  EXPECT_EQ(reg, TLCRASH_X86_EIP);
  ASSERT_TRUE(tlcrash_async_thread_state_map_dwarf_to_reg(&state, 4, &reg));
  EXPECT_EQ(reg, TLCRASH_X86_EBP);
  EXPECT_FALSE(tlcrash_async_thread_state_map_dwarf_to_reg(&state, 9, &reg));
}

TEST(ThreadState, MachineContextFillsEveryRegister) {
  mcontext_t context;
  std::memset(&context, 0, sizeof(context));
  context.gregs[REG_RIP] = 0x401234;
  context.gregs[REG_RSP] = 0x7FFE0000;
  context.gregs[REG_R15] = 15;
  context.gregs[REG_EFL] = 0x246;
  context.gregs[REG_CSGSFS] = 0x0000002B'00000033;  // ss 0, fs 0x2B, gs 0, cs 0x33
  context.gregs[REG_TRAPNO] = 14;
  context.gregs[REG_ERR] = 4;
  context.gregs[REG_CR2] = 0xDEAD;
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_mcontext_init(&state, &context);
  EXPECT_EQ(state.x86_state.flavor, 4);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&state, TLCRASH_REG_IP), 0x401234u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&state, TLCRASH_REG_SP), 0x7FFE0000u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&state, TLCRASH_X86_64_R15), 15u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&state, TLCRASH_X86_64_RFLAGS), 0x246u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&state, TLCRASH_X86_64_CS), 0x33u);
  EXPECT_EQ(tlcrash_async_thread_state_get_reg(&state, TLCRASH_X86_64_FS), 0x2Bu);
  EXPECT_EQ(state.x86_exc_state.ues.es64.trapno, 14);
  EXPECT_EQ(state.x86_exc_state.ues.es64.err, 4u);
  EXPECT_EQ(state.x86_exc_state.ues.es64.faultvaddr, 0xDEADu);
  for (uint32_t reg = 0; reg < 21; ++reg) EXPECT_TRUE(tlcrash_async_thread_state_has_reg(&state, reg));
}

}  // namespace
}  // namespace ml::crash
