#include "crashreporter/capture/MachExceptionForward.h"

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/capture/platform/ExceptionMessages.h"
#include "crashreporter/capture/platform/ThreadStates.h"

namespace ml::crash {

using namespace mach;

exception_mask_t tlcrash_exception_to_mask(exception_type_t type) {
  switch (type) {
    case EXC_BAD_ACCESS:
    case EXC_BAD_INSTRUCTION:
    case EXC_ARITHMETIC:
    case EXC_EMULATION:
    case EXC_SOFTWARE:
    case EXC_BREAKPOINT:
    case EXC_SYSCALL:
    case EXC_MACH_SYSCALL:
    case EXC_RPC_ALERT:
    case EXC_CRASH:
    case EXC_GUARD:
      return 1u << type;
    default:
      TLCRASH_DIAG("Unhandled exception type %d; exception_to_mask() should be updated", type);
      return type >= 0 && type < 32 ? 1u << type : 0;
  }
}

kern_return_t TLCrashMachExceptionForward(tlcrash_task_t task, tlcrash_thread_t thread, exception_type_t type,
                                          const mach_exception_data_type_t* codes, uint32_t code_count,
                                          const tlcrash_mach_exception_port_set* port_set) {
  const exception_mask_t bit = tlcrash_exception_to_mask(type);
  uint32_t found = port_set->count;
  const uint32_t count = port_set->count < EXC_TYPES_COUNT ? port_set->count : EXC_TYPES_COUNT;
  for (uint32_t i = 0; i < count; ++i) {
    if (MACH_PORT_VALID(port_set->ports[i]) && (port_set->masks[i] & bit) != 0) {
      found = i;
      break;
    }
  }
  if (found >= count) return KERN_FAILURE;

  const mach_port_t port = port_set->ports[found];
  const exception_behavior_t behavior = port_set->behaviors[found];
  thread_state_flavor_t flavor = port_set->flavors[found];
  const bool wide = (behavior & MACH_EXCEPTION_CODES) != 0;

  // The 32-bit codes of the routines without MACH_EXCEPTION_CODES: the low half of each.
  const uint32_t carried = code_count < kMaxExceptionCodes ? code_count : kMaxExceptionCodes;
  exception_data_type_t narrow[kMaxExceptionCodes] = {};
  for (uint32_t i = 0; i < carried; ++i) narrow[i] = static_cast<exception_data_type_t>(codes[i]);

  switch (behavior & ~MACH_EXCEPTION_CODES) {
    case EXCEPTION_DEFAULT:
      return wide ? tl_mach_exception_raise(port, thread, task, type, codes, code_count)
                  : tl_exception_raise(port, thread, task, type, narrow, code_count);
    case EXCEPTION_STATE:
    case EXCEPTION_STATE_IDENTITY:
      break;
    default:
      TLCRASH_DIAG("Unsupported exception behavior: 0x%x (MACH_EXCEPTION_CODES=%s)", static_cast<unsigned>(behavior),
                   wide ? "true" : "false");
      return KERN_FAILURE;
  }

  uint32_t state[THREAD_STATE_MAX];
  uint32_t state_count = THREAD_STATE_MAX;
  kern_return_t kr = tl_thread_get_state(thread, flavor, state, &state_count);
  if (kr != KERN_SUCCESS) {
    TLCRASH_DIAG("Failed to fetch thread state for thread=0x%x, flavor=0x%x, kr=0x%x", static_cast<unsigned>(thread),
                 static_cast<unsigned>(flavor), static_cast<unsigned>(kr));
    return kr;
  }
  // The new state the handler hands back goes into the same buffer and is not applied.
  uint32_t new_count = 0;
  if ((behavior & ~MACH_EXCEPTION_CODES) == EXCEPTION_STATE) {
    return wide ? tl_mach_exception_raise_state(port, type, codes, code_count, &flavor, state, state_count, state,
                                                &new_count)
                : tl_exception_raise_state(port, type, narrow, code_count, &flavor, state, state_count, state,
                                           &new_count);
  }
  return wide ? tl_mach_exception_raise_state_identity(port, thread, task, type, codes, code_count, &flavor, state,
                                                       state_count, state, &new_count)
              : tl_exception_raise_state_identity(port, thread, task, type, narrow, code_count, &flavor, state,
                                                  state_count, state, &new_count);
}

bool tlcrash_async_mach_exception_get_siginfo(exception_type_t type, const mach_exception_data_type_t* codes,
                                              uint32_t code_count, int32_t, siginfo_t* info) {
  if (code_count < 2) {
    TLCRASH_DIAG("Unexpected Mach code count of %u; can't map to UNIX exception", code_count);
    return false;
  }
  int signo;
  int code = 0;
  switch (type) {
    case EXC_BAD_ACCESS:
      if (codes[0] == KERN_INVALID_ADDRESS) {
        signo = SIGSEGV;
        code = SEGV_MAPERR;
      } else {
        signo = SIGBUS;
        code = BUS_ADRERR;
      }
      break;
    case EXC_BAD_INSTRUCTION:
      signo = SIGILL;
      break;
    case EXC_ARITHMETIC:
      signo = SIGFPE;
      break;
    case EXC_SOFTWARE:
      switch (codes[0]) {
        case EXC_UNIX_BAD_SYSCALL: signo = SIGSYS; break;
        case EXC_UNIX_BAD_PIPE: signo = SIGPIPE; break;
        case EXC_UNIX_ABORT: signo = SIGABRT; break;
        case EXC_SOFT_SIGNAL: signo = SIGKILL; break;
        default:
          TLCRASH_DIAG("Unexpected EXC_SOFTWARE code of %lld", static_cast<long long>(codes[0]));
          signo = SIGABRT;
          break;
      }
      break;
    case EXC_BREAKPOINT:
      signo = SIGTRAP;
      code = TRAP_BRKPT;
      break;
    default:
      // EXC_EMULATION included: this platform has no emulation-trap signal to stand for it.
      return false;
  }
  info->si_signo = signo;
  info->si_code = code;
  info->si_addr = reinterpret_cast<void*>(static_cast<uintptr_t>(codes[1]));
  return true;
}

}  // namespace ml::crash
