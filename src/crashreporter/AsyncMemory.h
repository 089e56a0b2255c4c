#pragma once
// Reads of process memory that answer with a status instead of faulting, and overflow-checked
// address arithmetic. On Linux a "task" is a process id and reads go through process_vm_readv,
// which reports an unmapped or inaccessible range as EFAULT instead of raising SIGSEGV.
// Everything here is async-signal-safe: system calls only, no allocation, no locks.
#include <cstddef>
#include <cstdint>
#include <sys/types.h>

#include "crashreporter/AsyncByteOrder.h"
#include "crashreporter/AsyncError.h"

namespace ml::crash {

using tlcrash_task_t = pid_t;
using tlcrash_thread_t = pid_t;

// The own process, the only task this program reads.
tlcrash_task_t tlcrash_async_task_self();
// The calling thread's kernel id; a name to compare with, not a handle that needs releasing.
tlcrash_thread_t tl_mach_thread_self();

// Reads `length` bytes at `address` of `task` into `destination`. Returns 0, or the errno of the
// read (EFAULT when any part of the range is unmapped or inaccessible, including a short read).
// During a capture, the capturing thread reads through the capture's cache (AsyncReadCache.h).
int tlcrash_async_read_addr(tlcrash_task_t task, uint64_t address, void* destination, size_t length);
// The same, always with a system call of its own (never through the cache).
int tlcrash_async_read_addr_uncached(tlcrash_task_t task, uint64_t address, void* destination, size_t length);

// false when base + offset would pass 2^64 - 1 or a negative offset is larger than base;
// otherwise stores the sum in *result (when given) and returns true.
bool tlcrash_async_address_apply_offset(uint64_t base, int64_t offset, uint64_t* result);

// Reads `length` bytes at address + offset. TLCRASH_ENOMEM when the sum overflows;
// TLCRASH_ENOTFOUND when the range is not readable (unmapped or protected pages both report this
// on Linux: the kernel does not tell the two apart); TLCRASH_EACCESS when the process may not be
// read at all; TLCRASH_EUNKNOWN with a diagnostic for anything else.
tlcrash_error_t tlcrash_async_task_memcpy(tlcrash_task_t task, uint64_t address, int64_t offset,
                                          void* destination, size_t length);

tlcrash_error_t tlcrash_async_task_read_uint8(tlcrash_task_t task, uint64_t address, int64_t offset, uint8_t* result);
tlcrash_error_t tlcrash_async_task_read_uint16(tlcrash_task_t task, const tlcrash_async_byteorder_t* byteorder,
                                               uint64_t address, int64_t offset, uint16_t* result);
tlcrash_error_t tlcrash_async_task_read_uint32(tlcrash_task_t task, const tlcrash_async_byteorder_t* byteorder,
                                               uint64_t address, int64_t offset, uint32_t* result);
tlcrash_error_t tlcrash_async_task_read_uint64(tlcrash_task_t task, const tlcrash_async_byteorder_t* byteorder,
                                               uint64_t address, int64_t offset, uint64_t* result);

}  // namespace ml::crash
