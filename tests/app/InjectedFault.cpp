#include "InjectedFault.h"

#include <dlfcn.h>
#include <sys/ptrace.h>
#include <sys/user.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ml::test {

namespace fs = std::filesystem;

std::optional<std::uint64_t> sameFunctionInChild(pid_t pid, const void* function) {
  Dl_info info{};
  if (::dladdr(function, &info) == 0 || !info.dli_fname || !info.dli_fbase) return std::nullopt;
  std::error_code error;
  const fs::path library = fs::canonical(info.dli_fname, error);
  if (error) return std::nullopt;
  const auto offset = reinterpret_cast<std::uintptr_t>(function) - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
  // Lines of the maps file: "start-end perms offset dev inode path".
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  std::string line;
  while (std::getline(maps, line)) {
    std::istringstream fields(line);
    std::string range, permissions, fileOffset, device, inode, path;
    if (!(fields >> range >> permissions >> fileOffset >> device >> inode >> path)) continue;
    if (std::stoull(fileOffset, nullptr, 16) != 0 || fs::path(path) != library) continue;
    return std::stoull(range.substr(0, range.find('-')), nullptr, 16) + offset;
  }
  return std::nullopt;
}

InjectedCall callOnMainThread(pid_t pid, std::uint64_t function, std::uint64_t argument) {
  // Seize and interrupt stop only the traced thread and queue no signal (attach would send a
  // process-wide SIGSTOP that any other thread might take).
  if (::ptrace(PTRACE_SEIZE, pid, nullptr, nullptr) != 0) return {InjectionFailure{"PTRACE_SEIZE", errno}};
  auto fail = [pid](const char* step) {
    InjectedCall failed{InjectionFailure{step, errno}};
    ::ptrace(PTRACE_DETACH, pid, nullptr, nullptr);
    return failed;
  };
  if (::ptrace(PTRACE_INTERRUPT, pid, nullptr, nullptr) != 0) return fail("PTRACE_INTERRUPT");
  int status = 0;
  if (::waitpid(pid, &status, __WALL) != pid || !WIFSTOPPED(status)) return fail("waitpid");
  user_regs_struct registers{};
  if (::ptrace(PTRACE_GETREGS, pid, nullptr, &registers) != 0) return fail("PTRACE_GETREGS");
  const std::uint64_t returnAddress = registers.rip;
  registers.rsp -= sizeof(registers.rip);
  if (::ptrace(PTRACE_POKEDATA, pid, reinterpret_cast<void*>(registers.rsp), reinterpret_cast<void*>(registers.rip)) != 0) {
    return fail("PTRACE_POKEDATA");
  }
  registers.rip = function;
  registers.rdi = argument;
  // No system call to restart: the kernel would otherwise move the new instruction pointer back
  // over a syscall instruction.
  registers.orig_rax = static_cast<unsigned long long>(-1);
  if (::ptrace(PTRACE_SETREGS, pid, nullptr, &registers) != 0) return fail("PTRACE_SETREGS");
  if (::ptrace(PTRACE_DETACH, pid, nullptr, nullptr) != 0) return {InjectionFailure{"PTRACE_DETACH", errno}};
  return {std::nullopt, returnAddress};
}

}  // namespace ml::test
