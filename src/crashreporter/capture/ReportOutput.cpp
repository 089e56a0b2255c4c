#include "crashreporter/capture/ReportOutput.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "crashreporter/AsyncFormat.h"
#include "crashreporter/AsyncString.h"
#include "crashreporter/capture/ReportMode.h"

namespace ml::crash {
namespace {

// The names of a forked process's report; owned by the capture guard's holder.
char g_forked_report_path[PATH_MAX];
char g_forked_partial_path[PATH_MAX];

// Crash time.
uint64_t randomBits() {
  uint64_t bits = 0;
  if (::getrandom(&bits, sizeof(bits), GRND_NONBLOCK) == static_cast<ssize_t>(sizeof(bits))) return bits;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return (static_cast<uint64_t>(now.tv_sec) << 30) ^ static_cast<uint64_t>(now.tv_nsec);
}

// Names of this (forked) process's own, in the same form as the enabling process's. Crash time.
bool makeForkedNames(const tlcrash_report_output* output, pid_t self) {
  const unsigned long long bits = randomBits();
  const size_t report = tlcrash_async_format(g_forked_report_path, sizeof(g_forked_report_path),
                                             "%s/live_report.%x-%016llx.tlcrash", output->folder,
                                             static_cast<unsigned>(self), bits);
  const size_t partial = tlcrash_async_format(g_forked_partial_path, sizeof(g_forked_partial_path),
                                              "%s/.live_report.%x-%016llx.partial", output->folder,
                                              static_cast<unsigned>(self), bits);
  return report + 1 < sizeof(g_forked_report_path) && partial + 1 < sizeof(g_forked_partial_path);
}

// Whether the unnamed file is still the one made ready: the program may have closed its
// descriptor, and the number may now name another file. Crash time.
bool unnamedFileIntact(const tlcrash_report_output* output) {
  if (output->unnamed_fd < 0) return false;
  struct stat info{};
  return ::fstat(output->unnamed_fd, &info) == 0 && info.st_dev == output->unnamed_dev &&
         info.st_ino == output->unnamed_ino && info.st_nlink == 0 && info.st_size == 0;
}

// Creates the named partial file. The name is this process's own: one that exists already can
// only be left by an earlier attempt of this process, and goes. Crash time.
int openPartial(const char* path) {
  constexpr int kFlags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::open(path, kFlags, kReportFileMode);
  if (fd < 0 && errno == EEXIST && ::unlink(path) == 0) fd = ::open(path, kFlags, kReportFileMode);
  return fd;
}

int openUnnamed(const char* folder) { return ::open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, kReportFileMode); }

}  // namespace

int tlcrash_nasync_report_output_prepare(tlcrash_report_output* output, const char* folder, const char* report_path,
                                         const char* partial_report_path) {
  *output = tlcrash_report_output{};
  const size_t lengths[] = {tlcrash_async_strlen(folder), tlcrash_async_strlen(report_path),
                            tlcrash_async_strlen(partial_report_path)};
  if (lengths[0] >= PATH_MAX || lengths[1] >= PATH_MAX || lengths[2] >= PATH_MAX) return ENAMETOOLONG;
  tlcrash_async_memcpy(output->folder, folder, lengths[0] + 1);
  tlcrash_async_memcpy(output->report_path, report_path, lengths[1] + 1);
  tlcrash_async_memcpy(output->partial_report_path, partial_report_path, lengths[2] + 1);
  output->owner = ::getpid();

  // A probe first: an unnamed file linked under the partial name and removed again shows that
  // this file system makes unnamed files and that a link through /proc reaches them.
  int probe = openUnnamed(folder);
  if (probe < 0) return 0;
  char source[sizeof(output->unnamed_link_source)];
  tlcrash_async_format(source, sizeof(source), "/proc/self/fd/%d", probe);
  const bool linked = ::linkat(AT_FDCWD, source, AT_FDCWD, partial_report_path, AT_SYMLINK_FOLLOW) == 0;
  ::close(probe);
  if (!linked) return 0;
  ::unlink(partial_report_path);

  int fd = openUnnamed(folder);
  struct stat info{};
  if (fd < 0) return 0;
  if (::fstat(fd, &info) != 0) {
    ::close(fd);
    return 0;
  }
  output->unnamed_fd = fd;
  output->unnamed_dev = info.st_dev;
  output->unnamed_ino = info.st_ino;
  tlcrash_async_format(output->unnamed_link_source, sizeof(output->unnamed_link_source), "/proc/self/fd/%d", fd);
  return 0;
}

// Crash time.
bool tlcrash_async_report_file_open(const tlcrash_report_output* output, tlcrash_report_file* file) {
  *file = tlcrash_report_file{};
  file->report_path = output->report_path;
  file->partial_path = output->partial_report_path;
  const pid_t self = ::getpid();
  if (self == output->owner) {
    if (unnamedFileIntact(output)) {
      // A duplicate is written and closed; the prepared descriptor stays open for the link.
      file->fd = ::fcntl(output->unnamed_fd, F_DUPFD_CLOEXEC, 0);
      if (file->fd >= 0) {
        file->unnamed = true;
        return true;
      }
    }
  } else {
    if (!makeForkedNames(output, self)) {
      errno = ENAMETOOLONG;
      return false;
    }
    file->report_path = g_forked_report_path;
    file->partial_path = g_forked_partial_path;
  }
  file->fd = openPartial(file->partial_path);
  return file->fd >= 0;
}

// Crash time.
bool tlcrash_async_report_file_publish(const tlcrash_report_output* output, const tlcrash_report_file* file) {
  if (file->unnamed) {
    // A link never replaces an existing name.
    return ::linkat(AT_FDCWD, output->unnamed_link_source, AT_FDCWD, file->report_path, AT_SYMLINK_FOLLOW) == 0;
  }
  if (::rename(file->partial_path, file->report_path) == 0) return true;
  const int error = errno;
  ::unlink(file->partial_path);
  errno = error;
  return false;
}

// Crash time.
void tlcrash_async_report_file_discard(const tlcrash_report_file* file) {
  if (!file->unnamed && file->partial_path != nullptr) ::unlink(file->partial_path);
}

}  // namespace ml::crash
