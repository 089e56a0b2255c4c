#include "crashreporter/unwind/LocalMemoryWindow.h"

#include "crashreporter/AsyncString.h"
#include "crashreporter/unwind/MemoryReader.h"

namespace ml::crash {

static_assert(MemoryReader<LocalMemoryWindow>);

// Crash time.
const uint8_t* LocalMemoryWindow::remap(uint64_t address, int64_t offset, uint64_t length) const {
  uint64_t start;
  if (!tlcrash_async_window_contains(base_, length_, address, offset, length, &start)) return nullptr;
  return local_ + (start - base_);
}

// Crash time.
tlcrash_error_t LocalMemoryWindow::read(uint64_t address, int64_t offset, void* destination, size_t length) {
  const uint8_t* source = remap(address, offset, length);
  if (source == nullptr) return TLCRASH_EINVAL;
  tlcrash_async_memcpy(destination, source, length);
  return TLCRASH_ESUCCESS;
}

}  // namespace ml::crash
