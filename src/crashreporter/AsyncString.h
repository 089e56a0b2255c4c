#pragma once
// String, memory and output routines for crash time. All are async-signal-safe: no allocation,
// no locks, no buffered standard I/O; output goes through write(2) only.
#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace ml::crash {

// Bytes compared as unsigned values; the difference of the first differing bytes, 0 when equal.
int tlcrash_async_strcmp(const char* a, const char* b);
// The same over at most n bytes; 0 when n is 0.
int tlcrash_async_strncmp(const char* a, const char* b, size_t n);
// Length of a NUL-terminated string.
size_t tlcrash_async_strlen(const char* s);
// Copies n bytes one at a time (no library call the compiler could route through an IFUNC).
void* tlcrash_async_memcpy(void* destination, const void* source, size_t n);
// Fills n bytes with the low byte of value; returns destination.
void* tlcrash_async_memset(void* destination, int value, size_t n);

// Text of an errno value without translation or allocation ("Unknown error" for values the C
// library does not know). Unlike strerror, safe inside a signal handler.
const char* tlcrash_async_errno_text(int error);

// Writes all `length` bytes to `fd`, retrying after EINTR. Returns the byte count written (0 for
// length 0, without calling write), or -1 when a write fails for another reason or writes nothing.
ssize_t tlcrash_async_writen(int fd, const void* data, size_t length);

}  // namespace ml::crash
