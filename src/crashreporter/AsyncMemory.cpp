#include "crashreporter/AsyncMemory.h"

#include <cerrno>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncReadCache.h"

namespace ml::crash {

// Crash time.
tlcrash_task_t tlcrash_async_task_self() { return ::getpid(); }

// Crash time.
tlcrash_thread_t tl_mach_thread_self() { return static_cast<tlcrash_thread_t>(::syscall(SYS_gettid)); }

// Crash time.
int tlcrash_async_read_addr(tlcrash_task_t task, uint64_t address, void* destination, size_t length) {
  if (length == 0) return 0;
  if (tlcrash_async_read_cache_copy(task, address, destination, length)) return 0;
  return tlcrash_async_read_addr_uncached(task, address, destination, length);
}

// Crash time.
int tlcrash_async_read_addr_uncached(tlcrash_task_t task, uint64_t address, void* destination, size_t length) {
  if (length == 0) return 0;
  iovec local{destination, length};
  iovec remote{reinterpret_cast<void*>(static_cast<uintptr_t>(address)), length};
  // errno is saved and restored: a crash handler must leave the interrupted code's errno alone.
  int saved = errno;
  ssize_t n = ::process_vm_readv(task, &local, 1, &remote, 1, 0);
  int result = 0;
  if (n < 0) result = errno;
  else if (static_cast<size_t>(n) != length) result = EFAULT;  // the range ran into an unreadable page
  errno = saved;
  return result;
}

// Crash time.
bool tlcrash_async_address_apply_offset(uint64_t base, int64_t offset, uint64_t* result) {
  uint64_t sum;
  if (offset >= 0) {
    if (__builtin_add_overflow(base, static_cast<uint64_t>(offset), &sum)) return false;
  } else {
    uint64_t magnitude = 0 - static_cast<uint64_t>(offset);
    if (magnitude > base) return false;
    sum = base - magnitude;
  }
  if (result != nullptr) *result = sum;
  return true;
}

// Crash time.
tlcrash_error_t tlcrash_async_task_memcpy(tlcrash_task_t task, uint64_t address, int64_t offset,
                                          void* destination, size_t length) {
  uint64_t target;
  if (!tlcrash_async_address_apply_offset(address, offset, &target)) return TLCRASH_ENOMEM;
  int result = tlcrash_async_read_addr(task, target, destination, length);
  switch (result) {
    case 0: return TLCRASH_ESUCCESS;
    case EFAULT: return TLCRASH_ENOTFOUND;
    case EPERM:
    case ESRCH: return TLCRASH_EACCESS;
    default:
      TLCRASH_DIAG("Unexpected error from process_vm_readv: %d", result);
      return TLCRASH_EUNKNOWN;
  }
}

// Crash time.
tlcrash_error_t tlcrash_async_task_read_uint8(tlcrash_task_t task, uint64_t address, int64_t offset, uint8_t* result) {
  return tlcrash_async_task_memcpy(task, address, offset, result, sizeof(*result));
}

// Crash time.
tlcrash_error_t tlcrash_async_task_read_uint16(tlcrash_task_t task, const tlcrash_async_byteorder_t* byteorder,
                                               uint64_t address, int64_t offset, uint16_t* result) {
  tlcrash_error_t err = tlcrash_async_task_memcpy(task, address, offset, result, sizeof(*result));
  if (err == TLCRASH_ESUCCESS) *result = byteorder->swap16(*result);
  return err;
}

// Crash time.
tlcrash_error_t tlcrash_async_task_read_uint32(tlcrash_task_t task, const tlcrash_async_byteorder_t* byteorder,
                                               uint64_t address, int64_t offset, uint32_t* result) {
  tlcrash_error_t err = tlcrash_async_task_memcpy(task, address, offset, result, sizeof(*result));
  if (err == TLCRASH_ESUCCESS) *result = byteorder->swap32(*result);
  return err;
}

// Crash time.
tlcrash_error_t tlcrash_async_task_read_uint64(tlcrash_task_t task, const tlcrash_async_byteorder_t* byteorder,
                                               uint64_t address, int64_t offset, uint64_t* result) {
  tlcrash_error_t err = tlcrash_async_task_memcpy(task, address, offset, result, sizeof(*result));
  if (err == TLCRASH_ESUCCESS) *result = byteorder->swap64(*result);
  return err;
}

}  // namespace ml::crash
