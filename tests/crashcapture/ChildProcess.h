#pragma once
// Running a piece of a test in a forked child: crashes for real, process-wide once-only state
// (enabling the reporter) and signal actions stay out of the test process. The child's standard
// error is collected; the child is killed when it outlives a generous bound, so a hang fails the
// test instead of blocking the suite.
//
// The body runs in the child only: it must not use test assertions (they would be lost). It
// reports through its exit status, its signal, standard error and files.
#include <chrono>
#include <functional>
#include <string>

namespace ml::crash::test {

struct ChildOutcome {
  bool exited = false;
  int exitCode = -1;
  bool signaled = false;
  int signal = 0;
  bool killedAfterBound = false;
  std::string stderrText;
};

// Forks, runs `body` with standard error redirected into a pipe, and _exit(0)s when it returns.
ChildOutcome runInChild(const std::function<void()>& body,
                        std::chrono::milliseconds bound = std::chrono::milliseconds(60000));

// "exit 3", "signal 11 (SIGSEGV)", ... plus the child's standard error, for failure messages.
std::string describe(const ChildOutcome& outcome);

}  // namespace ml::crash::test
