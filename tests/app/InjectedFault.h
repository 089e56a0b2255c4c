#pragma once
// A processor fault raised inside a running child, for tests that need a real crash of a program
// that has no way to crash on request. A fatal signal sent with kill is not the same thing: the
// kernel marks it as sent (si_code <= 0), and crash capture that listens for faults does not take
// it as one.
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace ml::test {

struct InjectionFailure {
  std::string step;  // what failed (a ptrace request, the look-up of the function)
  int error = 0;     // its errno, 0 when there is none
};

// The address in the child `pid` of `function`, a function of a shared library this process has
// loaded too (the same file, mapped at the child's own base). Nothing when the child has not
// mapped that file.
std::optional<std::uint64_t> sameFunctionInChild(pid_t pid, const void* function);

// Makes the main thread of `pid` (a child of this process) call `function` with `argument` as its
// first argument, as if the code it was running had made that call: the thread is stopped where it
// is (a system call in progress is abandoned, not restarted), its instruction pointer is pushed as
// the return address and it resumes at the function's entry.
struct InjectedCall {
  std::optional<InjectionFailure> failure;  // nothing when the thread was sent on its way
  std::uint64_t returnAddress = 0;          // where the thread was stopped
};
InjectedCall callOnMainThread(pid_t pid, std::uint64_t function, std::uint64_t argument);

}  // namespace ml::test
