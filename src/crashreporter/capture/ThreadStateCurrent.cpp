#include "crashreporter/capture/ThreadStateCurrent.h"

#include <cstddef>

namespace ml::crash {

// The 21 general registers in the order of tlcrash_x86_thread_state64_t, as the assembly below
// stores them.
static_assert(offsetof(tlcrash_x86_thread_state64_t, rsp) == 56);
static_assert(offsetof(tlcrash_x86_thread_state64_t, r8) == 64);
static_assert(offsetof(tlcrash_x86_thread_state64_t, rip) == 128);
static_assert(offsetof(tlcrash_x86_thread_state64_t, gs) == 160);
static_assert(sizeof(tlcrash_x86_thread_state64_t) == 168);

// Called by the assembly with the stored registers; builds the state (exception state zero,
// every register valid) and hands it on.
extern "C" __attribute__((used, visibility("hidden"))) tlcrash_error_t tlcrash_async_thread_state_current_finish(
    const tlcrash_x86_thread_state64_t* registers, tlcrash_async_thread_state_current_callback callback,
    void* context) {
  tlcrash_async_thread_state_t state;
  mcontext_t machine{};  // the general registers only; the float state stays zero
  machine.gregs[REG_RAX] = static_cast<greg_t>(registers->rax);
  machine.gregs[REG_RBX] = static_cast<greg_t>(registers->rbx);
  machine.gregs[REG_RCX] = static_cast<greg_t>(registers->rcx);
  machine.gregs[REG_RDX] = static_cast<greg_t>(registers->rdx);
  machine.gregs[REG_RDI] = static_cast<greg_t>(registers->rdi);
  machine.gregs[REG_RSI] = static_cast<greg_t>(registers->rsi);
  machine.gregs[REG_RBP] = static_cast<greg_t>(registers->rbp);
  machine.gregs[REG_RSP] = static_cast<greg_t>(registers->rsp);
  machine.gregs[REG_R8] = static_cast<greg_t>(registers->r8);
  machine.gregs[REG_R9] = static_cast<greg_t>(registers->r9);
  machine.gregs[REG_R10] = static_cast<greg_t>(registers->r10);
  machine.gregs[REG_R11] = static_cast<greg_t>(registers->r11);
  machine.gregs[REG_R12] = static_cast<greg_t>(registers->r12);
  machine.gregs[REG_R13] = static_cast<greg_t>(registers->r13);
  machine.gregs[REG_R14] = static_cast<greg_t>(registers->r14);
  machine.gregs[REG_R15] = static_cast<greg_t>(registers->r15);
  machine.gregs[REG_RIP] = static_cast<greg_t>(registers->rip);
  machine.gregs[REG_EFL] = static_cast<greg_t>(registers->rflags);
  // cs, gs and fs packed 16 bits each from the bottom, as the kernel stores them.
  machine.gregs[REG_CSGSFS] = static_cast<greg_t>((registers->cs & 0xFFFF) | ((registers->gs & 0xFFFF) << 16) |
                                                  ((registers->fs & 0xFFFF) << 32));
  tlcrash_async_thread_state_mcontext_init(&state, &machine);
  return callback(&state, context);
}

// On entry: rdi = callback, rsi = context, [rsp] = return address, rsp = 8 (mod 16).
// 168 bytes of register area keep the call into the C++ half 16-byte aligned.
asm(R"(
  .text
  .globl tlcrash_async_thread_state_current
  .type tlcrash_async_thread_state_current, @function
  .p2align 4
tlcrash_async_thread_state_current:
  .cfi_startproc
  subq $168, %rsp
  .cfi_adjust_cfa_offset 168
  movq %rax, 0(%rsp)
  movq %rbx, 8(%rsp)
  movq %rcx, 16(%rsp)
  movq %rdx, 24(%rsp)
  movq %rdi, 32(%rsp)
  movq %rsi, 40(%rsp)
  movq %rbp, 48(%rsp)
  leaq 176(%rsp), %rax
  movq %rax, 56(%rsp)
  movq %r8, 64(%rsp)
  movq %r9, 72(%rsp)
  movq %r10, 80(%rsp)
  movq %r11, 88(%rsp)
  movq %r12, 96(%rsp)
  movq %r13, 104(%rsp)
  movq %r14, 112(%rsp)
  movq %r15, 120(%rsp)
  movq 168(%rsp), %rax
  movq %rax, 128(%rsp)
  pushfq
  popq %rax
  movq %rax, 136(%rsp)
  xorl %eax, %eax
  movw %cs, %ax
  movq %rax, 144(%rsp)
  movw %fs, %ax
  movq %rax, 152(%rsp)
  movw %gs, %ax
  movq %rax, 160(%rsp)
  movq %rsi, %rdx
  movq %rdi, %rsi
  movq %rsp, %rdi
  call tlcrash_async_thread_state_current_finish
  addq $168, %rsp
  .cfi_adjust_cfa_offset -168
  ret
  .cfi_endproc
  .size tlcrash_async_thread_state_current, .-tlcrash_async_thread_state_current
)");

}  // namespace ml::crash
