#pragma once
// Captures what crash-time code writes to standard error (its diagnostic lines) while alive.
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace ml::crash::test {

class StderrCapture {
 public:
  StderrCapture() {
    if (::pipe(fds_) != 0) return;
    ::fcntl(fds_[0], F_SETFL, O_NONBLOCK);
    ::fflush(stderr);
    saved_ = ::dup(2);
    ::dup2(fds_[1], 2);
  }
  ~StderrCapture() {
    restore();
    ::close(fds_[0]);
  }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Everything written so far (the pipe holds 64 KiB, far more than any test writes).
  std::string text() {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds_[0], buffer, sizeof(buffer))) > 0) text_.append(buffer, static_cast<size_t>(n));
    return text_;
  }
  bool contains(const std::string& needle) { return text().find(needle) != std::string::npos; }

 private:
  void restore() {
    if (saved_ < 0) return;
    ::dup2(saved_, 2);
    ::close(saved_);
    ::close(fds_[1]);
    saved_ = -1;
  }
  int fds_[2] = {-1, -1};
  int saved_ = -1;
  std::string text_;
};

}  // namespace ml::crash::test
