#pragma once
// A child process of the test: a program (its arguments, environment additions) or a piece of
// the test forked on its own (crashes for real, process-wide once-only state and signal actions
// stay out of the test process). Standard output and error are captured, to a file the caller
// names or to anonymous in-memory files, so a child never blocks on a full pipe however much it
// writes. Waits are bounded; the child is killed (SIGKILL) and reaped when the object goes, so a
// failing test leaves no process behind.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ml::test {

// How a child ended and what it wrote.
struct ChildOutcome {
  bool exited = false;
  int exitCode = -1;
  bool signaled = false;
  int signal = 0;
  bool killedAfterBound = false;
  std::string out;  // standard output (both streams when they went to one named file)
  std::string err;  // standard error

  // "exit 3", "signal 11 (SIGSEGV)", ... with the end of both streams, for failure messages.
  std::string describe() const;
};

class ChildProcess {
 public:
  // Starts `program` with `arguments`; `environment` entries are set (or replaced) on top of the
  // test's own environment. Standard output and error are both appended to `outputFile`.
  ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment, std::filesystem::path outputFile);
  // The same with the two streams kept apart in memory.
  ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment = {});
  // Forks and runs `body` in the child, which exits 0 when it returns. The body must not use test
  // assertions (they would be lost): it reports through its exit status, its signal, its output
  // and files. An exception escaping it ends the child through std::terminate.
  explicit ChildProcess(const std::function<void()>& body);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // -1 when the child could not be started.
  pid_t pid() const { return pid_; }
  void signal(int signalNumber) const;
  // The exit status as waitpid reports it, or nothing when the child still runs after `limit`
  // (a safety net against a hung test, not a measurement).
  std::optional<int> wait(std::chrono::milliseconds limit = std::chrono::seconds(30));
  // Waits up to `bound`, kills the child past it, and tells how it ended.
  ChildOutcome finish(std::chrono::milliseconds bound);
  // Everything the child wrote so far: standard output, then standard error when they are apart.
  std::string output() const;

 private:
  void start(const std::function<void()>& inChild);
  // Starts `program` with `arguments` and the merged `environment` (the output files are open).
  void startProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                    const std::map<std::string, std::string>& environment);

  pid_t pid_ = -1;
  std::optional<int> status_;
  int outFd_ = -1;  // readable with pread from offset 0; the child writes at its own offset
  int errFd_ = -1;  // -1 when standard error shares outFd_
};

// Runs `program` to its end (killed after `bound`), with the test's environment plus `environment`.
ChildOutcome runProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                        std::chrono::milliseconds bound = std::chrono::seconds(90),
                        const std::map<std::string, std::string>& environment = {});

// Runs `body` in a forked child to its end (killed after `bound`).
ChildOutcome runInChild(const std::function<void()>& body,
                        std::chrono::milliseconds bound = std::chrono::seconds(60));

}  // namespace ml::test
