#pragma once
// A plausible x86-64 frame for the unwind fuzzers: every register valid, the stack pointer in the
// middle of a buffer that stays alive for the whole run, so rules that read the stack find
// memory, and rules that wander off it meet the safe reads' refusal.
#include <cstdint>

#include "crashreporter/unwind/CpuType.h"
#include "crashreporter/unwind/ThreadState.h"

namespace ml::crash::fuzz {

inline tlcrash_async_thread_state_t fuzzFrame() {
  static uint64_t stack[512];
  for (uint64_t i = 0; i < 512; ++i) stack[i] = 0x401000 + i * 8;
  tlcrash_async_thread_state_t state;
  tlcrash_async_thread_state_init(&state, kTLCrashCpuTypeX86_64);
  for (uint32_t reg = 0; reg < tlcrash_async_thread_state_get_reg_count(&state); ++reg) {
    tlcrash_async_thread_state_set_reg(&state, reg, 0x1000 * (reg + 1));
  }
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_REG_SP, reinterpret_cast<uint64_t>(&stack[256]));
  tlcrash_async_thread_state_set_reg(&state, TLCRASH_REG_FP, reinterpret_cast<uint64_t>(&stack[300]));
  return state;
}

}  // namespace ml::crash::fuzz
