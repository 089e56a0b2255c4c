#pragma once
// Bounded printf-style formatting for crash time. The C library's formatters may allocate or take
// locale locks, so crash-time text goes through this one instead. Async-signal-safe.
//
// Supported: %d %i %u %x %X %c %s %p %%, an optional '0' flag and a field width, and the length
// modifiers hh, h, l, ll, j, z, t. A null %s prints "(null)". Anything else is copied as written.
#include <cstdarg>
#include <cstddef>

namespace ml::crash {

// Formats into `buffer` of `capacity` bytes (capacity > 0), always NUL-terminating; output that
// does not fit is cut. Returns the number of bytes stored, without the terminator.
size_t tlcrash_async_vformat(char* buffer, size_t capacity, const char* format, va_list args);
size_t tlcrash_async_format(char* buffer, size_t capacity, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace ml::crash
