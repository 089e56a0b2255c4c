#pragma once
// One function's compact unwind encoding (the 32-bit word of a __TEXT,__unwind_info entry),
// decoded into an unwind entry, and its application to a frame's registers.
//
// x86-64 and x86 entries decode and apply; arm64 entries decode (so that a report of such an
// image can name what it saw) but never apply, since the thread state has no arm64 register set.
//
// Everything here except tlcrash_async_cfe_register_encode runs at crash time and is
// async-signal-safe: no allocation, no locks; the task is read through the safe reads.
#include <cstdint>

#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"
#include "crashreporter/unwind/ThreadState.h"

namespace ml::crash {

enum tlcrash_async_cfe_type_t : uint32_t {
  TLCRASH_ASYNC_CFE_TYPE_FRAME_PTR = 1,        // registers saved below the frame pointer
  TLCRASH_ASYNC_CFE_TYPE_FRAMELESS_IMMD = 2,   // no frame pointer; stack size in the encoding
  TLCRASH_ASYNC_CFE_TYPE_FRAMELESS_INDIRECT = 3,  // no frame pointer; stack size in the function's code
  TLCRASH_ASYNC_CFE_TYPE_DWARF = 4,            // the function's FDE describes it
  TLCRASH_ASYNC_CFE_TYPE_NONE = 5,             // no unwind information
};

inline constexpr uint32_t kTLCrashCfeMaxRegisters = 10;

// arm64 register numbers in decoded arm64 entries (the thread state has none of its own).
enum tlcrash_arm64_reg : uint32_t {
  TLCRASH_ARM64_X19 = 19, TLCRASH_ARM64_X20, TLCRASH_ARM64_X21, TLCRASH_ARM64_X22, TLCRASH_ARM64_X23,
  TLCRASH_ARM64_X24, TLCRASH_ARM64_X25, TLCRASH_ARM64_X26, TLCRASH_ARM64_X27, TLCRASH_ARM64_X28,
  TLCRASH_ARM64_LR = 30,
};

struct tlcrash_async_cfe_entry_t {
  uint32_t type;
  uint32_t cpu_type;
  // FRAME_PTR: offset of the saved registers from the frame pointer (zero or negative);
  // FRAMELESS_IMMD: stack size in bytes; FRAMELESS_INDIRECT: offset of the stack-size immediate in
  // the function; DWARF: offset of the FDE in the DWARF section.
  int64_t stack_offset;
  uint32_t stack_adjust;              // FRAMELESS_INDIRECT: bytes added to the size read
  uint32_t return_address_register;   // kTLCrashRegInvalid when the return address is on the stack
  uint32_t register_count;            // saved-register slots
  uint32_t register_list[kTLCrashCfeMaxRegisters];  // thread-state registers; kTLCrashRegInvalid = empty slot
};

// Compact register number (1..6) to a thread-state register; 0 is the empty slot
// (kTLCrashRegInvalid). TLCRASH_EINVAL for another number, TLCRASH_ENOTSUP for another CPU type.
tlcrash_error_t tlcrash_async_map_register_name(uint32_t compact_reg, uint32_t* reg, uint32_t cpu_type);

// Decodes the permutation of `count` (at most 6) frameless registers into compact register
// numbers 1..6 in slot order.
tlcrash_error_t tlcrash_async_cfe_register_decode(uint32_t permutation, uint32_t count, uint32_t registers[]);

// The inverse of the decoding, for building unwind data (never on the crash path). Preconditions:
// count <= 6, registers distinct and within 1..6.
uint32_t tlcrash_async_cfe_register_encode(const uint32_t registers[], uint32_t count);

tlcrash_error_t tlcrash_async_cfe_entry_init(tlcrash_async_cfe_entry_t* entry, uint32_t cpu_type, uint32_t encoding);

inline uint32_t tlcrash_async_cfe_entry_type(const tlcrash_async_cfe_entry_t* entry) { return entry->type; }
inline int64_t tlcrash_async_cfe_entry_stack_offset(const tlcrash_async_cfe_entry_t* entry) { return entry->stack_offset; }
inline uint32_t tlcrash_async_cfe_entry_stack_adjustment(const tlcrash_async_cfe_entry_t* entry) { return entry->stack_adjust; }
inline uint32_t tlcrash_async_cfe_entry_return_address_register(const tlcrash_async_cfe_entry_t* entry) {
  return entry->return_address_register;
}
inline uint32_t tlcrash_async_cfe_entry_register_count(const tlcrash_async_cfe_entry_t* entry) { return entry->register_count; }
void tlcrash_async_cfe_entry_register_list(const tlcrash_async_cfe_entry_t* entry, uint32_t registers[]);
inline void tlcrash_async_cfe_entry_free(tlcrash_async_cfe_entry_t*) {}

// Produces the caller's registers from the current frame's. `function_address` is the address
// of the function's first instruction (FRAMELESS_INDIRECT reads its stack size from there).
// TLCRASH_ENOTSUP for DWARF and NONE entries and for arm64.
tlcrash_error_t tlcrash_async_cfe_entry_apply(tlcrash_task_t task, uint64_t function_address,
                                              const tlcrash_async_thread_state_t* thread_state,
                                              const tlcrash_async_cfe_entry_t* entry,
                                              tlcrash_async_thread_state_t* new_thread_state);

}  // namespace ml::crash
