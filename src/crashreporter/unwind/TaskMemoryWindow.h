#pragma once
// A memory window over the live task, read through the safe reads of AsyncMemory.h: a byte that
// is unmapped or unreadable answers TLCRASH_EINVAL instead of faulting, so the window may cover
// memory that a crashed process no longer keeps intact. Satisfies MemoryReader.
//
// The parsers read small fields, LEB128 values byte by byte, so the window keeps one aligned
// block of kBlockSize bytes: a run of reads inside one block costs one system call. Blocks are
// aligned to their size, which divides the page size, so a block never straddles a page and is
// either wholly readable or not at all.
//
// During a report capture, blocks come from a page cache shared by every window (see
// tlcrash_async_section_cache_begin): a capture walks many frames of the same few images, and
// each step would otherwise read the same unwind tables again, one system call per block.
//
// Async-signal-safe: no allocation, no locks; the block lives inside the object, on the caller's
// stack. Not thread-safe (one walking thread owns it).
#include <cstddef>
#include <cstdint>

#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"

namespace ml::crash {

// Turns the shared page cache on (emptied) or off. Only for the thread that holds the capture
// guard: while it is on, the memory windows read must not change, which holds for the images'
// unwind tables while the other threads are stopped. Async-signal-safe.
void tlcrash_async_section_cache_begin();
void tlcrash_async_section_cache_end();

class TaskMemoryWindow {
 public:
  static constexpr size_t kBlockSize = 256;

  TaskMemoryWindow(tlcrash_task_t task, uint64_t base, uint64_t length) : task_(task), base_(base), length_(length) {}

  uint64_t base_address() const { return base_; }
  uint64_t length() const { return length_; }
  tlcrash_task_t task() const { return task_; }

  tlcrash_error_t read(uint64_t address, int64_t offset, void* destination, size_t length);

 private:
  // Loads the block holding `address` (clipped to the window); false when it cannot be read.
  bool load(uint64_t address);

  tlcrash_task_t task_;
  uint64_t base_;
  uint64_t length_;
  uint64_t cached_start_ = 0;  // target address of cached_[0]
  uint64_t cached_length_ = 0; // 0 = nothing cached
  uint8_t cached_[kBlockSize];
};

}  // namespace ml::crash
