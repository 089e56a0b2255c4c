#include "crashreporter/AsyncFile.h"

#include <cerrno>
#include <unistd.h>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncString.h"

namespace ml::crash {
namespace {

// Crash time.
bool writeOut(tlcrash_async_file* file, const void* data, size_t length, const char* operation) {
  if (tlcrash_async_writen(file->fd, data, length) < 0) {
    file->error = errno;
    tlcrash_async_diag(2, operation, __LINE__, "Error occured writing to crash log: %s", tlcrash_async_errno_text(errno));
    file->failed = true;
    return false;
  }
  return true;
}

}  // namespace

// Crash time.
void tlcrash_async_file_init(tlcrash_async_file* file, int fd, uint64_t output_limit) {
  file->fd = fd;
  file->limit_bytes = output_limit;
  file->total_bytes = 0;
  file->buflen = 0;
  file->failed = false;
  file->error = 0;
}

// Crash time.
uint64_t tlcrash_async_file_remaining(const tlcrash_async_file* file) {
  if (file->limit_bytes == 0) return UINT64_MAX;
  return file->total_bytes >= file->limit_bytes ? 0 : file->limit_bytes - file->total_bytes;
}

// Crash time.
bool tlcrash_async_file_write(tlcrash_async_file* file, const void* data, size_t length) {
  if (file->failed) return false;
  if (length > tlcrash_async_file_remaining(file)) return false;
  file->total_bytes += length;

  if (file->buflen + length > sizeof(file->buffer)) {
    if (!writeOut(file, file->buffer, file->buflen, __func__)) return false;
    file->buflen = 0;
  }
  if (file->buflen + length <= sizeof(file->buffer)) {
    tlcrash_async_memcpy(file->buffer + file->buflen, data, length);
    file->buflen += length;
    return true;
  }
  return writeOut(file, data, length, __func__);
}

// Crash time.
bool tlcrash_async_file_flush(tlcrash_async_file* file) {
  if (file->failed) return false;
  if (file->buflen == 0) return true;
  if (!writeOut(file, file->buffer, file->buflen, __func__)) return false;
  file->buflen = 0;
  return true;
}

// Crash time.
bool tlcrash_async_file_close(tlcrash_async_file* file) {
  if (!tlcrash_async_file_flush(file)) return false;
  if (::close(file->fd) != 0) {
    TLCRASH_DIAG("Error closing file: %s", tlcrash_async_errno_text(errno));
    return false;
  }
  return true;
}

}  // namespace ml::crash
