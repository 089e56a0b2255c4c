#include "crashreporter/AsyncDiagnostic.h"

#include <cstdarg>

#include "crashreporter/AsyncFormat.h"
#include "crashreporter/AsyncString.h"

namespace ml::crash {

// Crash time.
void tlcrash_async_diag(int fd, const char* operation, int site, const char* format, ...) {
  static constexpr char kPrefix[] = "[TLCrashReport] ";
  char buffer[kDiagnosticBufferSize];

  tlcrash_async_writen(fd, kPrefix, sizeof(kPrefix) - 1);
  tlcrash_async_writen(fd, operation, tlcrash_async_strlen(operation));
  size_t n = tlcrash_async_format(buffer, sizeof(buffer), ":%d: ", site);
  tlcrash_async_writen(fd, buffer, n);

  va_list args;
  va_start(args, format);
  n = tlcrash_async_vformat(buffer, sizeof(buffer), format, args);
  va_end(args);
  tlcrash_async_writen(fd, buffer, n);
  tlcrash_async_writen(fd, "\n", 1);
}

}  // namespace ml::crash
