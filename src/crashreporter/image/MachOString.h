#pragma once
// A NUL-terminated string in a task's memory, read lazily through a memory object: init only
// records where it lies; the first request for its length or its bytes maps it, growing the
// mapping a page at a time until the NUL is inside (at most kMaxMachOStringPages pages).
//
// Async-signal-safe: memory objects only, no allocation, no locks.
#include <cstdint>

#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"
#include "crashreporter/image/MemoryObject.h"

namespace ml::crash {

inline constexpr uint64_t kMaxMachOStringPages = 16;

struct tlcrash_async_macho_string {
  tlcrash_task_t task = 0;
  uint64_t address = 0;
  tlcrash_async_mobject mobj;
  bool mapped = false;
  uint64_t length = 0;  // bytes before the NUL
};

tlcrash_error_t tlcrash_async_macho_string_init(tlcrash_async_macho_string* string, tlcrash_task_t task,
                                                uint64_t address);
// TLCRASH_EINVAL when no NUL lies within the readable pages (or the page limit); the mapping's
// status when the first page cannot be mapped.
tlcrash_error_t tlcrash_async_macho_string_get_length(tlcrash_async_macho_string* string, uint64_t* length);
// Local pointer to the first byte; TLCRASH_EACCESS when the string cannot be mapped.
tlcrash_error_t tlcrash_async_macho_string_get_pointer(tlcrash_async_macho_string* string, const char** pointer);
void tlcrash_async_macho_string_free(tlcrash_async_macho_string* string);

}  // namespace ml::crash
