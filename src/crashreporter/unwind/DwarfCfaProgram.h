#pragma once
// Evaluation of DWARF call frame instructions into a dwarf_cfa_state: the CIE's initial
// instructions first, then the FDE's, on the same state, up to the pc of the frame being
// unwound. An instruction takes effect while its location is at or below the pc, so the row in
// force at pc is what remains.
//
// Async-signal-safe: no allocation, no locks; the opcodes are read through the window.
#include <cstdint>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncError.h"
#include "crashreporter/unwind/DwarfCfaState.h"
#include "crashreporter/unwind/DwarfOpStream.h"

namespace ml::crash {

enum tlcrash_dw_cfa : uint8_t {
  DW_CFA_nop = 0x00,
  DW_CFA_set_loc = 0x01,
  DW_CFA_advance_loc1 = 0x02,
  DW_CFA_advance_loc2 = 0x03,
  DW_CFA_advance_loc4 = 0x04,
  DW_CFA_offset_extended = 0x05,
  DW_CFA_restore_extended = 0x06,
  DW_CFA_undefined = 0x07,
  DW_CFA_same_value = 0x08,
  DW_CFA_register = 0x09,
  DW_CFA_remember_state = 0x0A,
  DW_CFA_restore_state = 0x0B,
  DW_CFA_def_cfa = 0x0C,
  DW_CFA_def_cfa_register = 0x0D,
  DW_CFA_def_cfa_offset = 0x0E,
  DW_CFA_def_cfa_expression = 0x0F,
  DW_CFA_expression = 0x10,
  DW_CFA_offset_extended_sf = 0x11,
  DW_CFA_def_cfa_sf = 0x12,
  DW_CFA_def_cfa_offset_sf = 0x13,
  DW_CFA_val_offset = 0x14,
  DW_CFA_val_offset_sf = 0x15,
  DW_CFA_val_expression = 0x16,
  DW_CFA_GNU_args_size = 0x2E,
  DW_CFA_advance_loc = 0x40,
  DW_CFA_offset = 0x80,
  DW_CFA_restore = 0xC0,
};

template <typename machine_ptr>
template <MemoryReader M>
tlcrash_error_t dwarf_cfa_state<machine_ptr>::eval_program(M* mobj, machine_ptr pc, machine_ptr initial_location,
                                                           const tlcrash_async_dwarf_cie_info_t* cie_info,
                                                           const gnu_ehptr_reader<machine_ptr>* ptr_reader,
                                                           const tlcrash_async_byteorder_t* byteorder, uint64_t address,
                                                           int64_t offset, uint64_t length) {
  // The rules in force before this program: what DW_CFA_restore brings back.
  dwarf_cfa_state<machine_ptr> initial;
  {
    dwarf_cfa_state_iterator<machine_ptr> it(this);
    uint32_t regnum;
    tlcrash_dwarf_cfa_reg_rule_t rule;
    machine_ptr value;
    while (it.next(&regnum, &rule, &value)) {
      if (!initial.set_register(regnum, rule, value)) {
        TLCRASH_DIAG("Hit register allocation limit while saving initial state");
        return TLCRASH_ENOMEM;
      }
    }
  }

  uint8_t set_loc_encoding = DW_EH_PE_absptr;
  if (cie_info->has_eh_augmentation && ptr_reader != nullptr && cie_info->has_pointer_encoding) {
    set_loc_encoding = cie_info->pointer_encoding;
  }

  if (!tlcrash_async_address_apply_offset(address, offset, nullptr)) {
    TLCRASH_DIAG("Offset overflows base address");
    return TLCRASH_EINVAL;
  }
  dwarf_opstream<M> stream;
  tlcrash_error_t err = stream.init(mobj, byteorder, address, offset, length);
  if (err != TLCRASH_ESUCCESS) return err;

  // Factored offsets are computed in unsigned arithmetic of the word's width: the same bits as
  // the signed product, without signed overflow.
  const uint64_t caf = cie_info->code_alignment_factor;
  const uint64_t daf = static_cast<uint64_t>(cie_info->data_alignment_factor);
  auto factored = [daf](uint64_t n) { return static_cast<machine_ptr>(n * daf); };

  auto read_reg = [&stream](uint32_t* regnum) -> tlcrash_error_t {
    uint64_t value;
    if (!stream.read_uleb128(&value)) {
      TLCRASH_DIAG("Read of ULEB128 value failed");
      return TLCRASH_EINVAL;
    }
    if (value > UINT32_MAX) {
      TLCRASH_DIAG("Register number %llu exceeds DWARF_CFA_STATE_REGNUM_MAX", static_cast<unsigned long long>(value));
      return TLCRASH_ENOTSUP;
    }
    *regnum = static_cast<uint32_t>(value);
    return TLCRASH_ESUCCESS;
  };
  auto read_uleb = [&stream](uint64_t* value) -> tlcrash_error_t {
    if (!stream.read_uleb128(value)) {
      TLCRASH_DIAG("Read of ULEB128 value failed");
      return TLCRASH_EINVAL;
    }
    return TLCRASH_ESUCCESS;
  };
  auto read_sleb = [&stream](int64_t* value) -> tlcrash_error_t {
    if (!stream.read_sleb128(value)) {
      TLCRASH_DIAG("Read of SLEB128 value failed");
      return TLCRASH_EINVAL;
    }
    return TLCRASH_ESUCCESS;
  };
  auto set_rule = [this](uint32_t regnum, tlcrash_dwarf_cfa_reg_rule_t rule, machine_ptr value) -> tlcrash_error_t {
    if (!set_register(regnum, rule, value)) {
      TLCRASH_DIAG("Exhausted available register slots while evaluating CFA opcodes");
      return TLCRASH_ENOMEM;
    }
    return TLCRASH_ESUCCESS;
  };
  auto restore_rule = [&](uint32_t regnum) -> tlcrash_error_t {
    tlcrash_dwarf_cfa_reg_rule_t rule;
    machine_ptr value;
    if (initial.get_register_rule(regnum, &rule, &value)) return set_rule(regnum, rule, value);
    remove_register(regnum);
    return TLCRASH_ESUCCESS;
  };
  // The expression's bytes follow at the current position; they must lie inside the program,
  // or the bytes after them would be read as opcodes.
  auto skip_expression = [&stream](uint64_t expression_length) -> tlcrash_error_t {
    if (expression_length > stream.remaining() || !stream.skip(static_cast<int64_t>(expression_length))) {
      TLCRASH_DIAG("DWARF expression of %llu bytes extends past the end of the opcode stream",
                   static_cast<unsigned long long>(expression_length));
      return TLCRASH_EINVAL;
    }
    return TLCRASH_ESUCCESS;
  };

  machine_ptr location = initial_location;
  while (true) {
    if (pc != 0 && location > pc) return TLCRASH_ESUCCESS;
    if (stream.at_end()) return TLCRASH_ESUCCESS;

    uint8_t byte;
    if (!stream.read_intU(&byte)) return TLCRASH_EINVAL;
    uint8_t opcode = (byte & 0xC0) != 0 ? static_cast<uint8_t>(byte & 0xC0) : byte;
    uint8_t operand = byte & 0x3F;

    uint32_t regnum;
    uint64_t uvalue;
    int64_t svalue;
    switch (opcode) {
      case DW_CFA_nop:
        break;

      case DW_CFA_set_loc: {
        if (cie_info->segment_size != 0) {
          TLCRASH_DIAG("Segment support has not been implemented");
          return TLCRASH_ENOTSUP;
        }
        machine_ptr target;
        if (ptr_reader == nullptr || !stream.read_gnueh_ptr(ptr_reader, set_loc_encoding, &target)) {
          TLCRASH_DIAG("DW_CFA_set_loc failed to read the target pointer value");
          return TLCRASH_EINVAL;
        }
        location = target;
        break;
      }

      case DW_CFA_advance_loc:
        location = static_cast<machine_ptr>(location + operand * caf);
        break;
      case DW_CFA_advance_loc1: {
        uint8_t delta;
        if (!stream.read_intU(&delta)) return TLCRASH_EINVAL;
        location = static_cast<machine_ptr>(location + delta * caf);
        break;
      }
      case DW_CFA_advance_loc2: {
        uint16_t delta;
        if (!stream.read_intU(&delta)) return TLCRASH_EINVAL;
        location = static_cast<machine_ptr>(location + delta * caf);
        break;
      }
      case DW_CFA_advance_loc4: {
        uint32_t delta;
        if (!stream.read_intU(&delta)) return TLCRASH_EINVAL;
        location = static_cast<machine_ptr>(location + delta * caf);
        break;
      }

      case DW_CFA_offset:
        if ((err = read_uleb(&uvalue)) != TLCRASH_ESUCCESS) return err;
        if ((err = set_rule(operand, TLCRASH_DWARF_CFA_REG_RULE_OFFSET, factored(uvalue))) != TLCRASH_ESUCCESS) return err;
        break;
      case DW_CFA_offset_extended:
        if ((err = read_reg(&regnum)) != TLCRASH_ESUCCESS || (err = read_uleb(&uvalue)) != TLCRASH_ESUCCESS) return err;
        if ((err = set_rule(regnum, TLCRASH_DWARF_CFA_REG_RULE_OFFSET, factored(uvalue))) != TLCRASH_ESUCCESS) return err;
        break;
      case DW_CFA_offset_extended_sf:
        if ((err = read_reg(&regnum)) != TLCRASH_ESUCCESS || (err = read_sleb(&svalue)) != TLCRASH_ESUCCESS) return err;
        if ((err = set_rule(regnum, TLCRASH_DWARF_CFA_REG_RULE_OFFSET, factored(static_cast<uint64_t>(svalue)))) != TLCRASH_ESUCCESS) return err;
        break;
      case DW_CFA_val_offset:
        if ((err = read_reg(&regnum)) != TLCRASH_ESUCCESS || (err = read_uleb(&uvalue)) != TLCRASH_ESUCCESS) return err;
        if ((err = set_rule(regnum, TLCRASH_DWARF_CFA_REG_RULE_VAL_OFFSET, factored(uvalue))) != TLCRASH_ESUCCESS) return err;
        break;
      case DW_CFA_val_offset_sf:
        if ((err = read_reg(&regnum)) != TLCRASH_ESUCCESS || (err = read_sleb(&svalue)) != TLCRASH_ESUCCESS) return err;
        if ((err = set_rule(regnum, TLCRASH_DWARF_CFA_REG_RULE_VAL_OFFSET, factored(static_cast<uint64_t>(svalue)))) != TLCRASH_ESUCCESS) return err;
        break;

      case DW_CFA_restore:
        if ((err = restore_rule(operand)) != TLCRASH_ESUCCESS) return err;
        break;
      case DW_CFA_restore_extended:
        if ((err = read_reg(&regnum)) != TLCRASH_ESUCCESS) return err;
        if ((err = restore_rule(regnum)) != TLCRASH_ESUCCESS) return err;
        break;
      case DW_CFA_undefined:
        // Recorded, not dropped: an undefined return address is the end of the stack, which no
        // rule at all is not.
        if ((err = read_reg(&regnum)) != TLCRASH_ESUCCESS) return err;
        if ((err = set_rule(regnum, TLCRASH_DWARF_CFA_REG_RULE_UNDEFINED, 0)) != TLCRASH_ESUCCESS) return err;
        break;
      case DW_CFA_same_value:
        if ((err = read_reg(&regnum)) != TLCRASH_ESUCCESS) return err;
        if ((err = set_rule(regnum, TLCRASH_DWARF_CFA_REG_RULE_SAME_VALUE, 0)) != TLCRASH_ESUCCESS) return err;
        break;
      case DW_CFA_register:
        // The source register has no upper limit here: an unknown one fails when applied.
        if ((err = read_reg(&regnum)) != TLCRASH_ESUCCESS || (err = read_uleb(&uvalue)) != TLCRASH_ESUCCESS) return err;
        if ((err = set_rule(regnum, TLCRASH_DWARF_CFA_REG_RULE_REGISTER, static_cast<machine_ptr>(uvalue))) != TLCRASH_ESUCCESS) return err;
        break;

      case DW_CFA_remember_state:
        if (!push_state()) {
          TLCRASH_DIAG("DW_CFA_remember_state exeeded the allocated CFA stack size");
          return TLCRASH_ENOMEM;
        }
        break;
      case DW_CFA_restore_state:
        if (!pop_state()) {
          TLCRASH_DIAG("DW_CFA_restore_state was issued on an empty CFA stack");
          return TLCRASH_EINVAL;
        }
        break;

      case DW_CFA_def_cfa:
        if ((err = read_reg(&regnum)) != TLCRASH_ESUCCESS || (err = read_uleb(&uvalue)) != TLCRASH_ESUCCESS) return err;
        set_cfa_register(regnum, static_cast<machine_ptr>(uvalue));
        break;
      case DW_CFA_def_cfa_sf:
        if ((err = read_reg(&regnum)) != TLCRASH_ESUCCESS || (err = read_sleb(&svalue)) != TLCRASH_ESUCCESS) return err;
        set_cfa_register_signed(regnum, static_cast<machine_ptr_s>(factored(static_cast<uint64_t>(svalue))));
        break;
      case DW_CFA_def_cfa_register: {
        if ((err = read_reg(&regnum)) != TLCRASH_ESUCCESS) return err;
        dwarf_cfa_rule_t<machine_ptr> rule = get_cfa_rule();
        if (rule.type == DWARF_CFA_STATE_CFA_TYPE_REGISTER) {
          set_cfa_register(regnum, rule.offset);
        } else if (rule.type == DWARF_CFA_STATE_CFA_TYPE_REGISTER_SIGNED) {
          set_cfa_register_signed(regnum, static_cast<machine_ptr_s>(rule.offset));
        } else {
          TLCRASH_DIAG("DW_CFA_def_cfa_register emitted for a non-register CFA rule state");
          return TLCRASH_EINVAL;
        }
        break;
      }
      case DW_CFA_def_cfa_offset:
      case DW_CFA_def_cfa_offset_sf: {
        machine_ptr new_offset;
        if (opcode == DW_CFA_def_cfa_offset) {
          if ((err = read_uleb(&uvalue)) != TLCRASH_ESUCCESS) return err;
          new_offset = static_cast<machine_ptr>(uvalue);
        } else {
          if ((err = read_sleb(&svalue)) != TLCRASH_ESUCCESS) return err;
          new_offset = factored(static_cast<uint64_t>(svalue));
        }
        dwarf_cfa_rule_t<machine_ptr> rule = get_cfa_rule();
        if (rule.type != DWARF_CFA_STATE_CFA_TYPE_REGISTER && rule.type != DWARF_CFA_STATE_CFA_TYPE_REGISTER_SIGNED) {
          TLCRASH_DIAG("DW_CFA_def_cfa_offset emitted for a non-register CFA rule state");
          return TLCRASH_EINVAL;
        }
        if (opcode == DW_CFA_def_cfa_offset) set_cfa_register(rule.regnum, new_offset);
        else set_cfa_register_signed(rule.regnum, static_cast<machine_ptr_s>(new_offset));
        break;
      }
      case DW_CFA_def_cfa_expression: {
        if ((err = read_uleb(&uvalue)) != TLCRASH_ESUCCESS) return err;
        if (static_cast<int64_t>(uvalue) < 0) {
          TLCRASH_DIAG("DWARF expression length exceeds TL_VM_SIZE_MAX/TL_VM_OFF_MAX in DW_CFA_def_cfa_expression operand");
          return TLCRASH_ENOTSUP;
        }
        set_cfa_expression(stream.address(), uvalue);
        if ((err = skip_expression(uvalue)) != TLCRASH_ESUCCESS) return err;
        break;
      }
      case DW_CFA_expression:
      case DW_CFA_val_expression: {
        if ((err = read_reg(&regnum)) != TLCRASH_ESUCCESS) return err;
        // The rule keeps the address of the length field; the length is read again when applied.
        uint64_t length_field = stream.address();
        if ((err = read_uleb(&uvalue)) != TLCRASH_ESUCCESS) return err;
        if (sizeof(machine_ptr) == 4 && length_field > UINT32_MAX) {
          TLCRASH_DIAG("Offset overflows base address");
          return TLCRASH_EINVAL;
        }
        auto rule = opcode == DW_CFA_expression ? TLCRASH_DWARF_CFA_REG_RULE_EXPRESSION : TLCRASH_DWARF_CFA_REG_RULE_VAL_EXPRESSION;
        if ((err = set_rule(regnum, rule, static_cast<machine_ptr>(length_field))) != TLCRASH_ESUCCESS) return err;
        if ((err = skip_expression(uvalue)) != TLCRASH_ESUCCESS) return err;
        break;
      }

      case DW_CFA_GNU_args_size:
        // The size of outgoing arguments matters only to landing pads, not to unwinding.
        if ((err = read_uleb(&uvalue)) != TLCRASH_ESUCCESS) return err;
        break;

      default:
        TLCRASH_DIAG("Unsupported opcode 0x%hhx", byte);
        return TLCRASH_ENOTSUP;
    }
  }
}

}  // namespace ml::crash
