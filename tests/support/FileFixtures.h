#pragma once
// Fixtures for file-system tests: items made immutable for the duration of a test, and the
// lines the leveled logger writes while a test runs. Header-only.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/logging/Log.h"
#include "support/TempDir.h"

namespace ml::test {

// Sets the immutable inode flag (as `chattr +i`; the tests run as root) and clears it again on
// destruction so the temporary folder can be removed. ok() is false where the file system or
// the privileges do not allow it; tests skip then.
class ImmutableItem {
 public:
  explicit ImmutableItem(std::filesystem::path item) : item_(std::move(item)) { ok_ = setFlag(true); }
  ~ImmutableItem() {
    if (ok_) setFlag(false);
  }
  ImmutableItem(const ImmutableItem&) = delete;
  ImmutableItem& operator=(const ImmutableItem&) = delete;
  bool ok() const { return ok_; }

 private:
  bool setFlag(bool on) {
    const int fd = ::open(item_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
  }
  std::filesystem::path item_;
  bool ok_ = false;
};

// Enables synchronous logging at verbose level into a temporary folder; text() gives every line
// written so far. Resets the logger on destruction.
class LogCapture {
 public:
  LogCapture() {
    logging::Log::resetForTesting();
    logging::Log::enable({logging::RotatingLogFileConfiguration(logging::LogSeverity::verbose, 1, dir_.path(), true)});
  }
  ~LogCapture() { logging::Log::resetForTesting(); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string text() const {
    logging::Log::flush();
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      std::ifstream in(entry.path());
      std::stringstream s;
      s << in.rdbuf();
      all += s.str();
    }
    return all;
  }

 private:
  TempDir dir_;
};

}  // namespace ml::test
