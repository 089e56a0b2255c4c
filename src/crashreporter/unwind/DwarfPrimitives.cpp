#include "crashreporter/unwind/DwarfPrimitives.h"

#include "crashreporter/unwind/TaskMemoryWindow.h"

namespace ml::crash {

namespace {

// A LEB128 value is at most ten bytes; a page bounds the window so that a value running into an
// unreadable page fails like one running off a mapping.
constexpr uint64_t kTaskLebWindow = 4096;

// Crash time.
bool taskStart(uint64_t location, int64_t offset, uint64_t* start) {
  if (!tlcrash_async_address_apply_offset(location, offset, start)) {
    TLCRASH_DIAG("Applying the  offset of 0x%lld to base address %llx exceeds TL_VM_ADDRESS_MAX",
                 static_cast<long long>(offset), static_cast<unsigned long long>(location));
    return false;
  }
  return true;
}

}  // namespace

// Crash time.
tlcrash_error_t tlcrash_async_dwarf_read_task_uleb128(tlcrash_task_t task, uint64_t location, int64_t offset,
                                                      uint64_t* result, uint64_t* size) {
  uint64_t start;
  if (!taskStart(location, offset, &start)) return TLCRASH_EINVAL;
  TaskMemoryWindow window(task, start, kTaskLebWindow);
  return tlcrash_async_dwarf_read_uleb128(window, start, 0, result, size);
}

// Crash time.
tlcrash_error_t tlcrash_async_dwarf_read_task_sleb128(tlcrash_task_t task, uint64_t location, int64_t offset,
                                                      int64_t* result, uint64_t* size) {
  uint64_t start;
  if (!taskStart(location, offset, &start)) return TLCRASH_EINVAL;
  TaskMemoryWindow window(task, start, kTaskLebWindow);
  return tlcrash_async_dwarf_read_sleb128(window, start, 0, result, size);
}

}  // namespace ml::crash
