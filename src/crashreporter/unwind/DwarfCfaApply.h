#pragma once
// Application of a call frame table row to the current frame's registers, producing the
// caller's: the CFA from its rule, the stack pointer set to it, each saved register recovered by
// its rule, and the instruction pointer from the return address column.
//
// Expressions (a CFA expression, expression and val_expression rules) are read through the
// same window the program was read from: they lie inside the section's CIE or FDE. Saved values
// are read from the task with the safe reads.
//
// Async-signal-safe: no allocation, no locks. On failure the new thread state is partly written
// and must not be used.
#include <cstdint>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"
#include "crashreporter/unwind/DwarfCfaState.h"
#include "crashreporter/unwind/DwarfExpression.h"
#include "crashreporter/unwind/DwarfPrimitives.h"

namespace ml::crash {

template <typename machine_ptr>
template <MemoryReader M>
tlcrash_error_t dwarf_cfa_state<machine_ptr>::apply_state(tlcrash_task_t task, M* mobj,
                                                          const tlcrash_async_dwarf_cie_info_t* cie_info,
                                                          const tlcrash_async_thread_state_t* thread_state,
                                                          const tlcrash_async_byteorder_t* byteorder,
                                                          tlcrash_async_thread_state_t* new_thread_state) {
  tlcrash_error_t err;
  tlcrash_async_thread_state_copy(new_thread_state, thread_state);
  tlcrash_async_thread_state_clear_volatile_regs(new_thread_state);

  // Evaluates the expression whose ULEB128 length field is at `length_field`, with `initial` on
  // the stack (or an empty stack when null).
  auto eval_at_length_field = [&](uint64_t length_field, const machine_ptr* initial, size_t count,
                                  machine_ptr* result) -> tlcrash_error_t {
    uint64_t expression_length;
    uint64_t size;
    tlcrash_error_t e = tlcrash_async_dwarf_read_uleb128(*mobj, length_field, 0, &expression_length, &size);
    if (e != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("Failed to read uleb128 length header for rule expression");
      return e;
    }
    uint64_t start;
    if (!tlcrash_async_address_apply_offset(length_field, static_cast<int64_t>(size), &start)) {
      TLCRASH_DIAG("Overflow applying the ULEB128 length to our expression base address");
      return TLCRASH_EINVAL;
    }
    return tlcrash_async_dwarf_expression_eval<machine_ptr>(mobj, task, thread_state, byteorder, start, 0,
                                                            expression_length, initial, count, result);
  };

  // The canonical frame address.
  machine_ptr cfa;
  dwarf_cfa_rule_t<machine_ptr> cfa_rule = get_cfa_rule();
  switch (cfa_rule.type) {
    case DWARF_CFA_STATE_CFA_TYPE_UNDEFINED:
      TLCRASH_DIAG("No canonical frame address specified in the CFA state; can't apply state");
      return TLCRASH_EINVAL;
    case DWARF_CFA_STATE_CFA_TYPE_REGISTER:
    case DWARF_CFA_STATE_CFA_TYPE_REGISTER_SIGNED: {
      uint32_t reg;
      if (!tlcrash_async_thread_state_map_dwarf_to_reg(thread_state, cfa_rule.regnum, &reg)) {
        TLCRASH_DIAG("CFA rule references an unsupported DWARF register: 0x%x", cfa_rule.regnum);
        return TLCRASH_ENOTSUP;
      }
      if (!tlcrash_async_thread_state_has_reg(thread_state, reg)) {
        TLCRASH_DIAG("CFA rule references a register that is not available from the current thread state: %s",
                     tlcrash_async_thread_state_get_reg_name(thread_state, reg));
        return TLCRASH_ENOTFOUND;
      }
      // Signed and unsigned offsets give the same bits in wrapping arithmetic of the word's width.
      cfa = static_cast<machine_ptr>(tlcrash_async_thread_state_get_reg(thread_state, reg) + cfa_rule.offset);
      break;
    }
    case DWARF_CFA_STATE_CFA_TYPE_EXPRESSION:
      if ((err = tlcrash_async_dwarf_expression_eval<machine_ptr>(mobj, task, thread_state, byteorder,
                                                                  cfa_rule.expression_address, 0,
                                                                  cfa_rule.expression_length, nullptr, 0, &cfa)) != TLCRASH_ESUCCESS) {
        if (sizeof(machine_ptr) == 8) TLCRASH_DIAG("CFA eval_64 failed");
        else TLCRASH_DIAG("CFA eval_32 failed");
        return err;
      }
      break;
    default:
      TLCRASH_DIAG("Unknown CFA rule type %u", cfa_rule.type);
      return TLCRASH_EINVAL;
  }
  tlcrash_async_thread_state_set_reg(new_thread_state, TLCRASH_REG_SP, cfa);

  const uint64_t greg_size = tlcrash_async_thread_state_get_greg_size(thread_state);
  dwarf_cfa_state_iterator<machine_ptr> it(this);
  uint32_t dwarf_reg;
  tlcrash_dwarf_cfa_reg_rule_t rule;
  machine_ptr operand;
  while (it.next(&dwarf_reg, &rule, &operand)) {
    uint32_t target;
    bool mapped = tlcrash_async_thread_state_map_dwarf_to_reg(thread_state, dwarf_reg, &target);
    if (!mapped) {
      if (dwarf_reg != cie_info->return_address_register) {
        TLCRASH_DIAG("Register rule references an unsupported DWARF register: 0x%llx", static_cast<unsigned long long>(dwarf_reg));
        return TLCRASH_EINVAL;
      }
      // The return address column without a register of its own (16 on x86-64) is the caller's pc.
      target = TLCRASH_REG_IP;
    }

    // Reads one general register's worth at `address`, zero-extended.
    auto read_word = [&](uint64_t address, uint64_t* out) -> tlcrash_error_t {
      tlcrash_error_t e;
      if (greg_size == 4) {
        uint32_t v = 0;
        e = tlcrash_async_task_read_uint32(task, byteorder, address, 0, &v);
        *out = v;
      } else {
        uint64_t v = 0;
        e = tlcrash_async_task_read_uint64(task, byteorder, address, 0, &v);
        *out = v;
      }
      return e;
    };

    if (rule == TLCRASH_DWARF_CFA_REG_RULE_UNDEFINED) {
      if (dwarf_reg == cie_info->return_address_register) {
        // How the outermost frames (a thread's clone entry, the program's _start) say that
        // nothing called them: a caller pc of 0 ends the walk cleanly, and no other reader
        // invents a caller from stale frame pointers.
        tlcrash_async_thread_state_set_reg(new_thread_state, TLCRASH_REG_IP, 0);
        return TLCRASH_ESUCCESS;
      }
      if (mapped) tlcrash_async_thread_state_clear_reg(new_thread_state, target);
      continue;
    }

    uint64_t value;
    switch (rule) {
      case TLCRASH_DWARF_CFA_REG_RULE_OFFSET:
        if ((err = read_word(static_cast<machine_ptr>(cfa + operand), &value)) != TLCRASH_ESUCCESS) {
          TLCRASH_DIAG("Failed to read offset(N) register value: %d", err);
          return err;
        }
        break;
      case TLCRASH_DWARF_CFA_REG_RULE_VAL_OFFSET:
        value = static_cast<machine_ptr>(cfa + operand);
        break;
      case TLCRASH_DWARF_CFA_REG_RULE_REGISTER: {
        uint32_t source;
        if (!tlcrash_async_thread_state_map_dwarf_to_reg(thread_state, operand, &source)) {
          TLCRASH_DIAG("Register rule references an unsupported DWARF register: 0x%llx", static_cast<unsigned long long>(operand));
          return TLCRASH_EINVAL;
        }
        if (!tlcrash_async_thread_state_has_reg(thread_state, source)) {
          TLCRASH_DIAG("Register rule references a register that is not available from the current thread state: %s",
                       tlcrash_async_thread_state_get_reg_name(thread_state, source));
          return TLCRASH_ENOTFOUND;
        }
        value = tlcrash_async_thread_state_get_reg(thread_state, source);
        break;
      }
      case TLCRASH_DWARF_CFA_REG_RULE_EXPRESSION:
      case TLCRASH_DWARF_CFA_REG_RULE_VAL_EXPRESSION: {
        machine_ptr computed;
        if ((err = eval_at_length_field(operand, &cfa, 1, &computed)) != TLCRASH_ESUCCESS) {
          if (sizeof(machine_ptr) == 8) TLCRASH_DIAG("CFA eval_64 failed");
          else TLCRASH_DIAG("CFA eval_32 failed");
          return err;
        }
        if (rule == TLCRASH_DWARF_CFA_REG_RULE_VAL_EXPRESSION) {
          value = computed;
        } else if ((err = read_word(computed, &value)) != TLCRASH_ESUCCESS) {
          TLCRASH_DIAG("Failed to read register value from expression result: %d", err);
          return err;
        }
        break;
      }
      case TLCRASH_DWARF_CFA_REG_RULE_SAME_VALUE:
        if (!mapped || !tlcrash_async_thread_state_has_reg(thread_state, target)) {
          TLCRASH_DIAG("Same-value rule references a register that is not available from the current thread state");
          return TLCRASH_ENOTFOUND;
        }
        value = tlcrash_async_thread_state_get_reg(thread_state, target);
        break;
      default:
        continue;
    }

    tlcrash_async_thread_state_set_reg(new_thread_state, target, value);
    if (mapped && dwarf_reg == cie_info->return_address_register) {
      tlcrash_async_thread_state_set_reg(new_thread_state, TLCRASH_REG_IP, value);
    }
  }

  if (tlcrash_async_thread_state_has_reg(new_thread_state, TLCRASH_REG_IP)) return TLCRASH_ESUCCESS;

  // No rule gave the caller's pc: it is still in the return address register.
  uint32_t ra;
  if (!tlcrash_async_thread_state_map_dwarf_to_reg(thread_state, cie_info->return_address_register, &ra)) {
    TLCRASH_DIAG("Return address register value references an unsupported DWARF register: 0x%llx",
                 static_cast<unsigned long long>(cie_info->return_address_register));
    return TLCRASH_EINVAL;
  }
  if (!tlcrash_async_thread_state_has_reg(thread_state, ra)) {
    TLCRASH_DIAG("CIE return_address_register references a register that is not available from the current thread state: %s",
                 tlcrash_async_thread_state_get_reg_name(thread_state, ra));
    return TLCRASH_EINVAL;
  }
  tlcrash_async_thread_state_set_reg(new_thread_state, TLCRASH_REG_IP, tlcrash_async_thread_state_get_reg(thread_state, ra));
  return TLCRASH_ESUCCESS;
}

}  // namespace ml::crash
