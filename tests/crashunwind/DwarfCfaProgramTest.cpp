// The register-rule state and the evaluation of call frame instructions into it.
#include <gtest/gtest.h>

#include <vector>

#include "ByteWriter.h"
#include "StderrCapture.h"
#include "crashreporter/unwind/DwarfCfaProgram.h"
#include "crashreporter/unwind/LocalMemoryWindow.h"

namespace ml::crash {
namespace {

using test::ByteWriter;
using test::StderrCapture;
using State = dwarf_cfa_state<uint64_t>;

constexpr uint64_t kBase = 0x500000;
const tlcrash_async_byteorder_t* kLE = &tlcrash_async_byteorder_direct;

tlcrash_async_dwarf_cie_info_t sampleCie() {
  tlcrash_async_dwarf_cie_info_t cie{};
  cie.code_alignment_factor = 1;
  cie.data_alignment_factor = -8;
  cie.return_address_register = 16;
  cie.has_eh_augmentation = true;
  cie.has_pointer_encoding = true;
  cie.pointer_encoding = DW_EH_PE_udata8;
  return cie;
}

tlcrash_error_t run(State& state, const std::vector<uint8_t>& code, uint64_t pc = 0, uint64_t initial_location = 0x1000) {
  LocalMemoryWindow window(code.data(), kBase, code.size());
  auto cie = sampleCie();
  gnu_ehptr_reader<uint64_t> pointers(kLE);
  return state.eval_program(&window, pc, initial_location, &cie, &pointers, kLE, kBase, 0, code.size());
}

struct Rule {
  tlcrash_dwarf_cfa_reg_rule_t kind;
  uint64_t value;
};

Rule ruleOf(const State& state, uint32_t reg) {
  Rule r{};
  EXPECT_TRUE(state.get_register_rule(reg, &r.kind, &r.value)) << "register " << reg << " has no rule";
  return r;
}

bool hasRule(const State& state, uint32_t reg) {
  tlcrash_dwarf_cfa_reg_rule_t kind;
  uint64_t value;
  return state.get_register_rule(reg, &kind, &value);
}

TEST(DwarfCfaState, SettingARegisterTwiceKeepsOneEntry) {
  State state;
  ASSERT_TRUE(state.set_register(6, TLCRASH_DWARF_CFA_REG_RULE_OFFSET, 16));
  ASSERT_TRUE(state.set_register(6, TLCRASH_DWARF_CFA_REG_RULE_VAL_OFFSET, 24));
  EXPECT_EQ(state.get_register_count(), 1);
  Rule r = ruleOf(state, 6);
  EXPECT_EQ(r.kind, TLCRASH_DWARF_CFA_REG_RULE_VAL_OFFSET);
  EXPECT_EQ(r.value, 24u);
}

TEST(DwarfCfaState, PoolHoldsOneHundredRegisters) {
  State state;
  for (uint32_t reg = 0; reg < 100; ++reg) ASSERT_TRUE(state.set_register(reg, TLCRASH_DWARF_CFA_REG_RULE_SAME_VALUE, 0));
  EXPECT_FALSE(state.set_register(100, TLCRASH_DWARF_CFA_REG_RULE_SAME_VALUE, 0));
  state.remove_register(50);
  EXPECT_EQ(state.get_register_count(), 99);
  EXPECT_TRUE(state.set_register(100, TLCRASH_DWARF_CFA_REG_RULE_SAME_VALUE, 0)) << "a removed entry is reused";
}

TEST(DwarfCfaState, IteratorVisitsBucketsInOrderAndChainsInInsertionOrder) {
  State state;
  for (uint32_t reg : {15u, 1u, 29u, 14u, 0u}) state.set_register(reg, TLCRASH_DWARF_CFA_REG_RULE_OFFSET, reg);
  dwarf_cfa_state_iterator<uint64_t> it(&state);
  std::vector<uint32_t> seen;
  uint32_t reg;
  tlcrash_dwarf_cfa_reg_rule_t kind;
  uint64_t value;
  while (it.next(&reg, &kind, &value)) seen.push_back(reg);
  EXPECT_EQ(seen, (std::vector<uint32_t>{14, 0, 15, 1, 29}));
}

TEST(DwarfCfaState, RepeatedRememberAndRestoreDoNotDrainThePool) {
  State state;
  for (uint32_t reg = 0; reg < 30; ++reg) state.set_register(reg, TLCRASH_DWARF_CFA_REG_RULE_OFFSET, reg);
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(state.push_state()) << "round " << round;
    ASSERT_TRUE(state.pop_state());
  }
  EXPECT_EQ(state.get_register_count(), 30);
}

TEST(DwarfCfaProgram, ProgramBuildsTheRowOfItsRules) {
  ByteWriter code;
  code.u8(DW_CFA_def_cfa).uleb(7).uleb(8);            // CFA = rsp + 8
  code.u8(DW_CFA_offset | 16).uleb(1);                // rip at CFA - 8
  code.u8(DW_CFA_offset_extended_sf).uleb(3).sleb(2); // rbx at CFA - 16
  code.u8(DW_CFA_val_offset).uleb(12).uleb(3);        // r12 = CFA - 24
  code.u8(DW_CFA_register).uleb(13).uleb(14);         // r13 in r14
  code.u8(DW_CFA_same_value).uleb(15);
  State state;
  ASSERT_EQ(run(state, code.bytes()), TLCRASH_ESUCCESS);
  auto cfa = state.get_cfa_rule();
  EXPECT_EQ(cfa.type, DWARF_CFA_STATE_CFA_TYPE_REGISTER);
  EXPECT_EQ(cfa.regnum, 7u);
  EXPECT_EQ(cfa.offset, 8u);
  EXPECT_EQ(ruleOf(state, 16).value, static_cast<uint64_t>(-8));
  EXPECT_EQ(ruleOf(state, 3).value, static_cast<uint64_t>(-16));
  EXPECT_EQ(ruleOf(state, 12).kind, TLCRASH_DWARF_CFA_REG_RULE_VAL_OFFSET);
  EXPECT_EQ(ruleOf(state, 12).value, static_cast<uint64_t>(-24));
  EXPECT_EQ(ruleOf(state, 13).kind, TLCRASH_DWARF_CFA_REG_RULE_REGISTER);
  EXPECT_EQ(ruleOf(state, 13).value, 14u);
  EXPECT_EQ(ruleOf(state, 15).kind, TLCRASH_DWARF_CFA_REG_RULE_SAME_VALUE);
}

TEST(DwarfCfaProgram, InstructionsApplyWhileTheirLocationIsAtOrBelowThePc) {
  ByteWriter code;
  code.u8(DW_CFA_def_cfa).uleb(7).uleb(8);
  code.u8(DW_CFA_advance_loc | 4).u8(DW_CFA_def_cfa_offset).uleb(16);   // at 0x1004
  code.u8(DW_CFA_advance_loc1).u8(4).u8(DW_CFA_def_cfa_offset).uleb(24);  // at 0x1008
  State whole;
  ASSERT_EQ(run(whole, code.bytes(), /*pc=*/0), TLCRASH_ESUCCESS);
  EXPECT_EQ(whole.get_cfa_rule().offset, 24u) << "pc 0 runs the whole program";
  State atAdvance;
  ASSERT_EQ(run(atAdvance, code.bytes(), 0x1004), TLCRASH_ESUCCESS);
  EXPECT_EQ(atAdvance.get_cfa_rule().offset, 16u) << "an instruction at location == pc applies";
  State before;
  ASSERT_EQ(run(before, code.bytes(), 0x1003), TLCRASH_ESUCCESS);
  EXPECT_EQ(before.get_cfa_rule().offset, 8u);
}

TEST(DwarfCfaProgram, SetLocAndWideAdvancesMoveTheLocation) {
  ByteWriter code;
  code.u8(DW_CFA_def_cfa).uleb(7).uleb(8);
  code.u8(DW_CFA_set_loc).u64(0x2000).u8(DW_CFA_def_cfa_offset).uleb(16);
  code.u8(DW_CFA_advance_loc2).u16(0x100).u8(DW_CFA_def_cfa_offset).uleb(24);
  code.u8(DW_CFA_advance_loc4).u32(0x10000).u8(DW_CFA_def_cfa_offset).uleb(32);
  State a;
  ASSERT_EQ(run(a, code.bytes(), 0x20FF), TLCRASH_ESUCCESS);
  EXPECT_EQ(a.get_cfa_rule().offset, 16u);
  State b;
  ASSERT_EQ(run(b, code.bytes(), 0x12100), TLCRASH_ESUCCESS);
  EXPECT_EQ(b.get_cfa_rule().offset, 32u);
}

TEST(DwarfCfaProgram, RememberKeepsTheRulesAndRestoreBringsThemBack) {
  ByteWriter code;
  code.u8(DW_CFA_def_cfa).uleb(7).uleb(16).u8(DW_CFA_offset | 6).uleb(2);
  code.u8(DW_CFA_remember_state);
  code.u8(DW_CFA_def_cfa_offset).uleb(8).u8(DW_CFA_restore | 6);
  State inside;
  std::vector<uint8_t> upToChange = code.bytes();
  ASSERT_EQ(run(inside, upToChange), TLCRASH_ESUCCESS);
  EXPECT_EQ(inside.get_cfa_rule().regnum, 7u);
  EXPECT_EQ(inside.get_cfa_rule().offset, 8u) << "def_cfa_offset changes only the offset";
  EXPECT_FALSE(hasRule(inside, 6)) << "no rule for rbp before the program";

  code.u8(DW_CFA_restore_state);
  State after;
  ASSERT_EQ(run(after, code.bytes()), TLCRASH_ESUCCESS);
  EXPECT_EQ(after.get_cfa_rule().offset, 16u);
  EXPECT_EQ(ruleOf(after, 6).value, static_cast<uint64_t>(-16));
}

TEST(DwarfCfaProgram, SixthRememberAndRestoreOnAnEmptyStackFail) {
  State deep;
  StderrCapture err;
  EXPECT_EQ(run(deep, std::vector<uint8_t>(6, DW_CFA_remember_state)), TLCRASH_ENOMEM);
  EXPECT_TRUE(err.contains("DW_CFA_remember_state exeeded the allocated CFA stack size"));
  State empty;
  EXPECT_EQ(run(empty, {DW_CFA_restore_state}), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("DW_CFA_restore_state was issued on an empty CFA stack"));
}

TEST(DwarfCfaProgram, RestoreReturnsToTheRulesBeforeTheProgram) {
  State state;
  ByteWriter cie;
  cie.u8(DW_CFA_def_cfa).uleb(7).uleb(8).u8(DW_CFA_offset | 16).uleb(1);
  ASSERT_EQ(run(state, cie.bytes()), TLCRASH_ESUCCESS);
  ByteWriter fde;
  fde.u8(DW_CFA_offset | 16).uleb(3).u8(DW_CFA_offset | 3).uleb(2);
  fde.u8(DW_CFA_restore | 16).u8(DW_CFA_restore_extended).uleb(3);
  ASSERT_EQ(run(state, fde.bytes()), TLCRASH_ESUCCESS);
  EXPECT_EQ(ruleOf(state, 16).value, static_cast<uint64_t>(-8)) << "the CIE's rule comes back";
  EXPECT_FALSE(hasRule(state, 3)) << "a register without a CIE rule loses its entry";
}

TEST(DwarfCfaProgram, UndefinedReplacesTheRule) {
  State state;
  ByteWriter code;
  code.u8(DW_CFA_offset | 16).uleb(1).u8(DW_CFA_undefined).uleb(16);
  ASSERT_EQ(run(state, code.bytes()), TLCRASH_ESUCCESS);
  ASSERT_TRUE(hasRule(state, 16));
  EXPECT_EQ(ruleOf(state, 16).kind, TLCRASH_DWARF_CFA_REG_RULE_UNDEFINED);
}

TEST(DwarfCfaProgram, CfaOffsetAndRegisterNeedARegisterRule) {
  StderrCapture err;
  State a;
  EXPECT_EQ(run(a, {DW_CFA_def_cfa_offset, 8}), TLCRASH_EINVAL);
  State b;
  EXPECT_EQ(run(b, {DW_CFA_def_cfa_register, 6}), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("DW_CFA_def_cfa_register emitted for a non-register CFA rule state"));
}

TEST(DwarfCfaProgram, SignedCfaFormsAreFactored) {
  ByteWriter code;
  code.u8(DW_CFA_def_cfa_sf).uleb(7).sleb(-2);  // rsp + 16
  State a;
  ASSERT_EQ(run(a, code.bytes()), TLCRASH_ESUCCESS);
  EXPECT_EQ(a.get_cfa_rule().type, DWARF_CFA_STATE_CFA_TYPE_REGISTER_SIGNED);
  EXPECT_EQ(a.get_cfa_rule().offset, 16u);
  code.u8(DW_CFA_def_cfa_register).uleb(6);
  code.u8(DW_CFA_def_cfa_offset_sf).sleb(-4);
  State b;
  ASSERT_EQ(run(b, code.bytes()), TLCRASH_ESUCCESS);
  EXPECT_EQ(b.get_cfa_rule().type, DWARF_CFA_STATE_CFA_TYPE_REGISTER_SIGNED);
  EXPECT_EQ(b.get_cfa_rule().regnum, 6u);
  EXPECT_EQ(b.get_cfa_rule().offset, 32u);
  code.u8(DW_CFA_def_cfa_offset).uleb(40);
  State c;
  ASSERT_EQ(run(c, code.bytes()), TLCRASH_ESUCCESS);
  EXPECT_EQ(c.get_cfa_rule().type, DWARF_CFA_STATE_CFA_TYPE_REGISTER);
  EXPECT_EQ(c.get_cfa_rule().offset, 40u);
}

TEST(DwarfCfaProgram, ExpressionsAreRecordedAndSkipped) {
  ByteWriter code;
  code.u8(DW_CFA_def_cfa_expression).uleb(2).u8(0x77).u8(0x08);  // breg7 +8
  size_t length_field = code.size() + 2;
  code.u8(DW_CFA_expression).uleb(6).uleb(1).u8(0x96);
  code.u8(DW_CFA_val_expression).uleb(3).uleb(1).u8(0x96);
  code.u8(DW_CFA_offset | 12).uleb(4);  // after both expressions: still read as an opcode
  State state;
  ASSERT_EQ(run(state, code.bytes()), TLCRASH_ESUCCESS);
  auto cfa = state.get_cfa_rule();
  EXPECT_EQ(cfa.type, DWARF_CFA_STATE_CFA_TYPE_EXPRESSION);
  EXPECT_EQ(cfa.expression_address, kBase + 2);
  EXPECT_EQ(cfa.expression_length, 2u);
  EXPECT_EQ(ruleOf(state, 6).kind, TLCRASH_DWARF_CFA_REG_RULE_EXPRESSION);
  EXPECT_EQ(ruleOf(state, 6).value, kBase + length_field);
  EXPECT_EQ(ruleOf(state, 3).kind, TLCRASH_DWARF_CFA_REG_RULE_VAL_EXPRESSION);
  EXPECT_EQ(ruleOf(state, 12).value, static_cast<uint64_t>(-32));
}

TEST(DwarfCfaProgram, ExpressionRunningPastTheProgramFails) {
  ByteWriter code;
  code.u8(DW_CFA_expression).uleb(6).uleb(40).u8(DW_CFA_offset | 6).uleb(1);
  State state;
  StderrCapture err;
  EXPECT_EQ(run(state, code.bytes()), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("extends past the end of the opcode stream"));
}

TEST(DwarfCfaProgram, GnuArgsSizeIsSkipped) {
  ByteWriter code;
  code.u8(DW_CFA_def_cfa).uleb(7).uleb(8).u8(DW_CFA_GNU_args_size).uleb(16).u8(DW_CFA_def_cfa_offset).uleb(24);
  State state;
  ASSERT_EQ(run(state, code.bytes()), TLCRASH_ESUCCESS);
  EXPECT_EQ(state.get_cfa_rule().offset, 24u);
}

TEST(DwarfCfaProgram, UnknownOpcodesHugeRegistersAndShortOperandsFail) {
  StderrCapture err;
  State a;
  EXPECT_EQ(run(a, {0x2F, 0x01, 0x01}), TLCRASH_ENOTSUP);
  EXPECT_TRUE(err.contains("Unsupported opcode 0x2f"));
  ByteWriter huge;
  huge.u8(DW_CFA_same_value).uleb(UINT64_C(0x100000000));
  State b;
  EXPECT_EQ(run(b, huge.bytes()), TLCRASH_ENOTSUP);
  EXPECT_TRUE(err.contains("Register number 4294967296 exceeds DWARF_CFA_STATE_REGNUM_MAX"));
  State c;
  EXPECT_EQ(run(c, {DW_CFA_advance_loc2, 0x01}), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("Read of size 2 exceeds mapped range"));
  State d;
  EXPECT_EQ(run(d, {DW_CFA_offset | 3}), TLCRASH_EINVAL);
}

TEST(DwarfCfaProgram, ProgramOutsideTheWindowIsRefused) {
  std::vector<uint8_t> code = {DW_CFA_nop};
  LocalMemoryWindow window(code.data(), kBase, code.size());
  auto cie = sampleCie();
  State state;
  StderrCapture err;
  EXPECT_EQ(state.eval_program(&window, 0, 0, &cie, nullptr, kLE, kBase, 0, 2), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("Could not map the DWARF instructions; range falls outside mapped pages"));
  EXPECT_EQ(state.eval_program(&window, 0, 0, &cie, nullptr, kLE, UINT64_MAX, 1, 1), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("Offset overflows base address"));
}

}  // namespace
}  // namespace ml::crash
