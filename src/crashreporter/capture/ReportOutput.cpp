#include "crashreporter/capture/ReportOutput.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "crashreporter/AsyncDiagnostic.h"
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

// The path a link of descriptor `fd`'s unnamed file goes through. Crash time.
void linkSource(char (&source)[sizeof(tlcrash_report_file::link_source)], int fd) {
  tlcrash_async_format(source, sizeof(source), "/proc/self/fd/%d", fd);
}

// fsync, again when a signal cut it short. Crash time.
int syncFile(int fd) {
  int result;
  do {
    result = ::fsync(fd);
  } while (result != 0 && errno == EINTR);
  // A descriptor that cannot be synced (a file system without the call) has nothing to write back.
  return result != 0 && errno == EINVAL ? 0 : result;
}

// Syncs the folder, so a name just linked or renamed in it survives a power loss. Crash time.
void syncFolder(const char* folder) {
  const int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || syncFile(fd) != 0) {
    TLCRASH_DIAG("Could not sync the crash report folder: %s", tlcrash_async_errno_text(errno));
  }
  if (fd >= 0) ::close(fd);
}

// The smallest reservation worth keeping: below it the crash path may as well live on the
// volume's free space.
constexpr uint64_t kMinimumReservation = 16 * 1024;

// Reserves room for `fd`'s report beyond its end (its size stays 0): `bytes`, or the largest half
// of it down to kMinimumReservation that the volume still has. The bytes reserved; 0 where the
// file system cannot reserve. Normal context.
uint64_t reserveRoom(int fd, uint64_t bytes) {
  for (uint64_t size = bytes; size >= kMinimumReservation; size /= 2) {
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0) return size;
    if (errno != ENOSPC && errno != EDQUOT) return 0;  // not supported here, or not for this file
  }
  return 0;
}

}  // namespace

int tlcrash_nasync_report_output_prepare(tlcrash_report_output* output, const char* folder, const char* report_path,
                                         const char* partial_report_path, uint64_t reserve_bytes) {
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
  char source[sizeof(tlcrash_report_file::link_source)];
  linkSource(source, probe);
  const bool linked = ::linkat(AT_FDCWD, source, AT_FDCWD, partial_report_path, AT_SYMLINK_FOLLOW) == 0;
  ::close(probe);
  if (!linked) return 0;
  ::unlink(partial_report_path);
  output->unnamed_works = true;

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
  output->unnamed_reserved = reserveRoom(fd, reserve_bytes);
  return 0;
}

// Crash time.
bool tlcrash_async_report_file_open(const tlcrash_report_output* output, tlcrash_report_file* file) {
  *file = tlcrash_report_file{};
  file->report_path = output->report_path;
  file->partial_path = output->partial_report_path;
  const pid_t self = ::getpid();
  if (self == output->owner) {
    // A duplicate is written; the prepared descriptor stays as it is (an earlier attempt that
    // failed found it untouched too).
    if (unnamedFileIntact(output)) {
      file->fd = ::fcntl(output->unnamed_fd, F_DUPFD_CLOEXEC, 0);
      if (file->fd >= 0) file->reserved = output->unnamed_reserved;
    }
  } else {
    // A forked process: the parent's descriptor and names are not ours.
    if (!makeForkedNames(output, self)) {
      errno = ENAMETOOLONG;
      return false;
    }
    file->report_path = g_forked_report_path;
    file->partial_path = g_forked_partial_path;
    if (output->unnamed_works) file->fd = openUnnamed(output->folder);
  }
  if (file->fd >= 0) {
    file->unnamed = true;
    linkSource(file->link_source, file->fd);
    return true;
  }
  file->fd = openPartial(file->partial_path);
  return file->fd >= 0;
}

// Crash time.
uint64_t tlcrash_async_report_file_room(const tlcrash_report_file* file, uint64_t limit) {
  if (file->reserved >= limit) return limit;
  struct statfs volume{};
  if (::fstatfs(file->fd, &volume) != 0 || volume.f_bsize <= 0) return limit;  // it cannot say: try it all
  // What goes beyond the reservation takes whole free blocks.
  const uint64_t beyond = limit - file->reserved;
  const auto block = static_cast<uint64_t>(volume.f_bsize);
  const auto blocks = static_cast<uint64_t>(volume.f_bavail);
  return file->reserved + (blocks > beyond / block ? beyond : blocks * block);
}

// Crash time.
bool tlcrash_async_report_file_out_of_room(int error) { return error == ENOSPC || error == EDQUOT; }

// Crash time.
bool tlcrash_async_report_file_rewind(const tlcrash_report_file* file, uint64_t* landed) {
  struct stat info{};
  if (::fstat(file->fd, &info) != 0) return false;
  *landed = static_cast<uint64_t>(info.st_size);
  return ::lseek(file->fd, 0, SEEK_SET) == 0;
}

// Crash time.
bool tlcrash_async_report_file_publish(const tlcrash_report_output* output, const tlcrash_report_file* file,
                                       uint64_t length) {
  // Cutting also frees what was reserved beyond the end (the size may not even change).
  if (::ftruncate(file->fd, static_cast<off_t>(length)) != 0) return false;
  // On the disk before it has a name: a power loss must not leave a named but empty report.
  if (syncFile(file->fd) != 0) return false;
  if (file->unnamed) {
    // A link never replaces an existing name.
    if (::linkat(AT_FDCWD, file->link_source, AT_FDCWD, file->report_path, AT_SYMLINK_FOLLOW) != 0) return false;
  } else if (::rename(file->partial_path, file->report_path) != 0) {
    return false;
  }
  syncFolder(output->folder);
  return true;
}

// Crash time.
void tlcrash_async_report_file_discard(const tlcrash_report_file* file) {
  if (!file->unnamed && file->partial_path != nullptr) {
    const int error = errno;
    ::unlink(file->partial_path);
    errno = error;
  }
}

}  // namespace ml::crash
