#pragma once
// The crash-time diagnostic line: "[TLCrashReport] <operation>:<site>: <message>\n" on standard
// error. The message is formatted into a 128-byte stack buffer (longer messages are cut) and the
// line goes out in five write(2) calls. Async-signal-safe: no allocation, no locks, no stdio.
#include <cstddef>

namespace ml::crash {

inline constexpr size_t kDiagnosticBufferSize = 128;

// Writes one diagnostic line to `fd`; `site` identifies the call site (its source line).
void tlcrash_async_diag(int fd, const char* operation, int site, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

}  // namespace ml::crash

// Diagnostic line to standard error, named after the calling function and its line.
#define TLCRASH_DIAG(...) ::ml::crash::tlcrash_async_diag(2, __func__, __LINE__, __VA_ARGS__)
