#include "crashreporter/capture/platform/ThreadList.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncString.h"

namespace ml::crash {
namespace {

// The prepared descriptor and the process it was opened in (-1 / 0: none).
std::atomic<int> g_task_dir{-1};
std::atomic<pid_t> g_task_dir_pid{0};

// The record layout getdents64 fills (the C library offers no declaration of it).
struct linux_dirent64 {
  uint64_t d_ino;
  int64_t d_off;
  uint16_t d_reclen;
  uint8_t d_type;
  char d_name[1];
};

constexpr size_t kNameOffset = offsetof(linux_dirent64, d_name);

// A thread id from a directory entry name; false for "." and "..".
// Crash time.
bool parseTid(const char* name, size_t max_length, tlcrash_thread_t* tid) {
  int64_t value = 0;
  size_t i = 0;
  for (; i < max_length && name[i] != '\0'; ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
    value = value * 10 + (name[i] - '0');
    if (value > INT32_MAX) return false;
  }
  if (i == 0 || i == max_length) return false;  // empty or unterminated inside its record
  *tid = static_cast<tlcrash_thread_t>(value);
  return true;
}

}  // namespace

// Crash time.
int tlcrash_nasync_thread_list_prepare() {
  pid_t self = ::getpid();
  if (g_task_dir.load() >= 0 && g_task_dir_pid.load() == self) return 0;
  int fd = ::open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  int previous = g_task_dir.exchange(fd);
  g_task_dir_pid.store(self);
  // A descriptor inherited across fork is the parent's: ours to close in this process.
  if (previous >= 0) ::close(previous);
  return 0;
}

// Crash time.
tlcrash_error_t tlcrash_async_thread_list_read(tlcrash_async_thread_list* list) {
  list->count = 0;
  list->truncated = false;

  int fd = g_task_dir.load(std::memory_order_acquire);
  bool own = false;
  if (fd < 0 || g_task_dir_pid.load(std::memory_order_acquire) != ::getpid() || ::lseek(fd, 0, SEEK_SET) != 0) {
    fd = ::open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    own = true;
    if (fd < 0) {
      TLCRASH_DIAG("Fetching thread list failed: %s", tlcrash_async_errno_text(errno));
      return TLCRASH_EINTERNAL;
    }
  }

  alignas(linux_dirent64) char buffer[2048];
  tlcrash_error_t result = TLCRASH_ESUCCESS;
  for (;;) {
    long n = ::syscall(SYS_getdents64, fd, buffer, sizeof(buffer));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      TLCRASH_DIAG("Fetching thread list failed: %s", tlcrash_async_errno_text(errno));
      result = TLCRASH_EINTERNAL;
      break;
    }
    size_t offset = 0;
    while (offset + kNameOffset < static_cast<size_t>(n)) {
      auto* entry = reinterpret_cast<const linux_dirent64*>(buffer + offset);
      size_t length = entry->d_reclen;
      if (length <= kNameOffset || offset + length > static_cast<size_t>(n)) break;  // a damaged record ends the block
      tlcrash_thread_t tid;
      if (parseTid(entry->d_name, length - kNameOffset, &tid)) {
        if (list->count < kMaxListedThreads) list->tids[list->count++] = tid;
        else list->truncated = true;
      }
      offset += length;
    }
  }
  if (own) ::close(fd);
  return result;
}

// Crash time.
bool tlcrash_async_thread_list_contains(const tlcrash_async_thread_list* list, tlcrash_thread_t tid) {
  for (uint32_t i = 0; i < list->count; ++i) {
    if (list->tids[i] == tid) return true;
  }
  return false;
}

}  // namespace ml::crash
