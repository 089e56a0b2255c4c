#include "support/ChildProcess.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

namespace ml::test {
namespace {

// The test's environment with `additions` set on top, as NAME=value lines.
std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& additions) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    const auto equals = text.find('=');
    if (equals != std::string::npos) merged[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : additions) merged[name] = value;
  std::vector<std::string> lines;
  lines.reserve(merged.size());
  for (const auto& [name, value] : merged) lines.push_back(name + "=" + value);
  return lines;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Everything written to `fd` so far, read from its start without moving the shared offset.
std::string readAll(int fd) {
  std::string text;
  if (fd < 0) return text;
  char buffer[8192];
  off_t at = 0;
  for (;;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
    if (n > 0) {
      text.append(buffer, static_cast<size_t>(n));
      at += n;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return text;
    }
  }
}

// An exception escaping the body must end the child through std::terminate, as it would in a
// program of its own, rather than unwind into the test framework's handlers in the child.
void runBody(const std::function<void()>& body) noexcept { body(); }

std::string tail(const std::string& text) {
  constexpr size_t kShown = 8192;  // the end of a long output says the most
  return text.size() > kShown ? "..." + text.substr(text.size() - kShown) : text;
}

}  // namespace

std::string ChildOutcome::describe() const {
  std::string text;
  if (killedAfterBound) {
    text = "killed after outliving its bound";
  } else if (exited) {
    text = "exit " + std::to_string(exitCode);
  } else if (signaled) {
    const char* name = ::sigabbrev_np(signal);
    text = "signal " + std::to_string(signal) + " (SIG" + (name != nullptr ? name : "?") + ")";
  } else {
    text = "did not run";
  }
  return text + "\n--- stdout\n" + tail(out) + "\n--- stderr\n" + tail(err);
}

void ChildProcess::startProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                const std::map<std::string, std::string>& environment) {
  // Everything the child needs is prepared before fork: after it only async-signal-safe calls.
  std::vector<std::string> argvText{program.string()};
  argvText.insert(argvText.end(), arguments.begin(), arguments.end());
  std::vector<std::string> envText = mergedEnvironment(environment);
  std::vector<char*> argv = pointersTo(argvText);
  std::vector<char*> envp = pointersTo(envText);
  start([&] { ::execve(argv[0], argv.data(), envp.data()); });
}

ChildProcess::ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment, std::filesystem::path outputFile) {
  outFd_ = ::open(outputFile.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  startProgram(program, arguments, environment);
}

ChildProcess::ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment) {
  outFd_ = ::memfd_create("child-stdout", MFD_CLOEXEC);
  errFd_ = ::memfd_create("child-stderr", MFD_CLOEXEC);
  startProgram(program, arguments, environment);
}

ChildProcess::ChildProcess(const std::function<void()>& body) {
  outFd_ = ::memfd_create("child-stdout", MFD_CLOEXEC);
  errFd_ = ::memfd_create("child-stderr", MFD_CLOEXEC);
  start([&] {
    runBody(body);
    ::_exit(0);
  });
}

void ChildProcess::start(const std::function<void()>& inChild) {
  pid_ = ::fork();
  if (pid_ != 0) return;
  if (outFd_ >= 0) {
    ::dup2(outFd_, STDOUT_FILENO);
    ::dup2(errFd_ >= 0 ? errFd_ : outFd_, STDERR_FILENO);
  }
  inChild();
  ::_exit(127);  // exec failed
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !status_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  if (outFd_ >= 0) ::close(outFd_);
  if (errFd_ >= 0) ::close(errFd_);
}

void ChildProcess::signal(int signalNumber) const {
  if (pid_ > 0 && !status_) ::kill(pid_, signalNumber);
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds limit) {
  if (status_ || pid_ <= 0) return status_;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      status_ = status;
      return status_;
    }
    if ((done < 0 && errno != EINTR) || std::chrono::steady_clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

ChildOutcome ChildProcess::finish(std::chrono::milliseconds bound) {
  ChildOutcome outcome;
  if (pid_ <= 0) return outcome;
  if (!wait(bound)) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    if (::waitpid(pid_, &status, 0) == pid_) status_ = status;
    outcome.killedAfterBound = true;
  }
  if (status_ && WIFEXITED(*status_)) {
    outcome.exited = true;
    outcome.exitCode = WEXITSTATUS(*status_);
  } else if (status_ && WIFSIGNALED(*status_)) {
    outcome.signaled = true;
    outcome.signal = WTERMSIG(*status_);
  }
  outcome.out = readAll(outFd_);
  outcome.err = readAll(errFd_);
  return outcome;
}

std::string ChildProcess::output() const { return readAll(outFd_) + readAll(errFd_); }

ChildOutcome runProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                        std::chrono::milliseconds bound, const std::map<std::string, std::string>& environment) {
  ChildProcess child(program, arguments, environment);
  return child.finish(bound);
}

ChildOutcome runInChild(const std::function<void()>& body, std::chrono::milliseconds bound) {
  ChildProcess child(body);
  return child.finish(bound);
}

}  // namespace ml::test
