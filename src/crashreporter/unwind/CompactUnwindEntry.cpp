#include "crashreporter/unwind/CompactUnwindEntry.h"

#include <cassert>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncString.h"
#include "crashreporter/unwind/CpuType.h"

namespace ml::crash {

namespace {

// Fields of the encoding word.
constexpr uint32_t kModeMask = 0x0F000000;

constexpr uint32_t kX86ModeFrame = 1;
constexpr uint32_t kX86ModeStackImmediate = 2;
constexpr uint32_t kX86ModeStackIndirect = 3;
constexpr uint32_t kX86ModeDwarf = 4;
constexpr uint32_t kX86FrameRegisters = 0x00007FFF;
constexpr uint32_t kX86FrameOffset = 0x00FF0000;
constexpr uint32_t kX86StackSize = 0x00FF0000;
constexpr uint32_t kX86StackAdjust = 0x0000E000;
constexpr uint32_t kX86RegisterCount = 0x00001C00;
constexpr uint32_t kX86Permutation = 0x000003FF;
constexpr uint32_t kDwarfOffset = 0x00FFFFFF;

constexpr uint32_t kArm64ModeFrameless = 2;
constexpr uint32_t kArm64ModeDwarf = 3;
constexpr uint32_t kArm64ModeFrame = 4;
constexpr uint32_t kArm64StackSize = 0x00FFF000;

// Crash time.
uint32_t field(uint32_t encoding, uint32_t mask) { return (encoding & mask) >> __builtin_ctz(mask); }

// Crash time.
void clearEntry(tlcrash_async_cfe_entry_t* entry, uint32_t cpu_type) {
  tlcrash_async_memset(entry, 0, sizeof(*entry));
  entry->cpu_type = cpu_type;
  entry->return_address_register = kTLCrashRegInvalid;
  for (uint32_t& reg : entry->register_list) reg = kTLCrashRegInvalid;
}

// Adds one saved-register slot for a compact register number (0 = an empty slot).
// Crash time.
tlcrash_error_t addSlot(tlcrash_async_cfe_entry_t* entry, uint32_t compact_reg) {
  uint32_t reg;
  tlcrash_error_t err = tlcrash_async_map_register_name(compact_reg, &reg, entry->cpu_type);
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to map register value of %x", compact_reg);
    return err;
  }
  entry->register_list[entry->register_count++] = reg;
  return TLCRASH_ESUCCESS;
}

// Crash time.
tlcrash_error_t decodeX86(tlcrash_async_cfe_entry_t* entry, uint32_t encoding, int64_t word) {
  const uint32_t mode = field(encoding, kModeMask);
  switch (mode) {
    case 0:
      entry->type = TLCRASH_ASYNC_CFE_TYPE_NONE;
      return TLCRASH_ESUCCESS;

    case kX86ModeFrame: {
      entry->type = TLCRASH_ASYNC_CFE_TYPE_FRAME_PTR;
      entry->stack_offset = -word * field(encoding, kX86FrameOffset);
      // Five 3-bit groups, lowest first, while any higher bit is set; a 0 group between others
      // is an empty slot that keeps its place.
      uint32_t registers = encoding & kX86FrameRegisters;
      for (uint32_t i = 0; i < 5 && (registers >> (3 * i)) != 0; ++i) {
        tlcrash_error_t err = addSlot(entry, (registers >> (3 * i)) & 0x7);
        if (err != TLCRASH_ESUCCESS) return err;
      }
      return TLCRASH_ESUCCESS;
    }

    case kX86ModeStackImmediate:
    case kX86ModeStackIndirect: {
      if (mode == kX86ModeStackImmediate) {
        entry->type = TLCRASH_ASYNC_CFE_TYPE_FRAMELESS_IMMD;
        entry->stack_offset = word * field(encoding, kX86StackSize);
      } else {
        entry->type = TLCRASH_ASYNC_CFE_TYPE_FRAMELESS_INDIRECT;
        entry->stack_offset = field(encoding, kX86StackSize);
        entry->stack_adjust = static_cast<uint32_t>(word * field(encoding, kX86StackAdjust));
      }
      uint32_t count = field(encoding, kX86RegisterCount);
      uint32_t compact[6];
      tlcrash_error_t err = tlcrash_async_cfe_register_decode(field(encoding, kX86Permutation), count, compact);
      if (err != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("Failed to decode register list: %d", err);
        return err;
      }
      for (uint32_t i = 0; i < count; ++i) {
        if ((err = addSlot(entry, compact[i])) != TLCRASH_ESUCCESS) return err;
      }
      return TLCRASH_ESUCCESS;
    }

    case kX86ModeDwarf:
      entry->type = TLCRASH_ASYNC_CFE_TYPE_DWARF;
      entry->stack_offset = encoding & kDwarfOffset;
      return TLCRASH_ESUCCESS;

    default:
      TLCRASH_DIAG("Unexpected entry mode of %x", encoding & kModeMask);
      return TLCRASH_ENOTSUP;
  }
}

// Crash time.
tlcrash_error_t decodeArm64(tlcrash_async_cfe_entry_t* entry, uint32_t encoding) {
  const uint32_t mode = field(encoding, kModeMask);
  switch (mode) {
    case 0:
      entry->type = TLCRASH_ASYNC_CFE_TYPE_NONE;
      return TLCRASH_ESUCCESS;
    case kArm64ModeDwarf:
      entry->type = TLCRASH_ASYNC_CFE_TYPE_DWARF;
      entry->stack_offset = encoding & kDwarfOffset;
      return TLCRASH_ESUCCESS;
    case kArm64ModeFrameless:
    case kArm64ModeFrame: {
      // Register pairs, highest bit first.
      static constexpr uint32_t kPairs[5][2] = {
          {TLCRASH_ARM64_X27, TLCRASH_ARM64_X28}, {TLCRASH_ARM64_X25, TLCRASH_ARM64_X26},
          {TLCRASH_ARM64_X23, TLCRASH_ARM64_X24}, {TLCRASH_ARM64_X21, TLCRASH_ARM64_X22},
          {TLCRASH_ARM64_X19, TLCRASH_ARM64_X20},
      };
      for (uint32_t i = 0; i < 5; ++i) {
        if ((encoding & (1u << (4 - i))) == 0) continue;
        entry->register_list[entry->register_count++] = kPairs[i][0];
        entry->register_list[entry->register_count++] = kPairs[i][1];
      }
      if (mode == kArm64ModeFrameless) {
        entry->type = TLCRASH_ASYNC_CFE_TYPE_FRAMELESS_IMMD;
        entry->stack_offset = 16 * static_cast<int64_t>(field(encoding, kArm64StackSize));
        entry->return_address_register = TLCRASH_ARM64_LR;
      } else {
        entry->type = TLCRASH_ASYNC_CFE_TYPE_FRAME_PTR;
        entry->stack_offset = -8 * static_cast<int64_t>(entry->register_count);
      }
      return TLCRASH_ESUCCESS;
    }
    default:
      TLCRASH_DIAG("Unexpected entry mode of %x", encoding & kModeMask);
      return TLCRASH_ENOTSUP;
  }
}

// Reads one general register's worth (4 or 8 bytes) from the task, zero-extended.
// Crash time.
tlcrash_error_t readWord(tlcrash_task_t task, uint64_t address, int64_t offset, uint64_t word, uint64_t* value) {
  if (word == 4) {
    uint32_t v = 0;
    tlcrash_error_t err = tlcrash_async_task_memcpy(task, address, offset, &v, sizeof(v));
    *value = v;
    return err;
  }
  return tlcrash_async_task_memcpy(task, address, offset, value, sizeof(*value));
}

}  // namespace

// Crash time.
tlcrash_error_t tlcrash_async_map_register_name(uint32_t compact_reg, uint32_t* reg, uint32_t cpu_type) {
  static constexpr uint32_t kX86_64[7] = {kTLCrashRegInvalid, TLCRASH_X86_64_RBX, TLCRASH_X86_64_R12, TLCRASH_X86_64_R13,
                                          TLCRASH_X86_64_R14, TLCRASH_X86_64_R15, TLCRASH_X86_64_RBP};
  static constexpr uint32_t kX86[7] = {kTLCrashRegInvalid, TLCRASH_X86_EBX, TLCRASH_X86_ECX, TLCRASH_X86_EDX,
                                       TLCRASH_X86_EDI, TLCRASH_X86_ESI, TLCRASH_X86_EBP};
  const uint32_t* table;
  if (cpu_type == kTLCrashCpuTypeX86_64) {
    table = kX86_64;
  } else if (cpu_type == kTLCrashCpuTypeX86) {
    table = kX86;
  } else {
    TLCRASH_DIAG("Requested register mapping for unknown cpu type %u", cpu_type);
    return TLCRASH_ENOTSUP;
  }
  if (compact_reg > 6) {
    TLCRASH_DIAG("Requested register mapping for unknown register %d", static_cast<int>(compact_reg));
    return TLCRASH_EINVAL;
  }
  *reg = table[compact_reg];
  return TLCRASH_ESUCCESS;
}

// Crash time.
tlcrash_error_t tlcrash_async_cfe_register_decode(uint32_t permutation, uint32_t count, uint32_t registers[]) {
  if (count > 6) {
    TLCRASH_DIAG("Register permutation decoding attempted with an unsupported count of %u", count);
    return TLCRASH_EINVAL;
  }
  if (count == 0) return TLCRASH_ESUCCESS;

  // Mixed-radix digits: digit i chooses among the 6 - i registers not yet used.
  uint32_t digits[6] = {0, 0, 0, 0, 0, 0};
  const uint32_t p = permutation;
  switch (count) {
    case 1:
      digits[0] = p;
      break;
    case 2:
      digits[0] = p / 5;
      digits[1] = p % 5;
      break;
    case 3:
      digits[0] = p / 20;
      digits[1] = (p % 20) / 4;
      digits[2] = p % 4;
      break;
    case 4:
      digits[0] = p / 60;
      digits[1] = (p % 60) / 12;
      digits[2] = (p % 12) / 3;
      digits[3] = p % 3;
      break;
    default:  // 5 and 6: the sixth digit is implied (one register is left)
      digits[0] = p / 120;
      digits[1] = (p % 120) / 24;
      digits[2] = (p % 24) / 6;
      digits[3] = (p % 6) / 2;
      digits[4] = p % 2;
      break;
  }

  bool used[7] = {false, false, false, false, false, false, false};
  for (uint32_t i = 0; i < count; ++i) {
    // A digit must pick one of the registers still unused; a larger one is a corrupt permutation.
    uint32_t remaining = digits[i];
    uint32_t chosen = 0;
    for (uint32_t reg = 1; reg <= 6; ++reg) {
      if (used[reg]) continue;
      if (remaining == 0) {
        chosen = reg;
        break;
      }
      --remaining;
    }
    if (chosen == 0) {
      TLCRASH_DIAG("Register permutation 0x%x is out of range for %u registers", permutation, count);
      return TLCRASH_EINVAL;
    }
    used[chosen] = true;
    registers[i] = chosen;
  }
  return TLCRASH_ESUCCESS;
}

// Crash time.
uint32_t tlcrash_async_cfe_register_encode(const uint32_t registers[], uint32_t count) {
  assert(count <= 6);
  uint32_t digits[6] = {0, 0, 0, 0, 0, 0};
  for (uint32_t i = 0; i < count; ++i) {
    assert(registers[i] >= 1 && registers[i] <= 6);
    uint32_t smaller_before = 0;
    for (uint32_t j = 0; j < i; ++j) {
      if (registers[j] < registers[i]) ++smaller_before;
    }
    digits[i] = registers[i] - 1 - smaller_before;
  }
  uint32_t permutation = 0;
  switch (count) {
    case 0: break;
    case 1: permutation = digits[0]; break;
    case 2: permutation = 5 * digits[0] + digits[1]; break;
    case 3: permutation = 20 * digits[0] + 4 * digits[1] + digits[2]; break;
    case 4: permutation = 60 * digits[0] + 12 * digits[1] + 3 * digits[2] + digits[3]; break;
    default: permutation = 120 * digits[0] + 24 * digits[1] + 6 * digits[2] + 2 * digits[3] + digits[4]; break;
  }
  assert(permutation < (1u << 10));
  return permutation;
}

// Crash time.
tlcrash_error_t tlcrash_async_cfe_entry_init(tlcrash_async_cfe_entry_t* entry, uint32_t cpu_type, uint32_t encoding) {
  clearEntry(entry, cpu_type);
  if (cpu_type == kTLCrashCpuTypeX86_64) return decodeX86(entry, encoding, 8);
  if (cpu_type == kTLCrashCpuTypeX86) return decodeX86(entry, encoding, 4);
  if (cpu_type == kTLCrashCpuTypeArm64) return decodeArm64(entry, encoding);
  TLCRASH_DIAG("Unsupported CPU type: %u", cpu_type);
  return TLCRASH_ENOTSUP;
}

// Crash time.
void tlcrash_async_cfe_entry_register_list(const tlcrash_async_cfe_entry_t* entry, uint32_t registers[]) {
  for (uint32_t i = 0; i < entry->register_count; ++i) registers[i] = entry->register_list[i];
}

// Crash time.
tlcrash_error_t tlcrash_async_cfe_entry_apply(tlcrash_task_t task, uint64_t function_address,
                                              const tlcrash_async_thread_state_t* thread_state,
                                              const tlcrash_async_cfe_entry_t* entry,
                                              tlcrash_async_thread_state_t* new_thread_state) {
  const uint64_t word = tlcrash_async_thread_state_get_greg_size(thread_state);
  tlcrash_async_thread_state_copy(new_thread_state, thread_state);
  tlcrash_async_thread_state_clear_volatile_regs(new_thread_state);

  if (entry->cpu_type == kTLCrashCpuTypeArm64) return TLCRASH_ENOTSUP;

  uint64_t saved_area;  // address of saved-register slot 0
  tlcrash_error_t err;
  switch (entry->type) {
    case TLCRASH_ASYNC_CFE_TYPE_FRAME_PTR: {
      if (!tlcrash_async_thread_state_has_reg(thread_state, TLCRASH_REG_FP)) {
        TLCRASH_DIAG("Can't apply FRAME_PTR unwind type without a valid frame pointer");
        return TLCRASH_ENOTFOUND;
      }
      const uint64_t fp = tlcrash_async_thread_state_get_reg(thread_state, TLCRASH_REG_FP);
      uint64_t new_sp;
      if (!tlcrash_async_address_apply_offset(fp, static_cast<int64_t>(2 * word), &new_sp)) {
        TLCRASH_DIAG("Current frame pointer falls outside of addressable bounds");
        return TLCRASH_EINVAL;
      }
      uint64_t caller_fp, return_address;
      if ((err = readWord(task, fp, 0, word, &caller_fp)) != TLCRASH_ESUCCESS ||
          (err = readWord(task, fp, static_cast<int64_t>(word), word, &return_address)) != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("Failed to read frame data at address 0x%llx: %d", static_cast<unsigned long long>(fp), err);
        return err;
      }
      tlcrash_async_thread_state_set_reg(new_thread_state, TLCRASH_REG_SP, new_sp);
      tlcrash_async_thread_state_set_reg(new_thread_state, TLCRASH_REG_FP, caller_fp);
      tlcrash_async_thread_state_set_reg(new_thread_state, TLCRASH_REG_IP, return_address);
      if (!tlcrash_async_address_apply_offset(fp, entry->stack_offset, &saved_area)) {
        TLCRASH_DIAG("Current frame pointer falls outside of addressable bounds");
        return TLCRASH_EINVAL;
      }
      break;
    }

    case TLCRASH_ASYNC_CFE_TYPE_FRAMELESS_IMMD:
    case TLCRASH_ASYNC_CFE_TYPE_FRAMELESS_INDIRECT: {
      if (!tlcrash_async_thread_state_has_reg(thread_state, TLCRASH_REG_SP)) {
        TLCRASH_DIAG("Can't apply FRAME_IMMD unwind type without a valid stack pointer");
        return TLCRASH_ENOTFOUND;
      }
      uint64_t stack_size = static_cast<uint64_t>(entry->stack_offset);
      if (entry->type == TLCRASH_ASYNC_CFE_TYPE_FRAMELESS_INDIRECT) {
        // The function's `sub $size, %rsp` holds the size as a 32-bit immediate.
        uint32_t immediate;
        if ((err = tlcrash_async_task_memcpy(task, function_address, entry->stack_offset, &immediate, sizeof(immediate))) != TLCRASH_ESUCCESS) {
          TLCRASH_DIAG("Failed to read indirect stack size from 0x%llx + 0x%llx: %d", static_cast<unsigned long long>(function_address),
                       static_cast<unsigned long long>(entry->stack_offset), err);
          return err;
        }
        stack_size = static_cast<uint64_t>(immediate) + entry->stack_adjust;
      }
      const uint64_t sp = tlcrash_async_thread_state_get_reg(thread_state, TLCRASH_REG_SP);
      const uint64_t new_sp = sp + stack_size;  // wraps like the target; later reads check the address
      tlcrash_async_thread_state_set_reg(new_thread_state, TLCRASH_REG_SP, new_sp);
      const uint64_t slots = entry->register_count * word;

      if (entry->return_address_register != kTLCrashRegInvalid) {
        if (!tlcrash_async_thread_state_has_reg(thread_state, entry->return_address_register)) {
          TLCRASH_DIAG("The specified return_address_register '%s' is not available",
                       tlcrash_async_thread_state_get_reg_name(thread_state, entry->return_address_register));
          return TLCRASH_ENOTFOUND;
        }
        tlcrash_async_thread_state_set_reg(new_thread_state, TLCRASH_REG_IP,
                                           tlcrash_async_thread_state_get_reg(thread_state, entry->return_address_register));
        saved_area = new_sp - slots;
      } else {
        uint64_t return_address;
        if ((err = readWord(task, new_sp, -static_cast<int64_t>(word), word, &return_address)) != TLCRASH_ESUCCESS) {
          TLCRASH_DIAG("Failed to read return address from 0x%llx: %d", static_cast<unsigned long long>(new_sp - word), err);
          return err;
        }
        tlcrash_async_thread_state_set_reg(new_thread_state, TLCRASH_REG_IP, return_address);
        saved_area = new_sp - word - slots;
      }
      break;
    }

    default:
      return TLCRASH_ENOTSUP;
  }

  for (uint32_t i = 0; i < entry->register_count; ++i) {
    const uint32_t reg = entry->register_list[i];
    if (reg == kTLCrashRegInvalid) continue;
    uint64_t value;
    if ((err = readWord(task, saved_area, static_cast<int64_t>(i * word), word, &value)) != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("Failed to read register data for index %s: %d", tlcrash_async_thread_state_get_reg_name(thread_state, reg), err);
      return err;
    }
    tlcrash_async_thread_state_set_reg(new_thread_state, reg, value);
  }
  return TLCRASH_ESUCCESS;
}

}  // namespace ml::crash
