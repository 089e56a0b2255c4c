#include "crashreporter/capture/platform/FaultRelay.h"

#include <atomic>
#include <cerrno>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>

#include "crashreporter/capture/platform/ExceptionMessages.h"
#include "crashreporter/capture/platform/ExceptionPorts.h"
#include "crashreporter/capture/platform/ThreadStates.h"

namespace ml::crash::mach {
namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP};
struct sigaction g_previous[NSIG];  // written at activation, read on the fault path
std::atomic<bool> g_active{false};
// The process whose exception handlers the relay raises at; a forked child is not it.
std::atomic<pid_t> g_served_process{0};
std::mutex g_lock;
// The handler is stored after its user pointer, so a fault path that sees a handler also sees the
// pointer that goes with it (set once per enabled reporter, before any fault it handles).
std::atomic<tl_fault_relay_unserved_signal_handler> g_unserved_handler{nullptr};
std::atomic<void*> g_unserved_user{nullptr};

void onFault(int signo, siginfo_t* info, void* context);

bool isRelay(const struct sigaction& action) {
  return (action.sa_flags & SA_SIGINFO) != 0 && action.sa_sigaction == onFault;
}

// Writes the general registers a handler handed back into the interrupted context.
// Crash time (exception-server mode).
void applyRegisters(ucontext_t* context, const tlcrash_x86_thread_state64_t& r) {
  greg_t* g = context->uc_mcontext.gregs;
  g[REG_RAX] = static_cast<greg_t>(r.rax);
  g[REG_RBX] = static_cast<greg_t>(r.rbx);
  g[REG_RCX] = static_cast<greg_t>(r.rcx);
  g[REG_RDX] = static_cast<greg_t>(r.rdx);
  g[REG_RDI] = static_cast<greg_t>(r.rdi);
  g[REG_RSI] = static_cast<greg_t>(r.rsi);
  g[REG_RBP] = static_cast<greg_t>(r.rbp);
  g[REG_RSP] = static_cast<greg_t>(r.rsp);
  g[REG_R8] = static_cast<greg_t>(r.r8);
  g[REG_R9] = static_cast<greg_t>(r.r9);
  g[REG_R10] = static_cast<greg_t>(r.r10);
  g[REG_R11] = static_cast<greg_t>(r.r11);
  g[REG_R12] = static_cast<greg_t>(r.r12);
  g[REG_R13] = static_cast<greg_t>(r.r13);
  g[REG_R14] = static_cast<greg_t>(r.r14);
  g[REG_R15] = static_cast<greg_t>(r.r15);
  g[REG_RIP] = static_cast<greg_t>(r.rip);
  g[REG_EFL] = static_cast<greg_t>(r.rflags);
}

// Raises the exception at one registration, as the kernel would: the registration's behaviour
// picks the message. Async-signal-safe.
// Crash time (exception-server mode).
kern_return_t raiseAt(const tl_exception_port_entry& entry, int32_t tid, exception_type_t type,
                      const mach_exception_data_type_t codes[2], ucontext_t* context) {
  const bool wide = (entry.behavior & MACH_EXCEPTION_CODES) != 0;
  const exception_behavior_t base = entry.behavior & ~MACH_EXCEPTION_CODES;
  const exception_data_type_t narrow[2] = {static_cast<exception_data_type_t>(codes[0]),
                                           static_cast<exception_data_type_t>(codes[1])};
  const tlcrash_task_t task = ::getpid();
  if (base == EXCEPTION_DEFAULT) {
    return wide ? tl_mach_exception_raise(entry.port, tid, task, type, codes, 2)
                : tl_exception_raise(entry.port, tid, task, type, narrow, 2);
  }
  if (base != EXCEPTION_STATE && base != EXCEPTION_STATE_IDENTITY) return KERN_FAILURE;

  tlcrash_async_thread_state_t registers;
  tlcrash_async_thread_state_mcontext_init(&registers, &context->uc_mcontext);
  uint32_t old_state[THREAD_STATE_MAX];
  uint32_t old_count = tl_thread_state_to_flavor(&registers, entry.flavor, old_state, THREAD_STATE_MAX);
  if (old_count == 0) return KERN_FAILURE;
  uint32_t new_state[THREAD_STATE_MAX];
  uint32_t new_count = 0;
  thread_state_flavor_t flavor = entry.flavor;
  kern_return_t kr;
  if (base == EXCEPTION_STATE) {
    kr = wide ? tl_mach_exception_raise_state(entry.port, type, codes, 2, &flavor, old_state, old_count, new_state,
                                              &new_count)
              : tl_exception_raise_state(entry.port, type, narrow, 2, &flavor, old_state, old_count, new_state,
                                         &new_count);
  } else {
    kr = wide ? tl_mach_exception_raise_state_identity(entry.port, tid, task, type, codes, 2, &flavor, old_state,
                                                       old_count, new_state, &new_count)
              : tl_exception_raise_state_identity(entry.port, tid, task, type, narrow, 2, &flavor, old_state,
                                                  old_count, new_state, &new_count);
  }
  tlcrash_x86_thread_state64_t handed_back;
  if (kr == KERN_SUCCESS && tl_thread_state_from_flavor(flavor, new_state, new_count, &handed_back)) {
    applyRegisters(context, handed_back);
  }
  return kr;
}

// Whether the action kept from before the relay is a handler of three arguments / of one.
// Crash time (exception-server mode).
bool previousTakesSiginfo(const struct sigaction& previous) {
  return (previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr && !isRelay(previous);
}
// Crash time (exception-server mode).
bool previousTakesSignal(const struct sigaction& previous) {
  return (previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN &&
         previous.sa_handler != nullptr;
}

// What the signal would have done without the relay. Async-signal-safe.
// Crash time (exception-server mode).
void deliverSignal(int signo, siginfo_t* info, void* context) {
  const struct sigaction& previous = g_previous[signo];
  if (previousTakesSiginfo(previous)) {
    previous.sa_sigaction(signo, info, context);
    return;
  }
  if (previousTakesSignal(previous)) {
    previous.sa_handler(signo);
    return;
  }
  // The default action (a fault cannot be ignored): raised again, it is delivered when this
  // handler returns and ends the process with the original signal.
  struct sigaction fallback{};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(signo, &fallback, nullptr);
  ::syscall(SYS_tgkill, ::getpid(), ::syscall(SYS_gettid), signo);
}

// Crash time (exception-server mode).
void onFault(int signo, siginfo_t* info, void* raw_context) {
  const int saved_errno = errno;
  auto* context = static_cast<ucontext_t*>(raw_context);
  exception_type_t type;
  mach_exception_data_type_t codes[2];
  bool handled = false;
  // A sent signal is no exception; and in a forked child the servers' threads are not there to
  // answer (raising would only wait out the timeout, and then the fault would end the child
  // without a report).
  if (info->si_code <= 0 || ::getpid() != g_served_process.load(std::memory_order_relaxed)) {
    if (auto unserved = g_unserved_handler.load(std::memory_order_acquire); unserved != nullptr) {
      unserved(signo, info, context, g_unserved_user.load(std::memory_order_acquire));
    }
  } else if (tl_fault_relay_exception_for(info, &type, codes)) {
    const auto tid = static_cast<int32_t>(::syscall(SYS_gettid));
    tl_exception_port_entry registrations[2];
    uint32_t count = tl_exception_ports_for(tid, type, registrations);
    if (count > 0) {
      const int stopped = tl_fault_relay_record_stopped(tid, context, info);
      for (uint32_t i = 0; i < count && !handled; ++i) {
        handled = raiseAt(registrations[i], tid, type, codes, context) == KERN_SUCCESS;
      }
      tl_fault_relay_forget_stopped(stopped);
    }
  }
  if (!handled) deliverSignal(signo, info, raw_context);
  errno = saved_errno;
}

}  // namespace

// Crash time (exception-server mode).
bool tl_fault_relay_exception_for(const siginfo_t* info, exception_type_t* type, mach_exception_data_type_t codes[2]) {
  if (info->si_code <= 0) return false;  // sent by kill, tgkill, sigqueue: not a processor fault
  const auto address = static_cast<mach_exception_data_type_t>(reinterpret_cast<uintptr_t>(info->si_addr));
  switch (info->si_signo) {
    case SIGSEGV:
      *type = EXC_BAD_ACCESS;
      codes[0] = info->si_code == SEGV_MAPERR  ? KERN_INVALID_ADDRESS
                 : info->si_code == SI_KERNEL ? EXC_I386_GPFLT
                                              : KERN_PROTECTION_FAILURE;
      codes[1] = address;
      return true;
    case SIGBUS:
      *type = EXC_BAD_ACCESS;
      codes[0] = info->si_code == BUS_ADRALN ? EXC_I386_ALIGNFLT : KERN_MEMORY_ERROR;
      codes[1] = address;
      return true;
    case SIGILL:
      *type = EXC_BAD_INSTRUCTION;
      codes[0] = EXC_I386_INVOP;
      codes[1] = 0;
      return true;
    case SIGFPE:
      *type = EXC_ARITHMETIC;
      codes[0] = info->si_code == FPE_INTDIV ? EXC_I386_DIV : info->si_code == FPE_INTOVF ? EXC_I386_INTO : EXC_I386_SSEEXTERR;
      codes[1] = 0;
      return true;
    case SIGTRAP:
      *type = EXC_BREAKPOINT;
      codes[0] = info->si_code == TRAP_TRACE ? EXC_I386_SGL : EXC_I386_BPT;
      codes[1] = 0;
      return true;
    default:
      return false;
  }
}

// Crash time (exception-server mode).
bool tl_fault_relay_default_action_follows(int signo) {
  if (signo <= 0 || signo >= NSIG) return false;
  const struct sigaction& previous = g_previous[signo];
  return !previousTakesSiginfo(previous) && !previousTakesSignal(previous);
}

int tl_fault_relay_activate() {
  std::lock_guard<std::mutex> lock(g_lock);
  g_served_process.store(::getpid(), std::memory_order_relaxed);
  if (g_active.load()) return 0;
  struct sigaction relay{};
  relay.sa_sigaction = onFault;
  relay.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&relay.sa_mask);
  for (int signo : kFaultSignals) {
    struct sigaction previous{};
    if (::sigaction(signo, nullptr, &previous) != 0) return errno;
    if (isRelay(previous)) continue;
    g_previous[signo] = previous;
    if (::sigaction(signo, &relay, nullptr) != 0) return errno;
  }
  g_active.store(true);
  return 0;
}

void tl_fault_relay_deactivate() {
  std::lock_guard<std::mutex> lock(g_lock);
  if (!g_active.load()) return;
  for (int signo : kFaultSignals) {
    struct sigaction current{};
    if (::sigaction(signo, nullptr, &current) == 0 && isRelay(current)) ::sigaction(signo, &g_previous[signo], nullptr);
  }
  g_active.store(false);
}

bool tl_fault_relay_active() { return g_active.load(); }

void tl_fault_relay_set_unserved_signal_handler(tl_fault_relay_unserved_signal_handler handler, void* user) {
  g_unserved_handler.store(nullptr, std::memory_order_release);
  g_unserved_user.store(user, std::memory_order_release);
  g_unserved_handler.store(handler, std::memory_order_release);
}

}  // namespace ml::crash::mach
