#include "crashreporter/unwind/ThreadState.h"

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncString.h"
#include "crashreporter/unwind/CpuType.h"

namespace ml::crash {

namespace {

struct RegisterInfo {
  const char* name;
  bool callee_saved;
};

// Indexed by register number. Callee-saved registers are the ones a caller's frame may still
// trust after an unwind step; everything else is cleared by clear_volatile_regs.
constexpr RegisterInfo kX86_64Registers[TLCRASH_X86_64_REG_COUNT] = {
    {"rip", false}, {"rbp", true},    {"rsp", true},  {"rax", false}, {"rbx", true},  {"rcx", false},
    {"rdx", false}, {"rdi", false},   {"rsi", false}, {"r8", false},  {"r9", false},  {"r10", false},
    {"r11", false}, {"r12", true},    {"r13", true},  {"r14", true},  {"r15", true},  {"rflags", false},
    {"cs", false},  {"fs", false},    {"gs", false},
};

constexpr RegisterInfo kX86Registers[TLCRASH_X86_REG_COUNT] = {
    {"eip", false}, {"ebp", true}, {"esp", true},    {"eax", false},    {"edx", false}, {"ecx", false},
    {"ebx", true},  {"esi", true}, {"edi", true},    {"eflags", false}, {"trapno", false}, {"cs", false},
    {"ds", false},  {"es", false}, {"fs", false},    {"gs", false},
};

struct DwarfRow {
  uint32_t reg;
  uint64_t dwarf;
};

// Searched in row order in both directions.
constexpr DwarfRow kX86_64Dwarf[] = {
    {TLCRASH_X86_64_RAX, 0},     {TLCRASH_X86_64_RDX, 1},  {TLCRASH_X86_64_RCX, 2},  {TLCRASH_X86_64_RBX, 3},
    {TLCRASH_X86_64_RSI, 4},     {TLCRASH_X86_64_RDI, 5},  {TLCRASH_X86_64_RBP, 6},  {TLCRASH_X86_64_RSP, 7},
    {TLCRASH_X86_64_R8, 8},      {TLCRASH_X86_64_R9, 9},   {TLCRASH_X86_64_R10, 10}, {TLCRASH_X86_64_R11, 11},
    {TLCRASH_X86_64_R12, 12},    {TLCRASH_X86_64_R13, 13}, {TLCRASH_X86_64_R14, 14}, {TLCRASH_X86_64_R15, 15},
    {TLCRASH_X86_64_RFLAGS, 49}, {TLCRASH_X86_64_CS, 51},  {TLCRASH_X86_64_FS, 54},  {TLCRASH_X86_64_GS, 55},
};

constexpr DwarfRow kX86Dwarf[] = {
    {TLCRASH_X86_EAX, 0}, {TLCRASH_X86_ECX, 1}, {TLCRASH_X86_EDX, 2}, {TLCRASH_X86_EBX, 3}, {TLCRASH_X86_EBP, 4},
    {TLCRASH_X86_ESP, 5}, {TLCRASH_X86_ESI, 6}, {TLCRASH_X86_EDI, 7}, {TLCRASH_X86_EIP, 8},
};

// Crash time.
bool isX86(const tlcrash_async_thread_state_t* state) { return state->x86_state.flavor == kTLCrashX86ThreadState32; }

// Address of register `reg`'s storage in a 64-bit state; null for a number out of range.
// Crash time.
uint64_t* slot64(tlcrash_async_thread_state_t* state, uint32_t reg) {
  auto& ts = state->x86_state.uts.ts64;
  switch (reg) {
    case TLCRASH_X86_64_RIP: return &ts.rip;
    case TLCRASH_X86_64_RBP: return &ts.rbp;
    case TLCRASH_X86_64_RSP: return &ts.rsp;
    case TLCRASH_X86_64_RAX: return &ts.rax;
    case TLCRASH_X86_64_RBX: return &ts.rbx;
    case TLCRASH_X86_64_RCX: return &ts.rcx;
    case TLCRASH_X86_64_RDX: return &ts.rdx;
    case TLCRASH_X86_64_RDI: return &ts.rdi;
    case TLCRASH_X86_64_RSI: return &ts.rsi;
    case TLCRASH_X86_64_R8: return &ts.r8;
    case TLCRASH_X86_64_R9: return &ts.r9;
    case TLCRASH_X86_64_R10: return &ts.r10;
    case TLCRASH_X86_64_R11: return &ts.r11;
    case TLCRASH_X86_64_R12: return &ts.r12;
    case TLCRASH_X86_64_R13: return &ts.r13;
    case TLCRASH_X86_64_R14: return &ts.r14;
    case TLCRASH_X86_64_R15: return &ts.r15;
    case TLCRASH_X86_64_RFLAGS: return &ts.rflags;
    case TLCRASH_X86_64_CS: return &ts.cs;
    case TLCRASH_X86_64_FS: return &ts.fs;
    case TLCRASH_X86_64_GS: return &ts.gs;
    default: return nullptr;
  }
}

// Address of a 32-bit register's storage; null for trapno (16 bits, in the exception state) and
// numbers out of range.
// Crash time.
uint32_t* slot32(tlcrash_async_thread_state_t* state, uint32_t reg) {
  auto& ts = state->x86_state.uts.ts32;
  switch (reg) {
    case TLCRASH_X86_EIP: return &ts.eip;
    case TLCRASH_X86_EBP: return &ts.ebp;
    case TLCRASH_X86_ESP: return &ts.esp;
    case TLCRASH_X86_EAX: return &ts.eax;
    case TLCRASH_X86_EDX: return &ts.edx;
    case TLCRASH_X86_ECX: return &ts.ecx;
    case TLCRASH_X86_EBX: return &ts.ebx;
    case TLCRASH_X86_ESI: return &ts.esi;
    case TLCRASH_X86_EDI: return &ts.edi;
    case TLCRASH_X86_EFLAGS: return &ts.eflags;
    case TLCRASH_X86_CS: return &ts.cs;
    case TLCRASH_X86_DS: return &ts.ds;
    case TLCRASH_X86_ES: return &ts.es;
    case TLCRASH_X86_FS: return &ts.fs;
    case TLCRASH_X86_GS: return &ts.gs;
    default: return nullptr;
  }
}

// Crash time.
void zeroState(tlcrash_async_thread_state_t* state) { tlcrash_async_memset(state, 0, sizeof(*state)); }

// Crash time.
void setUp64(tlcrash_async_thread_state_t* state) {
  state->stack_direction = TLCRASH_ASYNC_STACK_DIRECTION_DOWN;
  state->greg_size = 8;
  state->x86_state.flavor = kTLCrashX86ThreadState64;
  state->x86_state.count = kTLCrashX86ThreadState64Count;
  state->x86_exc_state.flavor = kTLCrashX86ExceptionState64;
  state->x86_exc_state.count = kTLCrashX86ExceptionState64Count;
}

}  // namespace

// Crash time.
tlcrash_error_t tlcrash_async_thread_state_init(tlcrash_async_thread_state_t* state, uint32_t cpu_type) {
  zeroState(state);
  if (cpu_type == kTLCrashCpuTypeX86_64) {
    setUp64(state);
    return TLCRASH_ESUCCESS;
  }
  if (cpu_type == kTLCrashCpuTypeX86) {
    state->stack_direction = TLCRASH_ASYNC_STACK_DIRECTION_DOWN;
    state->greg_size = 4;
    state->x86_state.flavor = kTLCrashX86ThreadState32;
    state->x86_state.count = kTLCrashX86ThreadState32Count;
    state->x86_exc_state.flavor = kTLCrashX86ExceptionState32;
    state->x86_exc_state.count = kTLCrashX86ExceptionState32Count;
    return TLCRASH_ESUCCESS;
  }
  return TLCRASH_ENOTSUP;
}

// Crash time.
void tlcrash_async_thread_state_mcontext_init(tlcrash_async_thread_state_t* state, const mcontext_t* mcontext) {
  zeroState(state);
  setUp64(state);
  auto greg = [mcontext](int index) { return static_cast<uint64_t>(mcontext->gregs[index]); };
  auto& ts = state->x86_state.uts.ts64;
  ts.rax = greg(REG_RAX);
  ts.rbx = greg(REG_RBX);
  ts.rcx = greg(REG_RCX);
  ts.rdx = greg(REG_RDX);
  ts.rdi = greg(REG_RDI);
  ts.rsi = greg(REG_RSI);
  ts.rbp = greg(REG_RBP);
  ts.rsp = greg(REG_RSP);
  ts.r8 = greg(REG_R8);
  ts.r9 = greg(REG_R9);
  ts.r10 = greg(REG_R10);
  ts.r11 = greg(REG_R11);
  ts.r12 = greg(REG_R12);
  ts.r13 = greg(REG_R13);
  ts.r14 = greg(REG_R14);
  ts.r15 = greg(REG_R15);
  ts.rip = greg(REG_RIP);
  ts.rflags = greg(REG_EFL);
  // The kernel packs cs, gs and fs into one word, 16 bits each from the bottom.
  uint64_t csgsfs = greg(REG_CSGSFS);
  ts.cs = csgsfs & 0xFFFF;
  ts.gs = (csgsfs >> 16) & 0xFFFF;
  ts.fs = (csgsfs >> 32) & 0xFFFF;
  auto& es = state->x86_exc_state.ues.es64;
  es.trapno = static_cast<uint16_t>(greg(REG_TRAPNO));
  es.err = static_cast<uint32_t>(greg(REG_ERR));
  es.faultvaddr = greg(REG_CR2);
  state->valid_regs = (UINT64_C(1) << TLCRASH_X86_64_REG_COUNT) - 1;
}

// Crash time.
void tlcrash_async_thread_state_copy(tlcrash_async_thread_state_t* destination,
                                     const tlcrash_async_thread_state_t* source) {
  tlcrash_async_memcpy(destination, source, sizeof(*destination));
}

// Crash time.
uint32_t tlcrash_async_thread_state_get_reg_count(const tlcrash_async_thread_state_t* state) {
  return isX86(state) ? static_cast<uint32_t>(TLCRASH_X86_REG_COUNT) : static_cast<uint32_t>(TLCRASH_X86_64_REG_COUNT);
}

// Crash time.
bool tlcrash_async_thread_state_has_reg(const tlcrash_async_thread_state_t* state, uint32_t reg) {
  if (reg >= tlcrash_async_thread_state_get_reg_count(state)) return false;
  return (state->valid_regs & (UINT64_C(1) << reg)) != 0;
}

// Crash time.
void tlcrash_async_thread_state_clear_reg(tlcrash_async_thread_state_t* state, uint32_t reg) {
  if (reg >= 64) return;
  state->valid_regs &= ~(UINT64_C(1) << reg);
}

// Crash time.
void tlcrash_async_thread_state_clear_all_regs(tlcrash_async_thread_state_t* state) { state->valid_regs = 0; }

// Crash time.
void tlcrash_async_thread_state_clear_volatile_regs(tlcrash_async_thread_state_t* state) {
  uint32_t count = tlcrash_async_thread_state_get_reg_count(state);
  for (uint32_t reg = 0; reg < count; ++reg) {
    bool saved = isX86(state) ? kX86Registers[reg].callee_saved : kX86_64Registers[reg].callee_saved;
    if (!saved) tlcrash_async_thread_state_clear_reg(state, reg);
  }
}

// Crash time.
uint64_t tlcrash_async_thread_state_get_reg(const tlcrash_async_thread_state_t* state, uint32_t reg) {
  // The slot helpers only compute addresses; the const_cast never leads to a write here.
  auto* mutable_state = const_cast<tlcrash_async_thread_state_t*>(state);
  if (isX86(state)) {
    if (reg == TLCRASH_X86_TRAPNO) return state->x86_exc_state.ues.es32.trapno;
    const uint32_t* slot = slot32(mutable_state, reg);
    return slot != nullptr ? *slot : 0;
  }
  const uint64_t* slot = slot64(mutable_state, reg);
  return slot != nullptr ? *slot : 0;
}

// Crash time.
void tlcrash_async_thread_state_set_reg(tlcrash_async_thread_state_t* state, uint32_t reg, uint64_t value) {
  if (reg >= tlcrash_async_thread_state_get_reg_count(state)) return;
  if (isX86(state)) {
    if (reg == TLCRASH_X86_TRAPNO) {
      state->x86_exc_state.ues.es32.trapno = static_cast<uint16_t>(value);
    } else {
      *slot32(state, reg) = static_cast<uint32_t>(value);
    }
  } else {
    *slot64(state, reg) = value;
  }
  state->valid_regs |= UINT64_C(1) << reg;
}

// Crash time.
const char* tlcrash_async_thread_state_get_reg_name(const tlcrash_async_thread_state_t* state, uint32_t reg) {
  if (reg >= tlcrash_async_thread_state_get_reg_count(state)) {
    TLCRASH_DIAG("Missing register name for register id: %d", static_cast<int>(reg));
    return nullptr;
  }
  return isX86(state) ? kX86Registers[reg].name : kX86_64Registers[reg].name;
}

// Crash time.
uint32_t tlcrash_async_thread_state_get_stack_direction(const tlcrash_async_thread_state_t* state) {
  return state->stack_direction;
}

// Crash time.
uint64_t tlcrash_async_thread_state_get_greg_size(const tlcrash_async_thread_state_t* state) { return state->greg_size; }

// Crash time.
bool tlcrash_async_thread_state_map_dwarf_to_reg(const tlcrash_async_thread_state_t* state, uint64_t dwarf_reg,
                                                 uint32_t* reg) {
  const DwarfRow* rows = isX86(state) ? kX86Dwarf : kX86_64Dwarf;
  size_t count = isX86(state) ? sizeof(kX86Dwarf) / sizeof(kX86Dwarf[0]) : sizeof(kX86_64Dwarf) / sizeof(kX86_64Dwarf[0]);
  for (size_t i = 0; i < count; ++i) {
    if (rows[i].dwarf == dwarf_reg) {
      *reg = rows[i].reg;
      return true;
    }
  }
  return false;
}

// Crash time.
bool tlcrash_async_thread_state_map_reg_to_dwarf(const tlcrash_async_thread_state_t* state, uint32_t reg,
                                                 uint64_t* dwarf_reg) {
  const DwarfRow* rows = isX86(state) ? kX86Dwarf : kX86_64Dwarf;
  size_t count = isX86(state) ? sizeof(kX86Dwarf) / sizeof(kX86Dwarf[0]) : sizeof(kX86_64Dwarf) / sizeof(kX86_64Dwarf[0]);
  for (size_t i = 0; i < count; ++i) {
    if (rows[i].reg == reg) {
      *dwarf_reg = rows[i].dwarf;
      return true;
    }
  }
  return false;
}

}  // namespace ml::crash
