// The DWARF expression evaluator of CFA and register rules.
#include <gtest/gtest.h>

#include <vector>

#include "ByteWriter.h"
#include "StderrCapture.h"
#include "crashreporter/unwind/CpuType.h"
#include "crashreporter/unwind/DwarfExpression.h"
#include "crashreporter/unwind/LocalMemoryWindow.h"

namespace ml::crash {
namespace {

using test::ByteWriter;
using test::StderrCapture;

constexpr uint64_t kBase = 0x600000;
const tlcrash_async_byteorder_t* kLE = &tlcrash_async_byteorder_direct;

tlcrash_async_thread_state_t x86_64State() {
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeX86_64);
  return state;
}

template <typename P = uint64_t>
tlcrash_error_t eval(const std::vector<uint8_t>& code, P* result, std::vector<P> initial = {},
                     const tlcrash_async_thread_state_t* state = nullptr) {
  auto fallback = x86_64State();
  LocalMemoryWindow window(code.data(), kBase, code.size());
  return tlcrash_async_dwarf_expression_eval<P>(&window, tlcrash_async_task_self(), state ? state : &fallback, kLE, kBase, 0,
                                                code.size(), initial.data(), initial.size(), result);
}

TEST(DwarfExpression, EmptyExpressionNeedsAnInitialValue) {
  uint64_t result = 0;
  StderrCapture err;
  EXPECT_EQ(eval({}, &result), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("Expression did not provide a result value."));
  ASSERT_EQ(eval({}, &result, {42}), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, 42u);
}

TEST(DwarfExpression, InitialValuesBeyondTheStackFail) {
  uint64_t result;
  StderrCapture err;
  EXPECT_EQ(eval({}, &result, std::vector<uint64_t>(101, 1)), TLCRASH_EINTERNAL);
  EXPECT_TRUE(err.contains("Hit stack limit; cannot push further values"));
  EXPECT_EQ(eval({}, &result, std::vector<uint64_t>(100, 1)), TLCRASH_ESUCCESS);
}

TEST(DwarfExpression, BregPushesTheRegisterPlusItsOffset) {
  auto state = x86_64State();
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_X86_64_RSP, 0x7000);
  ByteWriter code;
  code.u8(0x77).sleb(8);  // DW_OP_breg7: rsp
  uint64_t result = 0;
  ASSERT_EQ(eval(code.bytes(), &result, {}, &state), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, 0x7008u);
  ByteWriter bregx;
  bregx.u8(0x92).uleb(7).sleb(-8);
  ASSERT_EQ(eval(bregx.bytes(), &result, {}, &state), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, 0x6FF8u);
}

TEST(DwarfExpression, BregOfUnknownOrMissingRegisterFails) {
  auto state = x86_64State();
  uint64_t result;
  StderrCapture err;
  EXPECT_EQ(eval({0x80, 0x00}, &result, {}, &state), TLCRASH_ENOTSUP);  // DWARF 16 has no register
  EXPECT_TRUE(err.contains("Unsupported DWARF register value of 0x10"));
  EXPECT_EQ(eval({0x76, 0x00}, &result, {}, &state), TLCRASH_ENOTFOUND);
  EXPECT_TRUE(err.contains("Register value of rbp unavailable in the current frame."));
}

TEST(DwarfExpression, BranchJumpsOnlyWhenTheConditionIsSet) {
  uint64_t result = 0;
  ByteWriter taken;
  taken.u8(0x31).u8(0x28).u16(1).u8(0x35);  // lit1; bra +1; lit5
  EXPECT_EQ(eval(taken.bytes(), &result), TLCRASH_EINVAL) << "the jump skips lit5, leaving no result";
  ByteWriter notTaken;
  notTaken.u8(0x30).u8(0x28).u16(1).u8(0x35);
  ASSERT_EQ(eval(notTaken.bytes(), &result), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, 5u);
}

TEST(DwarfExpression, JumpsOutsideTheExpressionFail) {
  uint64_t result;
  StderrCapture err;
  ByteWriter before;
  before.u8(0x31).u8(0x28).u16(static_cast<uint16_t>(-10));
  EXPECT_EQ(eval(before.bytes(), &result), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("DW_OP_bra offset -10 falls outside of opcode range"));
  ByteWriter after;
  after.u8(0x2F).u16(2);
  EXPECT_EQ(eval(after.bytes(), &result), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("DW_OP_skip offset 2 falls outside of opcode range"));
}

TEST(DwarfExpression, EndlessLoopIsCutOff) {
  uint64_t result;
  ByteWriter loop;
  loop.u8(0x2F).u16(static_cast<uint16_t>(-3));  // skip back onto itself
  StderrCapture err;
  EXPECT_EQ(eval(loop.bytes(), &result, {1}), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("Expression did not finish within"));
}

TEST(DwarfExpression, ArithmeticIsUnsignedAndWraps) {
  uint64_t result = 0;
  StderrCapture err;
  EXPECT_EQ(eval({0x4F, 0x30, 0x1B}, &result), TLCRASH_EINVAL);  // lit31 lit0 div
  EXPECT_TRUE(err.contains("DW_OP_div attempted divide by zero"));
  EXPECT_EQ(eval({0x4F, 0x30, 0x1D}, &result), TLCRASH_EINVAL);
  ASSERT_EQ(eval({0x30, 0x31, 0x1C, 0x31, 0x2B}, &result), TLCRASH_ESUCCESS);  // (0 - 1) > 1
  EXPECT_EQ(result, 1u);
  ASSERT_EQ(eval({0x30, 0x31, 0x1C, 0x19}, &result), TLCRASH_ESUCCESS);  // abs(-1)
  EXPECT_EQ(result, 1u);
  ASSERT_EQ(eval({0x37, 0x33, 0x1D, 0x32, 0x1E}, &result), TLCRASH_ESUCCESS);  // (7 mod 3) * 2
  EXPECT_EQ(result, 2u);
  ASSERT_EQ(eval({0x31, 0x08, 65, 0x24}, &result), TLCRASH_ESUCCESS);  // 1 << (65 mod 64)
  EXPECT_EQ(result, 2u);
  ASSERT_EQ(eval({0x30, 0x31, 0x1C, 0x3F, 0x26}, &result), TLCRASH_ESUCCESS);  // -1 >>a 15
  EXPECT_EQ(result, UINT64_MAX);
  ASSERT_EQ(eval({0x30, 0x31, 0x1C, 0x3F, 0x25}, &result), TLCRASH_ESUCCESS);  // -1 >> 15
  EXPECT_EQ(result, UINT64_MAX >> 15);
  ASSERT_EQ(eval({0x35, 0x23, 0x80, 0x01}, &result), TLCRASH_ESUCCESS);  // 5 plus_uconst 128
  EXPECT_EQ(result, 133u);
  ASSERT_EQ(eval({0x35, 0x1F, 0x20}, &result), TLCRASH_ESUCCESS);  // not(neg 5) = 4
  EXPECT_EQ(result, 4u);
}

TEST(DwarfExpression, ThirtyTwoBitEvaluatorWrapsAtThirtyTwoBits) {
  uint32_t result = 0;
  ASSERT_EQ(eval<uint32_t>({0x30, 0x31, 0x1C}, &result), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, UINT32_MAX);
  ASSERT_EQ(eval<uint32_t>({0x31, 0x08, 33, 0x24}, &result), TLCRASH_ESUCCESS);  // shift count mod 32
  EXPECT_EQ(result, 2u);
  ByteWriter wide;
  wide.u8(0x0E).u64(0x1234567887654321);
  ASSERT_EQ(eval<uint32_t>(wide.bytes(), &result), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, 0x87654321u);
}

TEST(DwarfExpression, ConstantsAreExtendedByTheirSigns) {
  uint64_t result = 0;
  ASSERT_EQ(eval({0x09, 0xFF}, &result), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, UINT64_MAX);
  ASSERT_EQ(eval({0x08, 0xFF}, &result), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, 0xFFu);
  ASSERT_EQ(eval({0x0B, 0xFE, 0xFF}, &result), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, static_cast<uint64_t>(-2));
  ASSERT_EQ(eval({0x0C, 0xFE, 0xFF, 0xFF, 0xFF}, &result), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, 0xFFFFFFFEu);
  ASSERT_EQ(eval({0x11, 0x7F}, &result), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, UINT64_MAX);
  StderrCapture err;
  EXPECT_EQ(eval({0x0C, 0x01, 0x02}, &result), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("Read of size 4 exceeds mapped range"));
}

TEST(DwarfExpression, StackOperationsCheckTheirDepth) {
  uint64_t result = 0;
  ASSERT_EQ(eval({0x31, 0x32, 0x33, 0x17}, &result), TLCRASH_ESUCCESS);  // rot: 1 2 3 -> 3 1 2
  EXPECT_EQ(result, 2u);
  ASSERT_EQ(eval({0x31, 0x32, 0x33, 0x17, 0x13}, &result), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, 1u);
  ASSERT_EQ(eval({0x31, 0x32, 0x33, 0x15, 0x02}, &result), TLCRASH_ESUCCESS);  // pick 2
  EXPECT_EQ(result, 1u);
  ASSERT_EQ(eval({0x31, 0x32, 0x16}, &result), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, 1u);
  ASSERT_EQ(eval({0x31, 0x32, 0x14}, &result), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, 1u);
  StderrCapture err;
  EXPECT_EQ(eval({0x31, 0x15, 0x01}, &result), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("DW_OP_pick on invalid index"));
  EXPECT_EQ(eval({0x31, 0x32, 0x17}, &result), TLCRASH_EINVAL);
  EXPECT_EQ(eval({0x12}, &result), TLCRASH_EINVAL);
  EXPECT_EQ(eval({0x31, 0x14}, &result), TLCRASH_EINVAL);
  EXPECT_EQ(eval({0x31, 0x22}, &result), TLCRASH_EINTERNAL);
  EXPECT_TRUE(err.contains("Pop on an empty stack"));
}

TEST(DwarfExpression, DerefReadsTheTask) {
  static const uint64_t word = 0xA1B2C3D4E5F60718;
  uint64_t result = 0;
  ASSERT_EQ(eval({0x06}, &result, {reinterpret_cast<uint64_t>(&word)}), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, word);
  ASSERT_EQ(eval({0x94, 0x02}, &result, {reinterpret_cast<uint64_t>(&word)}), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, 0x0718u);
  ASSERT_EQ(eval({0x18}, &result, {0, reinterpret_cast<uint64_t>(&word)}), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, word);
  ASSERT_EQ(eval({0x95, 0x01}, &result, {0, reinterpret_cast<uint64_t>(&word)}), TLCRASH_ESUCCESS);
  EXPECT_EQ(result, 0x18u);
  StderrCapture err;
  EXPECT_EQ(eval({0x06}, &result, {8}), TLCRASH_ENOTFOUND);
  EXPECT_TRUE(err.contains("DW_OP_deref referenced an invalid target address 0x8"));
}

TEST(DwarfExpression, DerefSizeMustBeAPowerOfTwoWithinTheWord) {
  uint64_t result;
  uint32_t result32;
  static const uint64_t word = 1;
  StderrCapture err;
  EXPECT_EQ(eval({0x94, 0x03}, &result, {reinterpret_cast<uint64_t>(&word)}), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("DW_OP_deref_size specified an unsupported size of 3"));
  EXPECT_EQ(eval<uint32_t>({0x94, 0x08}, &result32, {0}), TLCRASH_EINVAL);
  EXPECT_TRUE(err.contains("DW_OP_deref_size specified a size larger than the native machine word"));
}

TEST(DwarfExpression, UnsupportedOpcodesAreRefused) {
  uint64_t result;
  StderrCapture err;
  EXPECT_EQ(eval({0x03, 0, 0, 0, 0, 0, 0, 0, 0}, &result), TLCRASH_ENOTSUP);  // DW_OP_addr
  EXPECT_TRUE(err.contains("Unsupported opcode 0x3"));
  EXPECT_EQ(eval({0x50}, &result), TLCRASH_ENOTSUP);  // DW_OP_reg0
  EXPECT_EQ(eval({0x9C}, &result), TLCRASH_ENOTSUP);  // DW_OP_call_frame_cfa
}

}  // namespace
}  // namespace ml::crash
