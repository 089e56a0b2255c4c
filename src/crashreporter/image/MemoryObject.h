#pragma once
// Memory objects: a read-only local copy of a range of a task's memory, through which every later
// access is bounds-checked. Readers of images, unwind tables and strings never dereference an
// address found in the crashed process; they map the range into a memory object and ask it for a
// local pointer, which it gives only when the whole requested span lies inside what was mapped.
//
// Linux: the task is the own process (a pid). A memory object is a private anonymous mapping
// filled with process_vm_readv (which reports an unreadable page with EFAULT instead of faulting)
// and then made read-only. Like the copy-on-write mapping it stands in for, the copy does not
// change when the original memory does afterwards.
//
// Every tlcrash_async_ function here is async-signal-safe: system calls only (mmap, mprotect,
// munmap, process_vm_readv, write for diagnostics), no heap allocation, no locks.
#include <cstdint>

#include "crashreporter/AsyncByteOrder.h"
#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"

namespace ml::crash {

struct tlcrash_async_mobject {
  tlcrash_task_t task = 0;
  uint64_t address = 0;          // local address of the first requested byte
  uint64_t target_address = 0;   // the requested address in the task
  uint64_t length = 0;           // usable bytes from target_address (less than asked for when a
                                 // partial mapping was accepted)
  int64_t slide = 0;             // target_address - address (two's complement)
  uint64_t mapping_address = 0;  // start of the page-aligned local mapping
  uint64_t mapping_length = 0;   // its size in bytes
};
// Invariant after a successful init: [address, address + length) lies inside
// [mapping_address, mapping_address + mapping_length).

// The largest copy one memory object makes (whole pages included).
inline constexpr uint64_t kMaxMemoryObjectLength = 32ull << 20;

// Maps [target_address, target_address + length) of `task` read-only into this process.
// require_full true: every page of the range must be readable, else TLCRASH_ENOMEM.
// require_full false: the readable pages from the first one on are accepted and `length` is cut
// to them; TLCRASH_ENOMEM (with the "No mappable pages found" line) when the first is unreadable.
// TLCRASH_EINVAL when the range wraps past 2^64; TLCRASH_EINTERNAL when no local memory is left.
// Ranges whose pages exceed kMaxMemoryObjectLength fail with TLCRASH_ENOMEM when require_full,
// and are cut to that many bytes of pages otherwise.
tlcrash_error_t tlcrash_async_mobject_init(tlcrash_async_mobject* mobj, tlcrash_task_t task, uint64_t target_address,
                                           uint64_t length, bool require_full);

// true when local_address + offset and its end (+ length) do not overflow and the span lies inside
// the object's usable range.
bool tlcrash_async_mobject_verify_local_pointer(const tlcrash_async_mobject* mobj, uint64_t local_address,
                                                int64_t offset, uint64_t length);

// Local pointer to [target_address + offset, + length), or null when that span is not wholly
// inside the object.
void* tlcrash_async_mobject_remap_address(const tlcrash_async_mobject* mobj, uint64_t target_address,
                                          int64_t offset, uint64_t length);

// Values at target_address + offset through the byte order's swap of their width (8-bit values
// are not swapped). TLCRASH_EINVAL when the value does not lie wholly inside the object.
tlcrash_error_t tlcrash_async_mobject_read_uint8(const tlcrash_async_mobject* mobj, uint64_t target_address,
                                                 int64_t offset, uint8_t* result);
tlcrash_error_t tlcrash_async_mobject_read_uint16(const tlcrash_async_mobject* mobj,
                                                  const tlcrash_async_byteorder_t* byteorder, uint64_t target_address,
                                                  int64_t offset, uint16_t* result);
tlcrash_error_t tlcrash_async_mobject_read_uint32(const tlcrash_async_mobject* mobj,
                                                  const tlcrash_async_byteorder_t* byteorder, uint64_t target_address,
                                                  int64_t offset, uint32_t* result);
tlcrash_error_t tlcrash_async_mobject_read_uint64(const tlcrash_async_mobject* mobj,
                                                  const tlcrash_async_byteorder_t* byteorder, uint64_t target_address,
                                                  int64_t offset, uint64_t* result);

inline uint64_t tlcrash_async_mobject_base_address(const tlcrash_async_mobject* mobj) { return mobj->target_address; }
inline uint64_t tlcrash_async_mobject_length(const tlcrash_async_mobject* mobj) { return mobj->length; }
inline tlcrash_task_t tlcrash_async_mobject_task(const tlcrash_async_mobject* mobj) { return mobj->task; }

// Unmaps the local copy and clears the object; freeing a cleared (or never mapped) object does
// nothing, so callers may free on every path.
void tlcrash_async_mobject_free(tlcrash_async_mobject* mobj);

// The host's page size; async-signal-safe (the loader's cached value).
uint64_t tlcrash_async_page_size();

}  // namespace ml::crash
