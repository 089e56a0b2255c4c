#pragma once
// A processor fault raised inside a running child, for tests that need a real crash of a program
// that has no way to crash on request. A fatal signal sent with kill is not the same thing: the
// kernel marks it as sent (si_code <= 0), and crash capture that listens for faults does not take
// it as one.
#include <sys/types.h>

#include <optional>
#include <string>

namespace ml::test {

struct InjectionFailure {
  std::string step;  // the ptrace request that failed
  int error = 0;     // its errno
};

// Makes the main thread of `pid` (a child of this process) call address 0, as a call through a
// null function pointer does: the thread is stopped where it is (a system call in progress is
// abandoned, not restarted), its return address is pushed and it resumes at 0, which faults
// (SIGSEGV, SEGV_MAPERR at address 0). Returns what failed, nothing when the thread was sent on
// its way.
std::optional<InjectionFailure> callNullOnMainThread(pid_t pid);

}  // namespace ml::test
