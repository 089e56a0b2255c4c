#include "InjectedFault.h"

#include <sys/ptrace.h>
#include <sys/user.h>
#include <sys/wait.h>

#include <cerrno>

namespace ml::test {

std::optional<InjectionFailure> callNullOnMainThread(pid_t pid) {
  // Seize and interrupt stop only the traced thread and queue no signal (attach would send a
  // process-wide SIGSTOP that any other thread might take).
  if (::ptrace(PTRACE_SEIZE, pid, nullptr, nullptr) != 0) return InjectionFailure{"PTRACE_SEIZE", errno};
  auto fail = [pid](const char* step) {
    InjectionFailure failure{step, errno};
    ::ptrace(PTRACE_DETACH, pid, nullptr, nullptr);
    return failure;
  };
  if (::ptrace(PTRACE_INTERRUPT, pid, nullptr, nullptr) != 0) return fail("PTRACE_INTERRUPT");
  int status = 0;
  if (::waitpid(pid, &status, __WALL) != pid || !WIFSTOPPED(status)) return fail("waitpid");
  user_regs_struct registers{};
  if (::ptrace(PTRACE_GETREGS, pid, nullptr, &registers) != 0) return fail("PTRACE_GETREGS");
  registers.rsp -= sizeof(registers.rip);
  if (::ptrace(PTRACE_POKEDATA, pid, reinterpret_cast<void*>(registers.rsp), reinterpret_cast<void*>(registers.rip)) != 0) {
    return fail("PTRACE_POKEDATA");
  }
  registers.rip = 0;
  // No system call to restart: the kernel would otherwise move the new instruction pointer back
  // over a syscall instruction.
  registers.orig_rax = static_cast<unsigned long long>(-1);
  if (::ptrace(PTRACE_SETREGS, pid, nullptr, &registers) != 0) return fail("PTRACE_SETREGS");
  if (::ptrace(PTRACE_DETACH, pid, nullptr, nullptr) != 0) return InjectionFailure{"PTRACE_DETACH", errno};
  return std::nullopt;
}

}  // namespace ml::test
