#pragma once
// The register set of one stack frame: what the frame readers consume and produce, and what the
// crash log writer records for the crashed thread. x86 and x86-64 register blocks in the tagged
// form reports have always used (flavor, count, block); the block is x86 when the flavor is
// kTLCrashX86ThreadState32 and x86-64 otherwise.
//
// Register numbers are this file's own (tlcrash_x86_64_reg / tlcrash_x86_reg); 0, 1 and 2 are the
// instruction, frame and stack pointer on both. Operations taking a register number require it
// to be below tlcrash_async_thread_state_get_reg_count (a caller error otherwise; reads then give
// 0 and writes are ignored, so a crash-time mistake cannot fault).
//
// A thread state is a plain value: copy it whole. Every operation is async-signal-safe (plain
// copies and arithmetic; no allocation, no locks, no system calls).
#include <cstdint>
#include <ucontext.h>

#include "crashreporter/AsyncError.h"

namespace ml::crash {

inline constexpr int32_t kTLCrashX86ThreadState32 = 1;
inline constexpr int32_t kTLCrashX86ThreadState64 = 4;
inline constexpr int32_t kTLCrashX86ExceptionState32 = 3;
inline constexpr int32_t kTLCrashX86ExceptionState64 = 6;
inline constexpr int32_t kTLCrashX86ThreadState32Count = 16;
inline constexpr int32_t kTLCrashX86ThreadState64Count = 42;
inline constexpr int32_t kTLCrashX86ExceptionState32Count = 3;
inline constexpr int32_t kTLCrashX86ExceptionState64Count = 4;

struct tlcrash_x86_thread_state32_t {
  uint32_t eax, ebx, ecx, edx, edi, esi, ebp, esp, ss, eflags, eip, cs, ds, es, fs, gs;
};
struct tlcrash_x86_thread_state64_t {
  uint64_t rax, rbx, rcx, rdx, rdi, rsi, rbp, rsp, r8, r9, r10, r11, r12, r13, r14, r15, rip, rflags, cs, fs, gs;
};
static_assert(sizeof(tlcrash_x86_thread_state32_t) == kTLCrashX86ThreadState32Count * 4);
static_assert(sizeof(tlcrash_x86_thread_state64_t) == kTLCrashX86ThreadState64Count * 4);

struct tlcrash_x86_thread_state_t {
  int32_t flavor;
  int32_t count;
  union {
    tlcrash_x86_thread_state32_t ts32;
    tlcrash_x86_thread_state64_t ts64;
  } uts;
};

struct tlcrash_x86_exception_state32_t {
  uint16_t trapno;
  uint16_t cpu;
  uint32_t err;
  uint32_t faultvaddr;
};
struct tlcrash_x86_exception_state64_t {
  uint16_t trapno;
  uint16_t cpu;
  uint32_t err;
  uint64_t faultvaddr;
};

struct tlcrash_x86_exception_state_t {
  int32_t flavor;
  int32_t count;
  union {
    tlcrash_x86_exception_state32_t es32;
    tlcrash_x86_exception_state64_t es64;
  } ues;
};

enum tlcrash_stack_direction : uint32_t {
  TLCRASH_ASYNC_STACK_DIRECTION_UP = 1,
  TLCRASH_ASYNC_STACK_DIRECTION_DOWN = 2,
};

// Register numbers shared by both architectures.
enum tlcrash_gen_reg : uint32_t {
  TLCRASH_REG_IP = 0,
  TLCRASH_REG_FP = 1,
  TLCRASH_REG_SP = 2,
};

enum tlcrash_x86_64_reg : uint32_t {
  TLCRASH_X86_64_RIP = 0, TLCRASH_X86_64_RBP, TLCRASH_X86_64_RSP, TLCRASH_X86_64_RAX, TLCRASH_X86_64_RBX,
  TLCRASH_X86_64_RCX, TLCRASH_X86_64_RDX, TLCRASH_X86_64_RDI, TLCRASH_X86_64_RSI, TLCRASH_X86_64_R8,
  TLCRASH_X86_64_R9, TLCRASH_X86_64_R10, TLCRASH_X86_64_R11, TLCRASH_X86_64_R12, TLCRASH_X86_64_R13,
  TLCRASH_X86_64_R14, TLCRASH_X86_64_R15, TLCRASH_X86_64_RFLAGS, TLCRASH_X86_64_CS, TLCRASH_X86_64_FS,
  TLCRASH_X86_64_GS,
  TLCRASH_X86_64_REG_COUNT,  // 21
};

enum tlcrash_x86_reg : uint32_t {
  TLCRASH_X86_EIP = 0, TLCRASH_X86_EBP, TLCRASH_X86_ESP, TLCRASH_X86_EAX, TLCRASH_X86_EDX, TLCRASH_X86_ECX,
  TLCRASH_X86_EBX, TLCRASH_X86_ESI, TLCRASH_X86_EDI, TLCRASH_X86_EFLAGS, TLCRASH_X86_TRAPNO, TLCRASH_X86_CS,
  TLCRASH_X86_DS, TLCRASH_X86_ES, TLCRASH_X86_FS, TLCRASH_X86_GS,
  TLCRASH_X86_REG_COUNT,  // 16
};

// A register number that names no register (compact unwind's empty slot, "no return address register").
inline constexpr uint32_t kTLCrashRegInvalid = UINT32_MAX;

struct tlcrash_async_thread_state_t {
  uint32_t stack_direction;
  uint64_t greg_size;    // 4 (x86) or 8 (x86-64)
  uint64_t valid_regs;   // bit n set: register n holds a known value
  tlcrash_x86_thread_state_t x86_state;
  tlcrash_x86_exception_state_t x86_exc_state;
};

// Zeroed state for CPU type kTLCrashCpuTypeX86 or kTLCrashCpuTypeX86_64, no register valid;
// TLCRASH_ENOTSUP for any other type.
tlcrash_error_t tlcrash_async_thread_state_init(tlcrash_async_thread_state_t* state, uint32_t cpu_type);

// x86-64 state from a signal's machine context (Linux x86-64 mcontext_t: general registers,
// trap number, error code and fault address); every register is marked valid.
void tlcrash_async_thread_state_mcontext_init(tlcrash_async_thread_state_t* state, const mcontext_t* mcontext);

void tlcrash_async_thread_state_copy(tlcrash_async_thread_state_t* destination,
                                     const tlcrash_async_thread_state_t* source);

bool tlcrash_async_thread_state_has_reg(const tlcrash_async_thread_state_t* state, uint32_t reg);
void tlcrash_async_thread_state_clear_reg(tlcrash_async_thread_state_t* state, uint32_t reg);
void tlcrash_async_thread_state_clear_all_regs(tlcrash_async_thread_state_t* state);
// Clears the valid bit of every register a callee may change (the instruction pointer included):
// what a caller's frame can still trust after the callee returns.
void tlcrash_async_thread_state_clear_volatile_regs(tlcrash_async_thread_state_t* state);

// The value zero-extended to 64 bits (0 for a number at or above the count).
uint64_t tlcrash_async_thread_state_get_reg(const tlcrash_async_thread_state_t* state, uint32_t reg);
// Stores the value (cut to 32 bits on x86, to 16 bits for "trapno") and marks it valid.
void tlcrash_async_thread_state_set_reg(tlcrash_async_thread_state_t* state, uint32_t reg, uint64_t value);

// Static name ("rip", "eax", ...). A number at or above the count logs
// "Missing register name for register id: %d" and gives null.
const char* tlcrash_async_thread_state_get_reg_name(const tlcrash_async_thread_state_t* state, uint32_t reg);
uint32_t tlcrash_async_thread_state_get_reg_count(const tlcrash_async_thread_state_t* state);
uint32_t tlcrash_async_thread_state_get_stack_direction(const tlcrash_async_thread_state_t* state);
uint64_t tlcrash_async_thread_state_get_greg_size(const tlcrash_async_thread_state_t* state);

// DWARF register numbers (x86-64 psABI; x86 as 32-bit images of the original platform number
// them) to register numbers and back; false when the table has no row.
bool tlcrash_async_thread_state_map_dwarf_to_reg(const tlcrash_async_thread_state_t* state, uint64_t dwarf_reg,
                                                 uint32_t* reg);
bool tlcrash_async_thread_state_map_reg_to_dwarf(const tlcrash_async_thread_state_t* state, uint32_t reg,
                                                 uint64_t* dwarf_reg);

}  // namespace ml::crash
