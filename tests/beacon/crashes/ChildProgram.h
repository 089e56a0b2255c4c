#pragma once
// Runs a program as a child process and collects what it wrote and how it ended. The child
// inherits the environment (the test's XDG sandbox); a child that outlives its bound is killed,
// so a hang fails the test instead of blocking the suite.
#include <chrono>
#include <string>
#include <vector>

namespace ml::beacon::test {

struct ChildResult {
  bool exited = false;
  int exitCode = -1;
  bool signaled = false;
  int signal = 0;
  bool killedAfterBound = false;
  std::string out;
  std::string err;

  // "exit 3" or "signal 11", with the child's output, for failure messages.
  std::string describe() const;
};

ChildResult runProgram(const std::string& path, const std::vector<std::string>& arguments,
                       std::chrono::milliseconds bound = std::chrono::seconds(90));

}  // namespace ml::beacon::test
