#pragma once
// One row of the DWARF call frame table: the rule for the canonical frame address (CFA) and a
// rule for each saved register, with the stack of rows that DW_CFA_remember_state and
// DW_CFA_restore_state push and pop. eval_program (DwarfCfaProgram.h) fills it from call frame
// instructions; apply_state (DwarfCfaApply.h) turns it into the caller's registers.
//
// Fixed capacity, no allocation: kEntryCount register entries in one pool shared by all levels,
// kBucketCount hash buckets (register number mod kBucketCount) per level, kLevelCount levels.
// Entries are referred to by byte-sized indices; kNoEntry ends a chain. A level's entries go
// back to the pool when the level is popped, so remember/restore pairs can repeat without
// running the pool dry.
//
// One class per machine-word width (machine_ptr uint32_t or uint64_t). A state belongs to the
// thread that walks the stack and lives on its stack for one frame. Async-signal-safe.
#include <cstdint>
#include <type_traits>

#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"
#include "crashreporter/unwind/DwarfCieInfo.h"
#include "crashreporter/unwind/GnuEhPointerReader.h"
#include "crashreporter/unwind/MemoryReader.h"
#include "crashreporter/unwind/ThreadState.h"

namespace ml::crash {

// How a register of the caller is recovered; the entry's value is the rule's operand.
enum tlcrash_dwarf_cfa_reg_rule_t : uint32_t {
  TLCRASH_DWARF_CFA_REG_RULE_OFFSET = 0,          // saved at CFA + N (N already factored)
  TLCRASH_DWARF_CFA_REG_RULE_VAL_OFFSET = 1,      // the value is CFA + N
  TLCRASH_DWARF_CFA_REG_RULE_REGISTER = 2,        // the value is in DWARF register R
  TLCRASH_DWARF_CFA_REG_RULE_EXPRESSION = 3,      // saved at the address the expression computes
  TLCRASH_DWARF_CFA_REG_RULE_VAL_EXPRESSION = 4,  // the value is what the expression computes
  TLCRASH_DWARF_CFA_REG_RULE_SAME_VALUE = 5,      // unchanged from the callee
  TLCRASH_DWARF_CFA_REG_RULE_UNDEFINED = 6,       // not recoverable; for the return address: no caller
};
// Expression rules store the target address of the expression's ULEB128 length field.

enum tlcrash_dwarf_cfa_type_t : uint32_t {
  DWARF_CFA_STATE_CFA_TYPE_UNDEFINED = 0,
  DWARF_CFA_STATE_CFA_TYPE_EXPRESSION = 1,
  DWARF_CFA_STATE_CFA_TYPE_REGISTER = 2,         // register + unsigned offset
  DWARF_CFA_STATE_CFA_TYPE_REGISTER_SIGNED = 3,  // register + signed offset
};

template <typename machine_ptr>
struct dwarf_cfa_rule_t {
  uint32_t type = DWARF_CFA_STATE_CFA_TYPE_UNDEFINED;
  uint32_t regnum = 0;          // register types
  machine_ptr offset = 0;       // register types; read as signed for the signed type
  uint64_t expression_address = 0;  // expression type: the first byte of the expression
  uint64_t expression_length = 0;
};

template <typename machine_ptr>
class dwarf_cfa_state_iterator;

template <typename machine_ptr>
class dwarf_cfa_state {
  static_assert(std::is_same_v<machine_ptr, uint32_t> || std::is_same_v<machine_ptr, uint64_t>);

 public:
  using machine_ptr_s = std::make_signed_t<machine_ptr>;

  static constexpr uint8_t kEntryCount = 100;
  static constexpr uint8_t kBucketCount = 14;
  static constexpr uint8_t kLevelCount = 6;
  static constexpr uint8_t kNoEntry = 255;

  dwarf_cfa_state() {
    depth_ = 0;
    clear_level(0);
    for (uint8_t i = 0; i < kEntryCount; ++i) entries_[i].next = static_cast<uint8_t>(i + 1 < kEntryCount ? i + 1 : kNoEntry);
    free_ = 0;
  }

  // Sets the rule of a register at the current level, adding an entry when it has none.
  // false when the pool is exhausted.
  bool set_register(uint32_t regnum, tlcrash_dwarf_cfa_reg_rule_t rule, machine_ptr value) {
    uint8_t* link = &buckets_[depth_][regnum % kBucketCount];
    while (*link != kNoEntry) {
      entry& e = entries_[*link];
      if (e.regnum == regnum) {
        e.rule = static_cast<uint8_t>(rule);
        e.value = value;
        return true;
      }
      link = &e.next;
    }
    if (free_ == kNoEntry) return false;
    uint8_t index = free_;
    free_ = entries_[index].next;
    entries_[index] = entry{value, regnum, static_cast<uint8_t>(rule), kNoEntry};
    *link = index;  // appended at the chain's end: a bucket keeps insertion order
    ++count_[depth_];
    return true;
  }

  bool get_register_rule(uint32_t regnum, tlcrash_dwarf_cfa_reg_rule_t* rule, machine_ptr* value) const {
    for (uint8_t i = buckets_[depth_][regnum % kBucketCount]; i != kNoEntry; i = entries_[i].next) {
      if (entries_[i].regnum == regnum) {
        *rule = static_cast<tlcrash_dwarf_cfa_reg_rule_t>(entries_[i].rule);
        *value = entries_[i].value;
        return true;
      }
    }
    return false;
  }

  void remove_register(uint32_t regnum) {
    uint8_t* link = &buckets_[depth_][regnum % kBucketCount];
    while (*link != kNoEntry) {
      uint8_t index = *link;
      if (entries_[index].regnum == regnum) {
        *link = entries_[index].next;
        release(index);
        --count_[depth_];
        return;
      }
      link = &entries_[index].next;
    }
  }

  uint8_t get_register_count() const { return count_[depth_]; }

  void set_cfa_register(uint32_t regnum, machine_ptr offset) {
    cfa_[depth_] = dwarf_cfa_rule_t<machine_ptr>{DWARF_CFA_STATE_CFA_TYPE_REGISTER, regnum, offset, 0, 0};
  }
  void set_cfa_register_signed(uint32_t regnum, machine_ptr_s offset) {
    cfa_[depth_] = dwarf_cfa_rule_t<machine_ptr>{DWARF_CFA_STATE_CFA_TYPE_REGISTER_SIGNED, regnum,
                                                 static_cast<machine_ptr>(offset), 0, 0};
  }
  void set_cfa_expression(uint64_t address, uint64_t length) {
    cfa_[depth_] = dwarf_cfa_rule_t<machine_ptr>{DWARF_CFA_STATE_CFA_TYPE_EXPRESSION, 0, 0, address, length};
  }
  dwarf_cfa_rule_t<machine_ptr> get_cfa_rule() const { return cfa_[depth_]; }

  // Makes a copy of the current level (CFA rule and every register rule) the new current level.
  // false when kLevelCount - 1 pushes are in effect or the pool cannot hold the copy (nothing
  // changes then).
  bool push_state() {
    if (depth_ + 1 >= kLevelCount) return false;
    const uint8_t from = depth_;
    const uint8_t to = static_cast<uint8_t>(depth_ + 1);
    clear_level(to);
    for (uint8_t bucket = 0; bucket < kBucketCount; ++bucket) {
      uint8_t* link = &buckets_[to][bucket];
      for (uint8_t i = buckets_[from][bucket]; i != kNoEntry; i = entries_[i].next) {
        if (free_ == kNoEntry) {
          release_level(to);
          return false;
        }
        uint8_t index = free_;
        free_ = entries_[index].next;
        entries_[index] = entry{entries_[i].value, entries_[i].regnum, entries_[i].rule, kNoEntry};
        *link = index;
        link = &entries_[index].next;
      }
    }
    count_[to] = count_[from];
    cfa_[to] = cfa_[from];
    depth_ = to;
    return true;
  }

  // Returns to the level below, releasing the current level's entries. false at depth 0.
  bool pop_state() {
    if (depth_ == 0) return false;
    release_level(depth_);
    --depth_;
    return true;
  }

  // Runs call frame instructions; defined in DwarfCfaProgram.h.
  template <MemoryReader M>
  tlcrash_error_t eval_program(M* mobj, machine_ptr pc, machine_ptr initial_location,
                               const tlcrash_async_dwarf_cie_info_t* cie_info,
                               const gnu_ehptr_reader<machine_ptr>* ptr_reader,
                               const tlcrash_async_byteorder_t* byteorder, uint64_t address, int64_t offset,
                               uint64_t length);

  // Produces the caller's registers; defined in DwarfCfaApply.h.
  template <MemoryReader M>
  tlcrash_error_t apply_state(tlcrash_task_t task, M* mobj, const tlcrash_async_dwarf_cie_info_t* cie_info,
                              const tlcrash_async_thread_state_t* thread_state,
                              const tlcrash_async_byteorder_t* byteorder, tlcrash_async_thread_state_t* new_thread_state);

 private:
  friend class dwarf_cfa_state_iterator<machine_ptr>;

  // 16 bytes in the 64-bit state: the rule kind fits a byte.
  struct entry {
    machine_ptr value;
    uint32_t regnum;
    uint8_t rule;
    uint8_t next;
  };

  void clear_level(uint8_t level) {
    cfa_[level] = dwarf_cfa_rule_t<machine_ptr>{};
    count_[level] = 0;
    for (uint8_t b = 0; b < kBucketCount; ++b) buckets_[level][b] = kNoEntry;
  }

  void release(uint8_t index) {
    entries_[index].next = free_;
    free_ = index;
  }

  void release_level(uint8_t level) {
    for (uint8_t b = 0; b < kBucketCount; ++b) {
      uint8_t i = buckets_[level][b];
      while (i != kNoEntry) {
        uint8_t next = entries_[i].next;
        release(i);
        i = next;
      }
    }
    clear_level(level);
  }

  dwarf_cfa_rule_t<machine_ptr> cfa_[kLevelCount];
  uint8_t count_[kLevelCount];
  uint8_t buckets_[kLevelCount][kBucketCount];
  uint8_t depth_;
  uint8_t free_;
  entry entries_[kEntryCount];
};

// Visits the register rules of a state's current level: buckets in order, each chain from its
// head (so the entries of one bucket come in insertion order). The state must not change while
// an iterator walks it.
template <typename machine_ptr>
class dwarf_cfa_state_iterator {
 public:
  explicit dwarf_cfa_state_iterator(const dwarf_cfa_state<machine_ptr>* state) : state_(state) {}

  bool next(uint32_t* regnum, tlcrash_dwarf_cfa_reg_rule_t* rule, machine_ptr* value) {
    using S = dwarf_cfa_state<machine_ptr>;
    if (entry_ != S::kNoEntry) entry_ = state_->entries_[entry_].next;
    while (entry_ == S::kNoEntry) {
      if (bucket_ >= S::kBucketCount) return false;
      entry_ = state_->buckets_[state_->depth_][bucket_++];
    }
    const auto& e = state_->entries_[entry_];
    *regnum = e.regnum;
    *rule = static_cast<tlcrash_dwarf_cfa_reg_rule_t>(e.rule);
    *value = e.value;
    return true;
  }

 private:
  const dwarf_cfa_state<machine_ptr>* state_;
  uint8_t bucket_ = 0;
  uint8_t entry_ = dwarf_cfa_state<machine_ptr>::kNoEntry;
};

}  // namespace ml::crash
