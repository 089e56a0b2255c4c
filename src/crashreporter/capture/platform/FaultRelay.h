#pragma once
// The kernel's side of exception delivery: hardware faults (SIGSEGV, SIGBUS, SIGILL, SIGFPE,
// SIGTRAP raised by the processor, not sent by kill) become exceptions that are offered to the
// registered exception ports, and only when no handler takes them, signals.
//
// Signal flow, on the faulting thread (alternate stack when it has one):
//
//   fault -> relay handler: signal -> exception type and codes (tl_fault_relay_exception_for)
//         -> the thread records itself as stopped in an exception (its context, for thread
//            state reads and for the report writer)
//         -> for the thread's registration, then the task's (ExceptionPorts.h): raise the
//            exception at the port in the registration's behaviour and wait for the answer
//            (bounded: kExceptionRaiseTimeoutNs per handler). State behaviours get the thread's
//            registers and may hand back new ones, which are applied to the thread.
//         -> KERN_SUCCESS: the handler dealt with it; the thread resumes (the instruction is
//            retried, unless the handler moved the thread on).
//         -> otherwise the signal goes where it would have gone without the relay: to the action
//            that was installed before the relay, or, when that was the default or ignore, to
//            the default action (the signal is raised again and ends the process).
//
// Two kinds of fault signal reach no exception handler, and go to the unserved-signal handler when
// one is set, then on as above (the signal fallback):
//   - a signal sent by another process (kill, tgkill, sigqueue): it is no exception;
//   - any fault in a process forked from the one that installed the relay: the ports in the
//     tables it inherited are received by threads (the exception servers) that stayed behind in
//     the parent, so nobody would answer.
// The reporter sets one so that a process killed by a fatal signal, and a forked child of a
// process whose faults the exception server captures, still leave a report.
//
// Installed while any exception port is registered (ExceptionPorts.h activates it), removed when
// none is. Activation and deactivation are normal-context calls; everything on the fault path is
// async-signal-safe (fixed tables, the emulated port calls, sigaction, tgkill).
#include <csignal>
#include <cstdint>
#include <ucontext.h>

#include "crashreporter/AsyncMemory.h"
#include "crashreporter/capture/platform/MachTypes.h"

namespace ml::crash::mach {

// Installs the relay on the five fault signals, keeping their current actions for the signal
// fallback; the calling process is the one whose exception handlers the relay raises at.
// Returns 0 or the errno of sigaction. Idempotent (a forked child that registers ports of its own
// calls it again and so becomes the process served).
int tl_fault_relay_activate();
// Puts the kept actions back, on the signals whose action is still the relay's.
void tl_fault_relay_deactivate();
bool tl_fault_relay_active();

// Called on the receiving thread for a fault signal that no exception handler can take (sent
// rather than raised by the processor, or raised in a forked child: see above), before the
// signal goes on to its earlier action. Must be async-signal-safe.
using tl_fault_relay_unserved_signal_handler = void (*)(int signo, siginfo_t* info, ucontext_t* context, void* user);
// Sets (or, with nullptr, clears) the unserved-signal handler and its `user` pointer. Normal context.
void tl_fault_relay_set_unserved_signal_handler(tl_fault_relay_unserved_signal_handler handler, void* user);

// The exception a fault signal is raised as: SIGSEGV and SIGBUS -> EXC_BAD_ACCESS (codes: a
// kernel return code or x86 fault code, then the address), SIGILL -> EXC_BAD_INSTRUCTION, SIGFPE
// -> EXC_ARITHMETIC, SIGTRAP -> EXC_BREAKPOINT. false for any other signal and for signals that
// were sent rather than raised by the processor (si_code <= 0, except SIGTRAP's SI_KERNEL).
// Async-signal-safe.
bool tl_fault_relay_exception_for(const siginfo_t* info, exception_type_t* type, mach_exception_data_type_t codes[2]);

// Records that thread `tid` waits in the relay with `context` and `info` while its exception is
// raised; the slot's index, or -1 when every slot is taken (the thread is relayed all the same).
// Crash time.
int tl_fault_relay_record_stopped(int32_t tid, const ucontext_t* context, const siginfo_t* info);
// Forgets the slot tl_fault_relay_record_stopped gave (nothing for -1). Crash time.
void tl_fault_relay_forget_stopped(int index);

// Whether a fault signal `signo` that no exception handler takes goes on to its default action
// (the action kept from before the relay is the default or ignore), rather than to a handler.
// Async-signal-safe.
bool tl_fault_relay_default_action_follows(int signo);

// The context and signal of a thread that waits in the relay for its exception to be handled;
// false when the thread is not stopped in an exception. Async-signal-safe.
bool tl_fault_relay_stopped_thread(tlcrash_thread_t thread, const ucontext_t** context, const siginfo_t** info);

}  // namespace ml::crash::mach
