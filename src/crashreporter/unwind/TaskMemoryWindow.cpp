#include "crashreporter/unwind/TaskMemoryWindow.h"

#include "crashreporter/AsyncReadCache.h"
#include "crashreporter/AsyncString.h"
#include "crashreporter/unwind/MemoryReader.h"

namespace ml::crash {

static_assert(MemoryReader<TaskMemoryWindow>);
static_assert((TaskMemoryWindow::kBlockSize & (TaskMemoryWindow::kBlockSize - 1)) == 0 &&
                  4096 % TaskMemoryWindow::kBlockSize == 0,
              "a block must divide the page size so that it never spans two pages");

// Crash time.
bool TaskMemoryWindow::load(uint64_t address) {
  // `address` lies inside the window. The block is clipped to the window on both sides; every
  // quantity below is a distance inside one block or inside the window, so nothing overflows.
  uint64_t block = address & ~static_cast<uint64_t>(kBlockSize - 1);
  uint64_t start = block < base_ ? base_ : block;
  uint64_t to_block_end = kBlockSize - (start - block);
  uint64_t to_window_end = length_ - (start - base_);
  uint64_t size = to_block_end < to_window_end ? to_block_end : to_window_end;
  cached_length_ = 0;
  if (tlcrash_async_task_memcpy(task_, start, 0, cached_, static_cast<size_t>(size)) != TLCRASH_ESUCCESS) return false;
  cached_start_ = start;
  cached_length_ = size;
  return true;
}

// Crash time.
tlcrash_error_t TaskMemoryWindow::read(uint64_t address, int64_t offset, void* destination, size_t length) {
  uint64_t start;
  if (!tlcrash_async_window_contains(base_, length_, address, offset, length, &start)) return TLCRASH_EINVAL;
  // During a capture the shared cache holds the pages already: no block copy in between.
  if (tlcrash_async_read_cache_copy(task_, start, destination, length)) return TLCRASH_ESUCCESS;
  auto* out = static_cast<uint8_t*>(destination);
  size_t done = 0;
  while (done < length) {
    uint64_t at = start + done;  // inside the window, so no overflow
    if (cached_length_ == 0 || at < cached_start_ || at - cached_start_ >= cached_length_) {
      if (!load(at)) return TLCRASH_EINVAL;
    }
    uint64_t into = at - cached_start_;
    uint64_t available = cached_length_ - into;
    size_t n = static_cast<size_t>(available < length - done ? available : length - done);
    tlcrash_async_memcpy(out + done, cached_ + into, n);
    done += n;
  }
  return TLCRASH_ESUCCESS;
}

}  // namespace ml::crash
