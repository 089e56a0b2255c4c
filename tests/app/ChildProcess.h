#pragma once
// A program run as a child of the test: its own environment additions, standard output and error
// captured to a file, signals, and waiting for its end. The child is killed (SIGKILL) and reaped
// when the object goes, so a failing test leaves no process behind.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ml::test {

class ChildProcess {
 public:
  // Starts `program` with `arguments`; `environment` entries are set (or replaced) on top of the
  // test's own environment. Output goes to `outputFile`.
  ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment, std::filesystem::path outputFile);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  void signal(int signalNumber) const;
  // The exit status as waitpid reports it, or nothing when the child still runs after `limit`
  // (a safety net against a hung test, not a measurement).
  std::optional<int> wait(std::chrono::milliseconds limit = std::chrono::seconds(30));
  // Everything the child wrote so far.
  std::string output() const;

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  std::filesystem::path outputFile_;
};

// Polls `done` every few milliseconds until it holds or `limit` passes (a safety net).
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(60));

}  // namespace ml::test
