#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ml::crash::test {
namespace {

// An exception escaping the body must end the child through std::terminate, as it would in a
// program of its own, rather than unwind into the test framework's handlers in the child.
void runBody(const std::function<void()>& body) noexcept { body(); }

}  // namespace

ChildOutcome runInChild(const std::function<void()>& body, std::chrono::milliseconds bound) {
  ChildOutcome outcome;
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return outcome;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipe_fds[1], 2);
    ::close(pipe_fds[0]);
    runBody(body);
    ::_exit(0);
  }
  ::close(pipe_fds[1]);
  if (pid < 0) {
    ::close(pipe_fds[0]);
    return outcome;
  }

  const auto deadline = std::chrono::steady_clock::now() + bound;
  bool open = true;
  int status = 0;
  for (;;) {
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      outcome.killedAfterBound = true;
      break;
    }
    if (open) {
      pollfd poll_fd{pipe_fds[0], POLLIN, 0};
      if (::poll(&poll_fd, 1, 20) > 0) {
        char buffer[4096];
        ssize_t n = ::read(pipe_fds[0], buffer, sizeof(buffer));
        if (n > 0) outcome.stderrText.append(buffer, static_cast<size_t>(n));
        else if (n == 0) open = false;
      }
    } else {
      ::usleep(2000);
    }
  }
  // What the child wrote last.
  char buffer[4096];
  ssize_t n;
  while (open && (n = ::read(pipe_fds[0], buffer, sizeof(buffer))) > 0) outcome.stderrText.append(buffer, static_cast<size_t>(n));
  ::close(pipe_fds[0]);

  if (WIFEXITED(status)) {
    outcome.exited = true;
    outcome.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    outcome.signaled = true;
    outcome.signal = WTERMSIG(status);
  }
  return outcome;
}

std::string describe(const ChildOutcome& outcome) {
  std::string text;
  if (outcome.killedAfterBound) text = "killed after outliving its bound";
  else if (outcome.exited) text = "exit " + std::to_string(outcome.exitCode);
  else if (outcome.signaled) {
    const char* name = ::sigabbrev_np(outcome.signal);
    text = "signal " + std::to_string(outcome.signal) + " (SIG" + (name != nullptr ? name : "?") + ")";
  }
  else text = "did not run";
  // The end of a long standard error says the most.
  constexpr size_t kShown = 4096;
  const std::string& err = outcome.stderrText;
  return text + "; stderr:\n" + (err.size() > kShown ? "..." + err.substr(err.size() - kShown) : err);
}

}  // namespace ml::crash::test
