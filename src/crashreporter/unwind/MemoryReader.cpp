#include "crashreporter/unwind/MemoryReader.h"

namespace ml::crash {

// Crash time.
bool tlcrash_async_window_contains(uint64_t base, uint64_t window_length, uint64_t address, int64_t offset,
                                   uint64_t length, uint64_t* absolute) {
  uint64_t start;
  if (!tlcrash_async_address_apply_offset(address, offset, &start)) return false;
  if (start < base) return false;
  // Measured from the window's start, so no sum below can pass 2^64 - 1 unnoticed.
  uint64_t into = start - base;
  if (into > window_length || length > window_length - into) return false;
  if (absolute != nullptr) *absolute = start;
  return true;
}

}  // namespace ml::crash
