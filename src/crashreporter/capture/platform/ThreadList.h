#pragma once
// The threads of this process, as the kernel lists them in /proc/self/task (the stand-in for the
// task's thread list). The list is read with raw getdents64 calls into a fixed array, so it can be
// taken at crash time.
//
// The directory is opened once in a normal context (tlcrash_nasync_thread_list_prepare) and only
// rewound at crash time, so a crash caused by running out of descriptors still lists the threads.
// A descriptor opened before a fork names the parent's threads; reading notices the changed
// process id and opens the child's own directory instead.
#include <cstdint>

#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"

namespace ml::crash {

// Threads beyond this many are left out of a report (the list says it was cut).
inline constexpr uint32_t kMaxListedThreads = 1024;

struct tlcrash_async_thread_list {
  uint32_t count = 0;
  bool truncated = false;  // the process had more threads than the list holds
  tlcrash_thread_t tids[kMaxListedThreads];
};

// Opens /proc/self/task for later reads. Returns 0 or the errno of the open. Idempotent for
// the calling process. Normal context.
int tlcrash_nasync_thread_list_prepare();

// Fills `list` with the process's threads in directory order. TLCRASH_ESUCCESS, or
// TLCRASH_EINTERNAL (with a diagnostic line) when the directory cannot be read.
// Async-signal-safe: open, lseek, getdents64 and close only; a 2 KiB buffer on the stack.
tlcrash_error_t tlcrash_async_thread_list_read(tlcrash_async_thread_list* list);

// Whether `tid` is in the list. Async-signal-safe.
bool tlcrash_async_thread_list_contains(const tlcrash_async_thread_list* list, tlcrash_thread_t tid);

}  // namespace ml::crash
