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
// During a report capture, the capturing thread's reads come straight from the capture's page
// cache (AsyncReadCache.h), without the block.
//
// Async-signal-safe: no allocation, no locks; the block lives inside the object, on the caller's
// stack. Not thread-safe (one walking thread owns it).
#include <cstddef>
#include <cstdint>

#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"

namespace ml::crash {

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
