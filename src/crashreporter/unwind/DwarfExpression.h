#pragma once
// Evaluator of the DWARF location expressions that CFA and register rules carry: a stack machine
// of machine words (32- or 64-bit by machine_ptr) over the expression's bytes in a window, with
// the current frame's registers for DW_OP_breg* and the task's memory for DW_OP_deref*.
//
// Supported: constants, stack operations, arithmetic and logic (wrapping at the word width),
// unsigned comparisons, branches, DW_OP_lit*, DW_OP_breg*, DW_OP_bregx, DW_OP_deref(_size),
// DW_OP_xderef(_size) and DW_OP_nop. Everything else (DW_OP_addr, DW_OP_reg*, DW_OP_piece,
// DW_OP_call_frame_cfa, ...) is refused with TLCRASH_ENOTSUP.
//
// Async-signal-safe: the 100-word stack lives on the evaluator's frame; no allocation, no locks.
// Branch targets are checked against the expression's bounds, and since a backward branch can
// still loop forever, an evaluation stops with TLCRASH_EINVAL after kMaxSteps instructions: a
// crash handler must not hang on a hostile expression.
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"
#include "crashreporter/unwind/DwarfOpStream.h"
#include "crashreporter/unwind/MemoryReader.h"
#include "crashreporter/unwind/ThreadState.h"

namespace ml::crash {

namespace dwarf_expression_detail {

inline constexpr size_t kStackDepth = 100;
// Backward branches can make an expression loop; no unwind expression needs anywhere near this.
inline constexpr uint32_t kMaxSteps = 10000;

template <typename machine_ptr>
class stack {
 public:
  bool push(machine_ptr value) {
    if (depth_ >= kStackDepth) {
      TLCRASH_DIAG("Hit stack limit; cannot push further values");
      return false;
    }
    values_[depth_++] = value;
    return true;
  }
  bool pop(machine_ptr* value) {
    if (depth_ == 0) {
      TLCRASH_DIAG("Pop on an empty stack");
      return false;
    }
    *value = values_[--depth_];
    return true;
  }
  size_t depth() const { return depth_; }
  // Entry `n` below the top (0 = top); n < depth().
  machine_ptr& from_top(size_t n) { return values_[depth_ - 1 - n]; }

 private:
  machine_ptr values_[kStackDepth];
  size_t depth_ = 0;
};

}  // namespace dwarf_expression_detail

// Evaluates the `length` bytes at address + offset. `initial` values are pushed in order (the
// last ends on top). TLCRASH_EINTERNAL when the stack over- or underflows, TLCRASH_EINVAL for a
// malformed expression, TLCRASH_ENOTSUP for an unsupported opcode or register, TLCRASH_ENOTFOUND
// for a register the frame does not have, or the status of a failed memory read.
template <typename machine_ptr, MemoryReader M>
tlcrash_error_t tlcrash_async_dwarf_expression_eval(M* mobj, tlcrash_task_t task,
                                                    const tlcrash_async_thread_state_t* thread_state,
                                                    const tlcrash_async_byteorder_t* byteorder, uint64_t address,
                                                    int64_t offset, uint64_t length, const machine_ptr* initial,
                                                    size_t initial_count, machine_ptr* result) {
  static_assert(std::is_same_v<machine_ptr, uint32_t> || std::is_same_v<machine_ptr, uint64_t>);
  using machine_ptr_s = std::make_signed_t<machine_ptr>;
  constexpr size_t W = sizeof(machine_ptr);
  constexpr machine_ptr kBits = static_cast<machine_ptr>(W * 8);

  dwarf_opstream<M> stream;
  tlcrash_error_t err = stream.init(mobj, byteorder, address, offset, length);
  if (err != TLCRASH_ESUCCESS) return err;

  dwarf_expression_detail::stack<machine_ptr> stack;
  for (size_t i = 0; i < initial_count; ++i) {
    if (!stack.push(initial[i])) return TLCRASH_EINTERNAL;
  }

  // Reads `size` bytes (1, 2, 4 or 8, at most W) from the task, zero-extended.
  auto deref = [&](machine_ptr target, uint8_t size, const char* what, machine_ptr* out) -> tlcrash_error_t {
    tlcrash_error_t read_err;
    uint64_t value = 0;
    switch (size) {
      case 1: {
        uint8_t v;
        read_err = tlcrash_async_task_read_uint8(task, target, 0, &v);
        value = v;
        break;
      }
      case 2: {
        uint16_t v;
        read_err = tlcrash_async_task_read_uint16(task, byteorder, target, 0, &v);
        value = v;
        break;
      }
      case 4: {
        uint32_t v;
        read_err = tlcrash_async_task_read_uint32(task, byteorder, target, 0, &v);
        value = v;
        break;
      }
      default: {
        uint64_t v;
        read_err = tlcrash_async_task_read_uint64(task, byteorder, target, 0, &v);
        value = v;
        break;
      }
    }
    if (read_err != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("%s referenced an invalid target address 0x%llx", what, static_cast<unsigned long long>(target));
      return read_err;
    }
    *out = static_cast<machine_ptr>(value);
    return TLCRASH_ESUCCESS;
  };

  auto breg = [&](uint64_t dwarf_reg) -> tlcrash_error_t {
    uint32_t reg;
    if (!tlcrash_async_thread_state_map_dwarf_to_reg(thread_state, dwarf_reg, &reg)) {
      TLCRASH_DIAG("Unsupported DWARF register value of 0x%llx", static_cast<unsigned long long>(dwarf_reg));
      return TLCRASH_ENOTSUP;
    }
    if (!tlcrash_async_thread_state_has_reg(thread_state, reg)) {
      TLCRASH_DIAG("Register value of %s unavailable in the current frame.",
                   tlcrash_async_thread_state_get_reg_name(thread_state, reg));
      return TLCRASH_ENOTFOUND;
    }
    int64_t displacement;
    if (!stream.read_sleb128(&displacement)) {
      TLCRASH_DIAG("Read of SLEB128 value failed");
      return TLCRASH_EINVAL;
    }
    machine_ptr value = static_cast<machine_ptr>(tlcrash_async_thread_state_get_reg(thread_state, reg) +
                                                 static_cast<uint64_t>(displacement));
    return stack.push(value) ? TLCRASH_ESUCCESS : TLCRASH_EINTERNAL;
  };

  auto jump = [&](const char* name) -> tlcrash_error_t {
    uint16_t raw;
    if (!stream.read_intU(&raw)) return TLCRASH_EINVAL;
    auto delta = static_cast<int16_t>(raw);
    if (!stream.skip(delta)) {
      TLCRASH_DIAG("%s offset %hd falls outside of opcode range", name, delta);
      return TLCRASH_EINVAL;
    }
    return TLCRASH_ESUCCESS;
  };

#define TL_POP(var)                              \
  machine_ptr var;                               \
  if (!stack.pop(&var)) return TLCRASH_EINTERNAL
#define TL_PUSH(value)                                      \
  if (!stack.push(static_cast<machine_ptr>(value))) return TLCRASH_EINTERNAL

  for (uint32_t steps = 0; !stream.at_end(); ++steps) {
    if (steps >= dwarf_expression_detail::kMaxSteps) {
      TLCRASH_DIAG("Expression did not finish within %u steps", dwarf_expression_detail::kMaxSteps);
      return TLCRASH_EINVAL;
    }
    uint8_t opcode;
    if (!stream.read_intU(&opcode)) return TLCRASH_EINVAL;

    if (opcode >= 0x30 && opcode <= 0x4F) {  // DW_OP_lit0 .. DW_OP_lit31
      TL_PUSH(opcode - 0x30);
      continue;
    }
    if (opcode >= 0x70 && opcode <= 0x8F) {  // DW_OP_breg0 .. DW_OP_breg31
      if ((err = breg(opcode - 0x70u)) != TLCRASH_ESUCCESS) return err;
      continue;
    }

    switch (opcode) {
      case 0x06:    // DW_OP_deref
      case 0x18: {  // DW_OP_xderef
        const char* name = opcode == 0x06 ? "DW_OP_deref" : "DW_OP_xderef";
        if (opcode == 0x18 && stack.depth() < 2) {
          TLCRASH_DIAG("DW_OP_xderef on stack with < 2 elements");
          return TLCRASH_EINVAL;
        }
        TL_POP(target);
        if (opcode == 0x18) {
          TL_POP(address_space);
          (void)address_space;
        }
        machine_ptr value;
        if ((err = deref(target, W, name, &value)) != TLCRASH_ESUCCESS) return err;
        TL_PUSH(value);
        break;
      }
      case 0x94:    // DW_OP_deref_size
      case 0x95: {  // DW_OP_xderef_size
        uint8_t size;
        if (!stream.read_intU(&size)) return TLCRASH_EINVAL;
        if (size > W) {
          TLCRASH_DIAG("DW_OP_deref_size specified a size larger than the native machine word");
          return TLCRASH_EINVAL;
        }
        if (opcode == 0x95 && stack.depth() < 2) {
          TLCRASH_DIAG("DW_OP_xderef_size on stack with < 2 elements");
          return TLCRASH_EINVAL;
        }
        TL_POP(target);
        if (opcode == 0x95) {
          TL_POP(address_space);
          (void)address_space;
        }
        if (size != 1 && size != 2 && size != 4 && size != 8) {
          TLCRASH_DIAG("DW_OP_deref_size specified an unsupported size of %hhu", size);
          return TLCRASH_EINVAL;
        }
        machine_ptr value;
        if ((err = deref(target, size, "DW_OP_deref_size", &value)) != TLCRASH_ESUCCESS) return err;
        TL_PUSH(value);
        break;
      }

      case 0x08: {  // DW_OP_const1u
        uint8_t v;
        if (!stream.read_intU(&v)) return TLCRASH_EINVAL;
        TL_PUSH(v);
        break;
      }
      case 0x09: {  // DW_OP_const1s
        uint8_t v;
        if (!stream.read_intU(&v)) return TLCRASH_EINVAL;
        TL_PUSH(static_cast<machine_ptr_s>(static_cast<int8_t>(v)));
        break;
      }
      case 0x0A: {  // DW_OP_const2u
        uint16_t v;
        if (!stream.read_intU(&v)) return TLCRASH_EINVAL;
        TL_PUSH(v);
        break;
      }
      case 0x0B: {  // DW_OP_const2s
        uint16_t v;
        if (!stream.read_intU(&v)) return TLCRASH_EINVAL;
        TL_PUSH(static_cast<machine_ptr_s>(static_cast<int16_t>(v)));
        break;
      }
      case 0x0C: {  // DW_OP_const4u
        uint32_t v;
        if (!stream.read_intU(&v)) return TLCRASH_EINVAL;
        TL_PUSH(v);
        break;
      }
      case 0x0D: {  // DW_OP_const4s
        uint32_t v;
        if (!stream.read_intU(&v)) return TLCRASH_EINVAL;
        TL_PUSH(static_cast<machine_ptr_s>(static_cast<int32_t>(v)));
        break;
      }
      case 0x0E:    // DW_OP_const8u
      case 0x0F: {  // DW_OP_const8s: the same bits, kept to the word's width
        uint64_t v;
        if (!stream.read_intU(&v)) return TLCRASH_EINVAL;
        TL_PUSH(v);
        break;
      }
      case 0x10: {  // DW_OP_constu
        uint64_t v;
        if (!stream.read_uleb128(&v)) {
          TLCRASH_DIAG("Read of ULEB128 value failed");
          return TLCRASH_EINVAL;
        }
        TL_PUSH(v);
        break;
      }
      case 0x11: {  // DW_OP_consts
        int64_t v;
        if (!stream.read_sleb128(&v)) {
          TLCRASH_DIAG("Read of SLEB128 value failed");
          return TLCRASH_EINVAL;
        }
        TL_PUSH(static_cast<uint64_t>(v));
        break;
      }

      case 0x12:  // DW_OP_dup
        if (stack.depth() < 1) {
          TLCRASH_DIAG("DW_OP_dup on an empty stack");
          return TLCRASH_EINVAL;
        }
        TL_PUSH(stack.from_top(0));
        break;
      case 0x13: {  // DW_OP_drop
        if (stack.depth() < 1) {
          TLCRASH_DIAG("DW_OP_drop on an empty stack");
          return TLCRASH_EINVAL;
        }
        TL_POP(dropped);
        (void)dropped;
        break;
      }
      case 0x14:  // DW_OP_over
        if (stack.depth() < 2) {
          TLCRASH_DIAG("DW_OP_over on stack with < 2 elements");
          return TLCRASH_EINVAL;
        }
        TL_PUSH(stack.from_top(1));
        break;
      case 0x15: {  // DW_OP_pick
        uint8_t index;
        if (!stream.read_intU(&index)) return TLCRASH_EINVAL;
        if (index >= stack.depth()) {
          TLCRASH_DIAG("DW_OP_pick on invalid index");
          return TLCRASH_EINVAL;
        }
        TL_PUSH(stack.from_top(index));
        break;
      }
      case 0x16: {  // DW_OP_swap
        if (stack.depth() < 2) {
          TLCRASH_DIAG("DW_OP_swap on stack with < 2 elements");
          return TLCRASH_EINVAL;
        }
        machine_ptr top = stack.from_top(0);
        stack.from_top(0) = stack.from_top(1);
        stack.from_top(1) = top;
        break;
      }
      case 0x17: {  // DW_OP_rot: the top becomes third, the second top, the third second
        if (stack.depth() < 3) {
          TLCRASH_DIAG("DW_OP_rot on stack with < 3 elements");
          return TLCRASH_EINVAL;
        }
        machine_ptr first = stack.from_top(0);
        machine_ptr second = stack.from_top(1);
        machine_ptr third = stack.from_top(2);
        stack.from_top(0) = second;
        stack.from_top(1) = third;
        stack.from_top(2) = first;
        break;
      }

      case 0x19: {  // DW_OP_abs
        TL_POP(v);
        TL_PUSH(static_cast<machine_ptr_s>(v) < 0 ? static_cast<machine_ptr>(0 - v) : v);
        break;
      }
      case 0x1F: {  // DW_OP_neg
        TL_POP(v);
        TL_PUSH(static_cast<machine_ptr>(0 - v));
        break;
      }
      case 0x20: {  // DW_OP_not
        TL_POP(v);
        TL_PUSH(static_cast<machine_ptr>(~v));
        break;
      }
      case 0x23: {  // DW_OP_plus_uconst
        uint64_t addend;
        if (!stream.read_uleb128(&addend)) {
          TLCRASH_DIAG("Read of ULEB128 value failed");
          return TLCRASH_EINVAL;
        }
        TL_POP(v);
        TL_PUSH(v + static_cast<machine_ptr>(addend));
        break;
      }

      case 0x1A: case 0x1B: case 0x1C: case 0x1D: case 0x1E: case 0x21: case 0x22: case 0x24: case 0x25:
      case 0x26: case 0x27: case 0x29: case 0x2A: case 0x2B: case 0x2C: case 0x2D: case 0x2E: {
        TL_POP(b);
        TL_POP(a);
        machine_ptr r = 0;
        switch (opcode) {
          case 0x1A: r = a & b; break;
          case 0x1B:
            if (b == 0) {
              TLCRASH_DIAG("DW_OP_div attempted divide by zero");
              return TLCRASH_EINVAL;
            }
            r = a / b;
            break;
          case 0x1C: r = static_cast<machine_ptr>(a - b); break;
          case 0x1D:
            if (b == 0) {
              TLCRASH_DIAG("DW_OP_mod attempted divide by zero");
              return TLCRASH_EINVAL;
            }
            r = a % b;
            break;
          case 0x1E: r = static_cast<machine_ptr>(a * b); break;
          case 0x21: r = a | b; break;
          case 0x22: r = static_cast<machine_ptr>(a + b); break;
          case 0x24: r = static_cast<machine_ptr>(a << (b % kBits)); break;
          case 0x25: r = static_cast<machine_ptr>(a >> (b % kBits)); break;
          case 0x26: r = static_cast<machine_ptr>(static_cast<machine_ptr_s>(a) >> (b % kBits)); break;
          case 0x27: r = a ^ b; break;
          case 0x29: r = a == b; break;
          case 0x2A: r = a >= b; break;
          case 0x2B: r = a > b; break;
          case 0x2C: r = a <= b; break;
          case 0x2D: r = a < b; break;
          case 0x2E: r = a != b; break;
        }
        TL_PUSH(r);
        break;
      }

      case 0x28: {  // DW_OP_bra
        uint16_t raw;
        if (!stream.read_intU(&raw)) return TLCRASH_EINVAL;
        TL_POP(condition);
        if (condition != 0 && !stream.skip(static_cast<int16_t>(raw))) {
          TLCRASH_DIAG("DW_OP_bra offset %hd falls outside of opcode range", static_cast<int16_t>(raw));
          return TLCRASH_EINVAL;
        }
        break;
      }
      case 0x2F:  // DW_OP_skip
        if ((err = jump("DW_OP_skip")) != TLCRASH_ESUCCESS) return err;
        break;

      case 0x92: {  // DW_OP_bregx
        uint64_t dwarf_reg;
        if (!stream.read_uleb128(&dwarf_reg)) {
          TLCRASH_DIAG("Read of ULEB128 value failed");
          return TLCRASH_EINVAL;
        }
        if ((err = breg(dwarf_reg)) != TLCRASH_ESUCCESS) return err;
        break;
      }
      case 0x96:  // DW_OP_nop
        break;

      default:
        TLCRASH_DIAG("Unsupported opcode 0x%hhx", opcode);
        return TLCRASH_ENOTSUP;
    }
  }
#undef TL_POP
#undef TL_PUSH

  if (stack.depth() == 0) {
    TLCRASH_DIAG("Expression did not provide a result value.");
    return TLCRASH_EINVAL;
  }
  machine_ptr value;
  stack.pop(&value);
  *result = value;
  return TLCRASH_ESUCCESS;
}

}  // namespace ml::crash
