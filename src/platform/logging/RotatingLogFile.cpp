#include "platform/logging/RotatingLogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <vector>

#include "platform/logging/ErrnoText.h"

namespace ml::logging {

RotatingLogFile::RotatingLogFile(RotatingLogFileConfiguration configuration)
    : configuration_(std::move(configuration)) {}

RotatingLogFile::~RotatingLogFile() { close(); }

void RotatingLogFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  openDay_.reset();
}

bool RotatingLogFile::open(const LocalDay& day) {
  close();
  // The folder is made by createLogDirectory() at set-up; making it again here keeps logging
  // going when someone deleted it while the application ran.
  std::error_code ec;
  std::filesystem::create_directories(configuration_.directory(), ec);
  auto path = configuration_.directory() / day.fileName();
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0640);
  if (fd < 0) {
    int err = errno;
    if (lastReportedFailureDay_ != day) {
      lastReportedFailureDay_ = day;
      std::fprintf(stderr, "[ERROR] unable to open log file %s: %s\n", path.c_str(),
                   errnoText(err).c_str());
    }
    return false;
  }
  fd_ = fd;
  openDay_ = day;
  return true;
}

void RotatingLogFile::append(const LocalDay& day, std::string_view lines) {
  if (openDay_ != day) {
    // A later day means the day changed (or logging resumed after days): expire old files first.
    if (!lastRetentionDay_ || *lastRetentionDay_ < day) removeExpired(day);
    if (!open(day)) return;
  }
  const char* data = lines.data();
  std::size_t left = lines.size();
  while (left > 0) {
    ssize_t n = ::write(fd_, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      // Disk full or the like: drop the rest of this batch rather than spin; the next batch tries
      // again on the same descriptor.
      return;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
}

int RotatingLogFile::removeExpired(const LocalDay& today) {
  lastRetentionDay_ = today;
  // Collect first, remove after: removing entries while reading the folder may skip some.
  std::vector<std::filesystem::path> expired;
  std::error_code ec;
  std::filesystem::directory_iterator it(configuration_.directory(), ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    auto day = LocalDay::fromFileName(it->path().filename().native());
    if (!day) continue;  // not one of ours: never touched
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    if (today.ordinal() - day->ordinal() >= configuration_.daysToKeep()) expired.push_back(it->path());
  }
  int removed = 0;
  for (const auto& path : expired) {
    std::error_code removeError;
    if (std::filesystem::remove(path, removeError)) ++removed;
  }
  return removed;
}

}  // namespace ml::logging
