#pragma once
// The crash report's buffered output file: a 256-byte buffer in front of a descriptor, with an
// optional limit on the bytes accepted. Async-signal-safe: no allocation, output through write(2).
//
// Failure is sticky: once a write to the descriptor has failed, every later write, flush and close
// answers false, so the caller can never mistake a report with a hole in it for a complete one.
// A write refused by the limit is not a failure of the file: nothing of it is written, the count
// stays unchanged, and later writes that still fit are accepted.
#include <cstddef>
#include <cstdint>

namespace ml::crash {

inline constexpr size_t kAsyncFileBufferSize = 256;

struct tlcrash_async_file {
  int fd;
  uint64_t limit_bytes;     // 0 = no limit
  uint64_t total_bytes;     // bytes accepted so far (written or buffered)
  uint64_t buflen;          // bytes waiting in `buffer`
  bool failed;              // a write to `fd` failed; the file's content is incomplete
  int error;                // the errno of that write; 0 while none failed
  uint8_t buffer[kAsyncFileBufferSize];
};

void tlcrash_async_file_init(tlcrash_async_file* file, int fd, uint64_t output_limit);
// Bytes that may still be accepted before the limit; UINT64_MAX when there is no limit.
uint64_t tlcrash_async_file_remaining(const tlcrash_async_file* file);
bool tlcrash_async_file_write(tlcrash_async_file* file, const void* data, size_t length);
// Writes out the buffered bytes; false when that fails or an earlier write failed.
bool tlcrash_async_file_flush(tlcrash_async_file* file);
// Flushes and closes the descriptor. When the flush fails the descriptor stays open (the caller
// closes it) and the answer is false.
bool tlcrash_async_file_close(tlcrash_async_file* file);

}  // namespace ml::crash
